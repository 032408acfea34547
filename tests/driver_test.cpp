// The driver's own decisions: how sensor values become bytes.
#include "app/driver.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Driver, PixelValuesSaturateToBytes) {
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

TEST(Driver, ImageIsTheSensorGridTransposed) {
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
