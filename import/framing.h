// A camera and sensor that frame a box: the eye, the point looked at, the up
// direction and the four sensor corners that corvane.cfg gives.
#pragma once

#include "core/vecmath.h"

struct CVCamera {
  vertex3f eye;
  vertex3f center;
  vertex3f up;
  vertex3f ul;
  vertex3f ur;
  vertex3f dl;
  vertex3f dr;
};

// The view used when none is given: from the front (+z), a little from the
// right and from above.
constexpr vertex3f kDefaultView{0.4f, 0.3f, 1.0f};

// Frames the box [low, high] as seen from direction view (from the box towards
// the eye; need not be of unit length, must not be zero). The eye stands three
// times the box's half diagonal from its centre; the sensor is a square across
// the line of sight between the eye and the box, just large enough to show the
// whole box, with dl, ul, ur clockwise as seen from the eye. Corvane's picture
// is the sensor grid transposed: the corners are placed so that up in the
// scene is up in the picture, which then comes out mirrored left to right.
CVCamera FrameBox(vertex3f low, vertex3f high, vertex3f view);
