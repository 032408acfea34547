#include "import/framing.h"

#include <algorithm>
#include <cmath>

// The smallest half side of the sensor, in parts of the box's radius: a
// model that is a single point still gets a sensor around it.
constexpr double kLeastHalfSide = 0.1;

// The construction runs in double; the results are rounded to float once.
Camera FramePoints(const std::vector<vertex3f>& points, vertex3f view) {
  double3 lo = ToDouble3(points.front());
  double3 hi = lo;
  for (vertex3f p : points) {
    lo = double3{std::min(lo.x, double(p.x)), std::min(lo.y, double(p.y)), std::min(lo.z, double(p.z))};
    hi = double3{std::max(hi.x, double(p.x)), std::max(hi.y, double(p.y)), std::max(hi.z, double(p.z))};
  }
  double3 center = Scale(0.5, Add(lo, hi));
  double radius = std::max(0.5 * Length(Sub(hi, lo)), 1.0);

  double3 d = Unit(ToDouble3(view));
  // Up is the scene's y axis, unless the view runs along it: then the back (-z).
  double3 world_up = std::fabs(d.y) > 0.999 ? double3{0, 0, -1} : double3{0, 1, 0};
  double3 up = Unit(Sub(world_up, Scale(Dot(world_up, d), d)));
  double3 right = Cross(up, d);

  double eye_distance = 3.0 * radius;
  double3 eye = Add(center, Scale(eye_distance, d));
  // Every point is at least eye_distance - radius from the eye along the line
  // of sight, so the whole model lies beyond the sensor.
  double sensor_distance = eye_distance - 1.1 * radius;
  double3 sensor_center = Sub(eye, Scale(sensor_distance, d));

  // The outline of the points where the lines from them to the eye cross the
  // sensor's plane, in the sensor's right and up coordinates.
  double low_right = 1e300, high_right = -1e300, low_up = 1e300, high_up = -1e300;
  for (vertex3f p : points) {
    double3 q = Sub(ToDouble3(p), eye);
    double shrink = sensor_distance / -Dot(q, d);
    double r = Dot(q, right) * shrink;
    double u = Dot(q, up) * shrink;
    low_right = std::min(low_right, r), high_right = std::max(high_right, r);
    low_up = std::min(low_up, u), high_up = std::max(high_up, u);
  }
  double widest = std::max(high_right - low_right, high_up - low_up);
  double half = std::max(0.5 * widest / (1.0 - 2.0 * kFrameMargin), kLeastHalfSide * radius);
  double3 middle =
      Add(Add(sensor_center, Scale(0.5 * (low_right + high_right), right)), Scale(0.5 * (low_up + high_up), up));
  double3 across = Scale(half, right);
  double3 upward = Scale(half, up);

  Camera camera;
  camera.eye = ToVertex3f(eye);
  camera.center = ToVertex3f(center);
  camera.up = ToVertex3f(up);
  // Named as seen from the eye, with right and up as the eye sees them.
  camera.ul = ToVertex3f(Add(Sub(middle, across), upward));
  camera.ur = ToVertex3f(Add(Add(middle, across), upward));
  camera.dl = ToVertex3f(Sub(Sub(middle, across), upward));
  camera.dr = ToVertex3f(Sub(Add(middle, across), upward));
  return camera;
}

Camera FrameBox(vertex3f low, vertex3f high, vertex3f view) {
  std::vector<vertex3f> corners;
  for (int corner = 0; corner < 8; ++corner) {
    corners.push_back(
        vertex3f{(corner & 1) ? high.x : low.x, (corner & 2) ? high.y : low.y, (corner & 4) ? high.z : low.z});
  }
  return FramePoints(corners, view);
}
