#include "sensor/pooling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// A sensor of 2^level by 2^level pixels held in values.
CVSensor GridSensor(std::vector<float>& values, int level) {
  CVSensor sensor{};
  sensor.pixels = values.data();
  sensor.level = level;
  return sensor;
}

}  // namespace

TEST(Pooling, AtTheSensorsOwnSizeGivesThePixelsAsTheyAre) {
  std::vector<float> values(16);
  for (size_t p = 0; p < values.size(); ++p) values[p] = 0.25f * float(p);
  EXPECT_EQ(PooledPixels(GridSensor(values, 2), 2), values);
}

// Each pooled pixel is the largest of its block, the blocks taken in the
// sensor's row order, so the picture keeps its orientation.
TEST(Pooling, KeepsTheLargestValueOfEachBlock) {
  std::vector<float> values = {
      0.1f, 0.0f, 0.0f, 0.0f,  //
      0.0f, 0.3f, 0.0f, 0.7f,  //
      0.0f, 0.0f, 0.0f, 0.0f,  //
      0.9f, 0.0f, 0.0f, 2.5f,  //
  };
  CVSensor sensor = GridSensor(values, 2);
  EXPECT_EQ(PooledPixels(sensor, 1), (std::vector<float>{0.3f, 0.7f, 0.9f, 2.5f}));
  EXPECT_EQ(PooledPixels(sensor, 0), (std::vector<float>{2.5f}));

  std::vector<float> dark(16, 0.0f);
  EXPECT_EQ(PooledPixels(GridSensor(dark, 2), 1), (std::vector<float>(4, 0.0f)));
}

// As with the samples of one pixel: a NaN first in its block stays, a NaN
// later is not greater than what came before; infinity is greater than all.
TEST(Pooling, AppliesTheSensorsMaximumInRowOrder) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float infinity = std::numeric_limits<float>::infinity();
  std::vector<float> values = {
      nan,  0.5f, 0.2f, nan,       //
      0.9f, 0.0f, 0.1f, infinity,  //
  };
  values.resize(16, 0.0f);
  std::vector<float> pooled = PooledPixels(GridSensor(values, 2), 1);
  EXPECT_TRUE(std::isnan(pooled[0]));
  EXPECT_EQ(pooled[1], infinity);
  EXPECT_EQ(pooled[2], 0.0f);
  EXPECT_EQ(pooled[3], 0.0f);
}
