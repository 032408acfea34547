// The camera of a run: where the eye stands and where the sensor lies.
#pragma once

#include "core/vecmath.h"

// The eye point, the point looked at and the up direction, then the sensor's
// corners as seen from the eye: upper left, upper right, lower left, lower
// right. All zero until corvane.cfg sets them.
struct Camera {
  vertex3f eye{0, 0, 0};
  vertex3f center{0, 0, 0};
  vertex3f up{0, 0, 0};
  vertex3f ul{0, 0, 0};
  vertex3f ur{0, 0, 0};
  vertex3f dl{0, 0, 0};
  vertex3f dr{0, 0, 0};
};
