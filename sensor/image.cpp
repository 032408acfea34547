#include "sensor/image.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/check.h"

namespace {

// The byte count of a width by height image, or false when the size is
// negative or does not fit the address space.
bool ImageByteCount(int width, int height, size_t& bytes) {
  if (width < 0 || height < 0) return false;
  if (width != 0 && size_t(height) > SIZE_MAX / size_t(width)) return false;
  bytes = size_t(width) * size_t(height);
  return true;
}

}  // namespace

myImage::myImage(int width, int height) : data(nullptr), width(width), height(height) {
  size_t bytes = 0;
  // malloc(0) may legally return null; ask for one byte so an empty image is
  // not mistaken for a failed allocation.
  if (ImageByteCount(width, height, bytes)) data = static_cast<unsigned char*>(std::malloc(bytes > 0 ? bytes : 1));
  if (data == nullptr) {
    std::fputs("myImage:: image allocation error\n", stderr);
    std::exit(1);
  }
}

myImage::~myImage() { std::free(data); }

bool myImage::WriteImageToStream(std::FILE* out) {
  if (std::fprintf(out, "P6 %d %d 255\n", width, height) < 0) return false;
  if (width > 0 && height > 0) {
    // One row at a time: each grey byte becomes the three equal colour samples.
    std::vector<unsigned char> row(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
      const unsigned char* source = data + size_t(y) * size_t(width);
      for (int x = 0; x < width; ++x) {
        row[size_t(x) * 3] = source[x];
        row[size_t(x) * 3 + 1] = source[x];
        row[size_t(x) * 3 + 2] = source[x];
      }
      if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) return false;
    }
  }
  if (std::fflush(out) != 0) return false;
  return std::ferror(out) == 0;
}

int myImage::WriteImageToFile(std::string name) {
  // The temporary lies beside the target so that the final rename stays within
  // one file system and replaces the target in one step.
  std::string temporary = name + ".tmp" + std::to_string(long(getpid()));
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return 0;

  bool written = WriteImageToStream(out);
  if (written && fsync(fileno(out)) != 0) written = false;
  if (std::fclose(out) != 0) written = false;
  if (written && std::rename(temporary.c_str(), name.c_str()) == 0) return 1;

  std::remove(temporary.c_str());
  return 0;
}

unsigned char PixelToByte(float value) {
  if (!(value > 0.0f)) return 0;  // NaN and negative values are black
  double scaled = double(value) * 255.0;
  if (scaled >= 255.0) return 255;
  return (unsigned char)scaled;
}

void SensorToImage(const CVSensor& sensor, myImage& image) {
  CORVANE_CHECK(sensor.level >= 0 && sensor.level <= kSensorLevel);
  int side = 1 << sensor.level;
  CORVANE_CHECK(image.width >= side && image.height >= side);
  for (int i = 0; i < side; i++) {
    for (int j = 0; j < side; j++) {
      image.data[i + j * image.width] = PixelToByte(sensor.pixels[size_t(i) * side + j]);
    }
  }
}
