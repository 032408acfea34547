#include "sensor/picture.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "sensor/tempfile.h"

namespace {

// Where the sRGB curve turns from its linear foot to the power law.
constexpr double kSrgbLinearLimit = 0.0031308;

double EncodeSrgb(double linear) {
  if (linear <= kSrgbLinearLimit) return 12.92 * linear;
  return 1.055 * std::pow(double(linear), 1.0 / 2.4) - 0.055;
}

[[noreturn]] void StopOnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void IgnorePngWarning(png_structp, png_const_charp) {}

// Encodes side rows of side grey bytes into out. Only plain C objects live in
// this frame, since libpng leaves it by longjmp when it meets an error.
bool EncodePng(std::FILE* out, const unsigned char* bytes, int side, const char* settings) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, StopOnPngError, IgnorePngWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, png_uint_32(side), png_uint_32(side), 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  png_text text{};
  text.compression = PNG_TEXT_COMPRESSION_NONE;
  text.key = const_cast<char*>(kSettingsKeyword);
  text.text = const_cast<char*>(settings);
  png_set_text(png, info, &text, 1);
  png_write_info(png, info);
  for (int y = 0; y < side; ++y) png_write_row(png, bytes + size_t(y) * size_t(side));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WritePngFile(const std::string& path, const std::vector<unsigned char>& bytes, int side,
                  const std::string& settings) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  bool written = EncodePng(out, bytes.data(), side, settings.c_str());
  if (std::fflush(out) != 0 || std::ferror(out) != 0) written = false;
  if (std::fclose(out) != 0) written = false;
  return written;
}

}  // namespace

double AutomaticExposure(const CVSensor& sensor) {
  size_t count = SensorCellCount(sensor.level);
  std::vector<float> lit;
  for (size_t p = 0; p < count; ++p) {
    float value = sensor.pixels[p];
    if (std::isfinite(value) && value > 0.0f) lit.push_back(value);
  }
  if (lit.empty()) return 1.0;
  // The nearest rank, counted from 1: the smallest rank whose share is at least 99.5 %.
  size_t rank = (lit.size() * kWhiteRankThousandths + 999) / 1000;
  std::nth_element(lit.begin(), lit.begin() + std::ptrdiff_t(rank - 1), lit.end());
  return 1.0 / double(lit[rank - 1]);
}

unsigned char PictureByte(float value, double exposure) {
  double linear = double(value) * exposure;
  if (!(linear > 0.0)) return 0;
  if (linear >= 1.0) return 255;
  return (unsigned char)std::floor(EncodeSrgb(linear) * 255.0 + 0.5);
}

bool WritePicture(const std::string& name, const CVSensor& sensor, double exposure, const std::string& settings) {
  int side = 1 << sensor.level;
  std::vector<unsigned char> bytes(SensorCellCount(sensor.level));
  for (size_t p = 0; p < bytes.size(); ++p) bytes[p] = PictureByte(sensor.pixels[p], exposure);
  return WriteViaTemporary(
      name, [&](const std::string& temporary) { return WritePngFile(temporary, bytes, side, settings); });
}
