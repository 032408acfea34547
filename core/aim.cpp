#include "core/aim.h"

#include <cmath>

namespace {

constexpr double kFullTurnDegrees = 360.0;
constexpr double kHalfTurnDegrees = 180.0;

double Radians(double degrees) { return degrees * (kPi / kHalfTurnDegrees); }

bool Finite(vertex3f v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

std::string AimProblem(const Camera& camera, double fov_degrees) {
  if (!(fov_degrees > 0.0 && fov_degrees < kHalfTurnDegrees)) {
    return "the field of view must lie between 0 and 180 degrees, both left out";
  }
  if (!Finite(camera.eye) || !Finite(camera.center) || !Finite(camera.up)) {
    return "the eye, the point looked at and the up direction must be finite numbers";
  }
  double3 sight = Sub(ToDouble3(camera.center), ToDouble3(camera.eye));
  if (!(Length(sight) > 0.0)) return "the eye stands on the point it looks at, so there is no line of sight";
  double3 up = ToDouble3(camera.up);
  if (!(Length(up) > 0.0)) return "the up direction has no length";
  if (!(Length(Cross(Unit(sight), Unit(up))) >= kLeastUpSine)) {
    return "the up direction runs along the line of sight, so the picture has no up";
  }
  return "";
}

ViewFrame MakeViewFrame(const Camera& camera, double fov_degrees) {
  ViewFrame frame{};
  frame.eye = ToDouble3(camera.eye);
  frame.forward = Unit(Sub(ToDouble3(camera.center), frame.eye));
  frame.right = Unit(Cross(frame.forward, ToDouble3(camera.up)));
  frame.up = Cross(frame.right, frame.forward);
  frame.half_width = std::tan(Radians(0.5 * fov_degrees));
  return frame;
}

double DepthInView(const ViewFrame& frame, vertex3f point) {
  double3 q = Sub(ToDouble3(point), frame.eye);
  double depth = Dot(q, frame.forward);
  double reach = depth * frame.half_width * kViewSlack;
  // Behind the eye or beside the view, a sample never reaches the sensor.
  if (!(depth > 0.0) || !(std::fabs(Dot(q, frame.right)) <= reach) || !(std::fabs(Dot(q, frame.up)) <= reach)) {
    return INFINITY;
  }
  return depth;
}

double SensorDepth(const ViewFrame& frame, const Camera& camera, double nearest) {
  if (std::isinf(nearest)) nearest = Length(Sub(ToDouble3(camera.center), frame.eye));
  return kSensorDepthShare * nearest;
}

void PlaceSensor(const ViewFrame& frame, double depth, Camera& camera) {
  double3 middle = Add(frame.eye, Scale(depth, frame.forward));
  double3 across = Scale(depth * frame.half_width, frame.right);
  double3 upward = Scale(depth * frame.half_width, frame.up);
  camera.ul = ToVertex3f(Add(Sub(middle, across), upward));
  camera.ur = ToVertex3f(Add(Add(middle, across), upward));
  camera.dl = ToVertex3f(Sub(Sub(middle, across), upward));
  camera.dr = ToVertex3f(Sub(Add(middle, across), upward));
}

double SpannedFieldOfView(const Camera& camera) {
  double3 eye = ToDouble3(camera.eye);
  double3 left = Sub(Scale(0.5, Add(ToDouble3(camera.ul), ToDouble3(camera.dl))), eye);
  double3 right = Sub(Scale(0.5, Add(ToDouble3(camera.ur), ToDouble3(camera.dr))), eye);
  double cosine = Dot(left, right) / (Length(left) * Length(right));
  // Edges that meet would span only the rounding of the cosine.
  if (!std::isfinite(cosine) || !(Length(Sub(right, left)) > 0.0)) return NAN;
  return ClampedAcos(cosine) * (kHalfTurnDegrees / kPi);
}

double3 TurnedAbout(double3 v, double3 axis, double degrees) {
  double3 unit = Unit(axis);
  double angle = Radians(std::fmod(degrees, kFullTurnDegrees));
  double c = std::cos(angle);
  double s = std::sin(angle);
  // Rodrigues' rotation: the part along the axis stays, the rest turns.
  return Add(Add(Scale(c, v), Scale(s, Cross(unit, v))), Scale(Dot(unit, v) * (1.0 - c), unit));
}

Camera TurnedAboutUp(const Camera& camera, double degrees) {
  double3 center = ToDouble3(camera.center);
  double3 turned = TurnedAbout(Sub(ToDouble3(camera.eye), center), ToDouble3(camera.up), degrees);
  Camera result = camera;
  result.eye = ToVertex3f(Add(center, turned));
  return result;
}
