// The sensor's pixels pooled into fewer, larger ones for the picture to look
// at: a sparse trace lights few of a million pixels, and pooling merges them
// as the sensor merges samples, keeping the largest value. out.ppm and the
// EXR values are never pooled.
#pragma once

#include <vector>

#include "sensor/sensor.h"

// The 4^level pixels of a 2^level by 2^level grid, row by row from the
// upper edge, each the pooled value of the square block of sensor pixels it
// covers: ApplyPixelMaximum over the block in row order, the rule the sensor
// applies to the samples that reach one pixel. Requires 0 <= level <=
// sensor.level; at sensor.level the pixels come back as they are.
std::vector<float> PooledPixels(const CVSensor& sensor, int level);
