#include "sensor/image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>

#include "tests/test_files.h"

namespace {

// Copies bytes into the image, row after row.
void Fill(myImage& image, const std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) image.data[i] = static_cast<unsigned char>(bytes[i]);
}

size_t EntriesIn(const std::string& dir) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    (void)entry;
    ++n;
  }
  return n;
}

}  // namespace

TEST(Image, TwoByOneFileIsHeaderThenEachByteThreeTimes) {
  TempDir dir;
  myImage image(2, 1);
  Fill(image, std::string("\x00\xff", 2));
  EXPECT_EQ(image.WriteImageToFile(dir.File("out.ppm")), 1);
  EXPECT_EQ(ReadFileBytes(dir.File("out.ppm")), std::string("P6 2 1 255\n\x00\x00\x00\xff\xff\xff", 17));
}

TEST(Image, LineFeedValuedPixelIsWrittenUnchanged) {
  TempDir dir;
  myImage image(1, 1);
  image.data[0] = 10;
  image.WriteImageToFile(dir.File("out.ppm"));
  EXPECT_EQ(ReadFileBytes(dir.File("out.ppm")), "P6 1 1 255\n\n\n\n");
}

TEST(Image, RowsAreWrittenTopDownLeftToRight) {
  TempDir dir;
  myImage image(3, 2);
  Fill(image, "abcdef");
  image.WriteImageToFile(dir.File("out.ppm"));
  EXPECT_EQ(ReadFileBytes(dir.File("out.ppm")), "P6 3 2 255\naaabbbcccdddeeefff");
}

TEST(Image, EmptyImagesGiveTheHeaderAlone) {
  const struct {
    int width, height;
    const char* file;
  } rows[] = {{0, 0, "P6 0 0 255\n"}, {0, 7, "P6 0 7 255\n"}, {5, 0, "P6 5 0 255\n"}};
  for (const auto& row : rows) {
    TempDir dir;
    myImage image(row.width, row.height);
    EXPECT_EQ(image.WriteImageToFile(dir.File("out.ppm")), 1) << row.width << "x" << row.height;
    EXPECT_EQ(ReadFileBytes(dir.File("out.ppm")), row.file) << row.width << "x" << row.height;
  }
}

TEST(Image, LargeImageHasHeaderAndThreeBytesPerPixel) {
  TempDir dir;
  myImage image(1024, 1024);
  for (int i = 0; i < 1024 * 1024; ++i) image.data[i] = static_cast<unsigned char>(i % 251);
  ASSERT_EQ(image.WriteImageToFile(dir.File("out.ppm")), 1);
  std::string bytes = ReadFileBytes(dir.File("out.ppm"));
  ASSERT_EQ(bytes.size(), 17u + 3u * 1024u * 1024u);
  EXPECT_EQ(bytes.substr(0, 17), "P6 1024 1024 255\n");
  int last = 1024 * 1024 - 1;
  EXPECT_EQ(static_cast<unsigned char>(bytes[17 + 3 * last + 2]), last % 251);
}

TEST(Image, WritingTwiceKeepsOnlyTheSecondContents) {
  TempDir dir;
  myImage first(2, 2);
  Fill(first, "wxyz");
  first.WriteImageToFile(dir.File("out.ppm"));
  myImage second(1, 1);
  Fill(second, "q");
  EXPECT_EQ(second.WriteImageToFile(dir.File("out.ppm")), 1);
  EXPECT_EQ(ReadFileBytes(dir.File("out.ppm")), "P6 1 1 255\nqqq");
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(Image, UnwritablePathReturnsZeroAndLeavesNoFile) {
  TempDir dir;
  myImage image(1, 1);
  image.data[0] = 1;
  EXPECT_EQ(image.WriteImageToFile(dir.File("missing/out.ppm")), 0);
  EXPECT_EQ(EntriesIn(dir.path()), 0u);
}

TEST(Image, ExistingFileSurvivesWhenTheTemporaryCannotBeCreated) {
  TempDir dir;
  // A name at the file system's length limit: it exists, but no longer name
  // beside it can be created.
  std::string name(255, 'p');
  std::string good = "P6 1 1 255\nzzz";
  dir.Write(name, good);
  myImage image(1, 1);
  image.data[0] = 0;
  EXPECT_EQ(image.WriteImageToFile(dir.File(name)), 0);
  EXPECT_EQ(ReadFileBytes(dir.File(name)), good);
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(Image, FailedReplacementRemovesTheTemporary) {
  TempDir dir;
  // A non-empty directory of that name cannot be replaced by a file.
  std::filesystem::create_directory(dir.File("out.ppm"));
  dir.Write("out.ppm/keep", "k");
  myImage image(1, 1);
  image.data[0] = 0;
  EXPECT_EQ(image.WriteImageToFile(dir.File("out.ppm")), 0);
  EXPECT_EQ(EntriesIn(dir.path()), 1u);
  EXPECT_EQ(ReadFileBytes(dir.File("out.ppm/keep")), "k");
}

TEST(Image, StreamOnAFullDeviceReportsFailure) {
  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "/dev/full is not available";
  myImage image(4, 4);
  for (int i = 0; i < 16; ++i) image.data[i] = 7;
  EXPECT_FALSE(image.WriteImageToStream(full));
  std::fclose(full);
}

TEST(Image, SensorValuesSaturateToBytes) {
  const struct {
    float value;
    int byte;
  } rows[] = {
      {0.0f, 0},
      {1.0f, 255},
      {0.5f, 127},  // 127.5 truncated
      {1.0f / 255.0f, 1},
      {2.0f, 255},
      {std::numeric_limits<float>::infinity(), 255},
      {-0.5f, 0},
      {-std::numeric_limits<float>::infinity(), 0},
      {std::numeric_limits<float>::quiet_NaN(), 0},
      {1e-30f, 0},
  };
  for (const auto& row : rows) EXPECT_EQ(int(PixelToByte(row.value)), row.byte) << "value " << row.value;
}

TEST(Image, SensorGridBecomesTheImageTransposed) {
  float pixels[4] = {0.0f, 1.0f, 0.5f, 2.0f};  // row 0: 0, 1; row 1: 0.5, 2
  CVSensor grid{};
  grid.pixels = pixels;
  grid.level = 1;
  myImage image(2, 2);
  SensorToImage(grid, image);
  EXPECT_EQ(image.data[0], 0);    // column 0, row 0: sensor row 0, column 0
  EXPECT_EQ(image.data[1], 127);  // column 1, row 0: sensor row 1, column 0
  EXPECT_EQ(image.data[2], 255);  // column 0, row 1: sensor row 0, column 1
  EXPECT_EQ(image.data[3], 255);  // column 1, row 1: sensor row 1, column 1
}

TEST(ImageDeathTest, NegativeSizeIsAnAllocationError) {
  EXPECT_EXIT({ myImage image(-1, 5); }, testing::ExitedWithCode(1), "^myImage:: image allocation error\n$");
  EXPECT_EXIT({ myImage image(5, -1); }, testing::ExitedWithCode(1), "^myImage:: image allocation error\n$");
}
