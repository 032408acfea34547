#include "sensor/pooling.h"

#include <cstddef>

#include "core/check.h"

std::vector<float> PooledPixels(const CVSensor& sensor, int level) {
  CORVANE_CHECK(level >= 0 && level <= sensor.level);
  size_t side = size_t(1) << level;
  size_t sensor_side = size_t(1) << sensor.level;
  size_t block = sensor_side / side;
  std::vector<float> pooled(side * side, kEmptyPixel);
  for (size_t row = 0; row < sensor_side; ++row) {
    const float* pixels = sensor.pixels + row * sensor_side;
    float* target = pooled.data() + (row / block) * side;
    for (size_t column = 0; column < sensor_side; ++column) ApplyPixelMaximum(target[column / block], pixels[column]);
  }
  return pooled;
}
