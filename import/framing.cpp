#include "import/framing.h"

#include <algorithm>
#include <cmath>

// Plain double vectors for the construction; the results are rounded to float once.
struct Vec {
  double x, y, z;
};

static Vec operator+(Vec a, Vec b) { return Vec{a.x + b.x, a.y + b.y, a.z + b.z}; }
static Vec operator-(Vec a, Vec b) { return Vec{a.x - b.x, a.y - b.y, a.z - b.z}; }
static Vec operator*(double s, Vec a) { return Vec{s * a.x, s * a.y, s * a.z}; }
static double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
static Vec Cross(Vec a, Vec b) { return Vec{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
static Vec Unit(Vec a) { return (1.0 / std::sqrt(Dot(a, a))) * a; }
static Vec FromFloat(vertex3f p) { return Vec{p.x, p.y, p.z}; }
static vertex3f ToFloat(Vec a) { return vertex3f{float(a.x), float(a.y), float(a.z)}; }

// The smallest half side of the sensor, in parts of the box's radius: a
// model that is a single point still gets a sensor around it.
constexpr double kLeastHalfSide = 0.1;

CVCamera FramePoints(const std::vector<vertex3f>& points, vertex3f view) {
  Vec lo = FromFloat(points.front());
  Vec hi = lo;
  for (vertex3f p : points) {
    lo = Vec{std::min(lo.x, double(p.x)), std::min(lo.y, double(p.y)), std::min(lo.z, double(p.z))};
    hi = Vec{std::max(hi.x, double(p.x)), std::max(hi.y, double(p.y)), std::max(hi.z, double(p.z))};
  }
  Vec center = 0.5 * (lo + hi);
  double radius = std::max(0.5 * std::sqrt(Dot(hi - lo, hi - lo)), 1.0);

  Vec d = Unit(FromFloat(view));
  // Up is the scene's y axis, unless the view runs along it: then the back (-z).
  Vec world_up = std::fabs(d.y) > 0.999 ? Vec{0, 0, -1} : Vec{0, 1, 0};
  Vec up = Unit(world_up - Dot(world_up, d) * d);
  Vec right = Cross(up, d);

  double eye_distance = 3.0 * radius;
  Vec eye = center + eye_distance * d;
  // Every point is at least eye_distance - radius from the eye along the line
  // of sight, so the whole model lies beyond the sensor.
  double sensor_distance = eye_distance - 1.1 * radius;
  Vec sensor_center = eye - sensor_distance * d;

  // The outline of the points where the lines from them to the eye cross the
  // sensor's plane, in the sensor's right and up coordinates.
  double low_right = 1e300, high_right = -1e300, low_up = 1e300, high_up = -1e300;
  for (vertex3f p : points) {
    Vec q = FromFloat(p) - eye;
    double shrink = sensor_distance / -Dot(q, d);
    double r = Dot(q, right) * shrink;
    double u = Dot(q, up) * shrink;
    low_right = std::min(low_right, r), high_right = std::max(high_right, r);
    low_up = std::min(low_up, u), high_up = std::max(high_up, u);
  }
  double widest = std::max(high_right - low_right, high_up - low_up);
  double half = std::max(0.5 * widest / (1.0 - 2.0 * kFrameMargin), kLeastHalfSide * radius);
  Vec middle = sensor_center + (0.5 * (low_right + high_right)) * right + (0.5 * (low_up + high_up)) * up;

  CVCamera camera;
  camera.eye = ToFloat(eye);
  camera.center = ToFloat(center);
  camera.up = ToFloat(up);
  camera.ul = ToFloat(middle + half * right + half * up);
  camera.ur = ToFloat(middle + half * right - half * up);
  camera.dl = ToFloat(middle - half * right + half * up);
  camera.dr = ToFloat(middle - half * right - half * up);
  return camera;
}

CVCamera FrameBox(vertex3f low, vertex3f high, vertex3f view) {
  std::vector<vertex3f> corners;
  for (int corner = 0; corner < 8; ++corner) {
    corners.push_back(vertex3f{(corner & 1) ? high.x : low.x, (corner & 2) ? high.y : low.y,
                               (corner & 4) ? high.z : low.z});
  }
  return FramePoints(corners, view);
}
