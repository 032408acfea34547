// A camera and sensor that frame a model: the eye, the point looked at, the up
// direction and the four sensor corners that corvane.cfg gives.
#pragma once

#include <vector>

#include "core/camera.h"
#include "core/vecmath.h"

// The view used when none is given: from the front (+z), a little from the
// right and from above.
constexpr vertex3f kDefaultView{0.4f, 0.3f, 1.0f};

// Share of the sensor's width left free between the model's outline and each
// edge of the picture, so that no part looks cut off.
constexpr double kFrameMargin = 0.05;

// Frames the points as seen from direction view (from the points towards the
// eye; need not be of unit length, must not be zero). The eye stands three
// times the half diagonal of the points' box from the box's centre, looking at
// it; the sensor is a square across the line of sight between the eye and the
// box, centred on the points' outline as seen from the eye and just large
// enough that every point projects onto it at least kFrameMargin of its width
// from each edge (the widest extent exactly so). The corners are named as
// seen from the eye (ul upper left, ur upper right; dl, ul, ur clockwise), so
// that corvane --png shows the model upright and unmirrored, up in the scene
// (or the back, for a view along y) up in the picture. points must not be
// empty.
Camera FramePoints(const std::vector<vertex3f>& points, vertex3f view);

// FramePoints of the eight corners of the box [low, high].
Camera FrameBox(vertex3f low, vertex3f high, vertex3f view);
