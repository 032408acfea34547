// A grey-scale picture written as a binary PPM file, made from the sensor's pixels.
#pragma once

#include <cstdio>
#include <string>

#include "sensor/sensor.h"

class myImage {
 public:
  // Obtains width * height bytes; without them, writes
  // "myImage:: image allocation error" to standard error and exits with status 1.
  myImage(int width, int height);
  ~myImage();
  myImage(const myImage&) = delete;
  myImage& operator=(const myImage&) = delete;

  // Writes the file through a temporary beside it that replaces the file only
  // when every byte was written. Returns 1, or 0 when it could not be written
  // (an earlier file of that name is then left as it was).
  int WriteImageToFile(std::string name);

  // Writes the P6 header and the raster (each byte three times) to out.
  // Returns false when a write failed.
  bool WriteImageToStream(std::FILE* out);

  unsigned char* data;  // row after row from the top, each left to right
  int width;
  int height;
};

// A sensor value as a grey byte: value * 255 truncated, saturating at 0 and
// 255; NaN gives 0.
unsigned char PixelToByte(float value);

// The sensor's pixels, transposed, as the bytes of image (side by side pixels).
void SensorToImage(const CVSensor& sensor, myImage& image);
