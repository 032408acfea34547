// Aiming the camera: a square sensor across the line of sight, worked out
// from the eye, the point looked at, the up direction and the field of view.
#pragma once

#include <string>

#include "core/camera.h"
#include "core/vecmath.h"

// The eye's own axes, in double: the unit line of sight, and the unit right
// and up directions as the eye sees them, square to it and to each other.
struct ViewFrame {
  double3 eye;
  double3 forward;
  double3 right;
  double3 up;
  double half_width;  // tan(fov / 2): the sensor's half side per unit of depth
};

// An up direction whose angle to the line of sight has a sine below this
// leaves the right direction to rounding.
constexpr double kLeastUpSine = 1e-6;

// Where the sensor stands, as a share of the depth of the nearest sample in
// view. A sample nearer than the sensor never reaches it, so it must stand
// in front of them all; nearer to them it is larger, and the cell test's
// absolute band (0.0001 on |edge x (X - corner)|) shrinks as the square of a
// pixel's side. Nine tenths keeps the line's parameter at the sensor above
// 0.1, far from the test's 0.0001, and rounding of the corners, a few parts
// in 10^7, far from moving the sensor past a sample.
constexpr double kSensorDepthShare = 0.9;

// A sample within this factor of the view's half width counts as in view,
// so that rounding at the sensor's edge cannot leave one out.
constexpr double kViewSlack = 1.01;

// What keeps the camera from being aimed, or nothing: a field of view
// outside (0, 180) degrees, a coordinate that is not finite, the eye on the
// point looked at, an up direction of zero length or along the line of sight.
std::string AimProblem(const Camera& camera, double fov_degrees);

// The frame of camera's eye, center and up; AimProblem must be empty.
ViewFrame MakeViewFrame(const Camera& camera, double fov_degrees);

// The depth of point along the line of sight when it lies in front of the
// eye and inside the view (widened by kViewSlack); infinity otherwise.
double DepthInView(const ViewFrame& frame, vertex3f point);

// The depth kSensorDepthShare of nearest, or of the distance to the point
// looked at when no sample is in view (nearest infinite).
double SensorDepth(const ViewFrame& frame, const Camera& camera, double nearest);

// Sets camera's corners to the square across the line of sight at depth,
// named as seen from the eye (dl, ul, ur run clockwise), so that the picture
// is upright and unmirrored. Computed in double, rounded to float once.
void PlaceSensor(const ViewFrame& frame, double depth, Camera& camera);

// The angle in degrees that camera's sensor spans across, seen from the eye:
// between the middles of its left and right edges. NaN when they meet or
// cannot be told from the eye.
double SpannedFieldOfView(const Camera& camera);

// v turned right-handed by `degrees` about the direction axis (not zero).
double3 TurnedAbout(double3 v, double3 axis, double degrees);

// camera with the eye turned about the up direction through the point looked
// at by `degrees`, turning right-handed about it; the rest stays.
Camera TurnedAboutUp(const Camera& camera, double degrees);
