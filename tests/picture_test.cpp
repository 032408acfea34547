#include "sensor/picture.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <vector>

#include "sensor/pixelsearch.h"
#include "tests/test_files.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A sensor of 4^level pixels, all 0, facing an eye on +z: seen from there,
// ul (-1, 1) is the upper left and ur (1, 1) the upper right.
struct TestSensor {
  explicit TestSensor(int level) : pixels(SensorCellCount(level), 0.0f) {
    sensor.eye = {0, 0, 5};
    sensor.ul = {-1, 1, 0};
    sensor.ur = {1, 1, 0};
    sensor.dl = {-1, -1, 0};
    sensor.dr = {1, -1, 0};
    sensor.pixels = pixels.data();
    sensor.level = level;
  }
  std::vector<float> pixels;
  CVSensor sensor{};
};

struct PngContents {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bit_depth = 0;
  int color_type = -1;
  bool srgb = false;
  std::string settings;
  std::vector<unsigned char> bytes;  // row after row from the top
};

// Reads the file with libpng itself. The vector and string belong to the
// caller's frame, which libpng's longjmp on an error does not leave.
bool ReadPng(const std::string& path, PngContents& contents) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(in);
    return false;
  }
  png_init_io(png, in);
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  contents.width = png_get_image_width(png, info);
  contents.height = png_get_image_height(png, info);
  contents.bit_depth = png_get_bit_depth(png, info);
  contents.color_type = png_get_color_type(png, info);
  int intent = 0;
  contents.srgb = png_get_sRGB(png, info, &intent) != 0;
  png_textp text = nullptr;
  int text_count = 0;
  png_get_text(png, info, &text, &text_count);
  for (int i = 0; i < text_count; ++i) {
    if (std::string(text[i].key) == kSettingsKeyword) contents.settings = text[i].text;
  }
  png_bytepp rows = png_get_rows(png, info);
  contents.bytes.clear();
  for (png_uint_32 y = 0; y < contents.height; ++y) {
    contents.bytes.insert(contents.bytes.end(), rows[y], rows[y] + contents.width);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(in);
  return true;
}

// Standard output of a shell command run in dir.
std::string CommandOutput(const std::string& command, const std::string& dir) {
  std::FILE* pipe = popen(("cd '" + dir + "' && " + command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return "";
  std::string output;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

}  // namespace

TEST(Picture, IsA1024SquareGreyPngWithItsSettingsThatLibpngAndIdentifyRead) {
  TestSensor grid(kSensorLevel);
  for (size_t p = 0; p < grid.pixels.size(); ++p) grid.pixels[p] = float(p % 1000) / 1000.0f;
  TempDir dir;
  const std::string settings = "DATASETSIZE=5000;\nLIGHTCHANCE=0.5;\n";
  ASSERT_TRUE(WritePicture(dir.File("out.png"), grid.sensor, 1.0, settings));

  PngContents png;
  ASSERT_TRUE(ReadPng(dir.File("out.png"), png));
  EXPECT_EQ(png.width, 1024u);
  EXPECT_EQ(png.height, 1024u);
  EXPECT_EQ(png.bit_depth, 8);
  EXPECT_EQ(png.color_type, PNG_COLOR_TYPE_GRAY);
  EXPECT_TRUE(png.srgb);
  EXPECT_EQ(png.settings, settings);
  ASSERT_EQ(png.bytes.size(), grid.pixels.size());
  for (size_t p = 0; p < grid.pixels.size(); ++p) ASSERT_EQ(png.bytes[p], PictureByte(grid.pixels[p], 1.0)) << p;

  if (CommandOutput("command -v identify", "/").empty()) GTEST_SKIP() << "ImageMagick's identify is not installed";
  EXPECT_EQ(CommandOutput("identify -format '%m %w %h %[colorspace] %z' out.png", dir.path()), "PNG 1024 1024 Gray 8");
}

// Samples just behind three corners of the sensor, as the eye sees them,
// reach pixels that the picture shows at the same corners: not transposed,
// not mirrored.
TEST(Picture, ShowsEachCornerOfTheSensorWhereTheEyeSeesIt) {
  TestSensor grid(kSensorLevel);
  struct Corner {
    float x, y, value;
    int png_row, png_column;
  };
  const Corner corners[] = {
      {-0.99f, 0.99f, 1.0f, 0, 0}, {0.99f, 0.99f, 0.5f, 0, 1023}, {-0.99f, -0.99f, 0.25f, 1023, 0}};
  for (const Corner& corner : corners) {
    vector3f line = VectorizeVertices(vertex3f{corner.x, corner.y, -0.001f}, grid.sensor.eye);
    int pixel = FindSensorPixelByProjection(
        line, PrepareSensorProjection(grid.sensor.ul, grid.sensor.ur, grid.sensor.dl, grid.sensor.dr));
    ASSERT_GE(pixel, 0) << corner.x << " " << corner.y;
    grid.pixels[size_t(pixel)] = corner.value;
  }
  TempDir dir;
  ASSERT_TRUE(WritePicture(dir.File("out.png"), grid.sensor, 1.0, ""));
  PngContents png;
  ASSERT_TRUE(ReadPng(dir.File("out.png"), png));
  constexpr int kCornerBand = 16;  // the samples lie about five pixels from the corners
  for (const Corner& corner : corners) {
    size_t at = 0;
    while (at < png.bytes.size() && png.bytes[at] != PictureByte(corner.value, 1.0)) ++at;
    ASSERT_LT(at, png.bytes.size()) << corner.value;
    EXPECT_LT(std::abs(int(at / 1024) - corner.png_row), kCornerBand) << corner.value << " at " << at;
    EXPECT_LT(std::abs(int(at % 1024) - corner.png_column), kCornerBand) << corner.value;
  }
}

// The 995th of 1000 lit values becomes white; empty, negative, NaN and
// infinite pixels are not counted among the lit ones.
TEST(Picture, ExposesThe995thPermilleOfTheLitPixelsAsWhite) {
  TestSensor grid(5);
  for (size_t i = 0; i < 1000; ++i) grid.pixels[i] = float(i + 1) / 4000.0f;
  grid.pixels[1000] = -1.0f;
  grid.pixels[1001] = kNaN;
  grid.pixels[1002] = kInfinity;
  double exposure = AutomaticExposure(grid.sensor);
  EXPECT_EQ(exposure, 1.0 / double(995.0f / 4000.0f));
  EXPECT_EQ(PictureByte(995.0f / 4000.0f, exposure), 255);
  EXPECT_LT(PictureByte(900.0f / 4000.0f, exposure), 250);

  TestSensor dark(5);
  EXPECT_EQ(AutomaticExposure(dark.sensor), 1.0);

  TempDir dir;
  ASSERT_TRUE(WritePicture(dir.File("out.png"), grid.sensor, 2000.0, ""));
  PngContents png;
  ASSERT_TRUE(ReadPng(dir.File("out.png"), png));
  EXPECT_EQ(png.bytes[0], PictureByte(1.0f / 4000.0f, 2000.0));
  EXPECT_EQ(png.bytes[1], 255);
}

// Reference bytes of the sRGB curve: 18 % grey is 118, half is 188, and the
// linear foot below 0.0031308 scales by 12.92.
TEST(Picture, EncodesWithTheSrgbCurve) {
  struct Row {
    float value;
    double exposure;
    unsigned char byte;
  };
  const Row rows[] = {{0.18f, 1.0, 118}, {0.5f, 1.0, 188}, {0.25f, 2.0, 188},     {0.001f, 1.0, 3},
                      {1.0f, 1.0, 255},  {7.0f, 1.0, 255}, {kInfinity, 1.0, 255}, {0.0f, 1.0, 0},
                      {-1.0f, 1.0, 0},   {kNaN, 1.0, 0},   {-kInfinity, 1.0, 0}};
  for (const Row& row : rows) {
    EXPECT_EQ(int(PictureByte(row.value, row.exposure)), int(row.byte)) << row.value << " x " << row.exposure;
  }
}

TEST(Picture, LeavesNoTemporaryWhenItCannotTakeItsName) {
  TestSensor grid(2);
  TempDir dir;
  std::filesystem::create_directory(dir.File("taken.png"));
  EXPECT_FALSE(WritePicture(dir.File("taken.png"), grid.sensor, 1.0, ""));
  EXPECT_FALSE(WritePicture(dir.File("missing/out.png"), grid.sensor, 1.0, ""));
  std::filesystem::directory_iterator entries(dir.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "only the folder in the way is left";
}
