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

CVCamera FrameBox(vertex3f low, vertex3f high, vertex3f view) {
  Vec lo = FromFloat(low);
  Vec hi = FromFloat(high);
  Vec center = 0.5 * (lo + hi);
  double radius = std::max(0.5 * std::sqrt(Dot(hi - lo, hi - lo)), 1.0);

  Vec d = Unit(FromFloat(view));
  // Up is the scene's y axis, unless the view runs along it: then the back (-z).
  Vec world_up = std::fabs(d.y) > 0.999 ? Vec{0, 0, -1} : Vec{0, 1, 0};
  Vec up = Unit(world_up - Dot(world_up, d) * d);
  Vec right = Cross(up, d);

  double eye_distance = 3.0 * radius;
  Vec eye = center + eye_distance * d;
  // Every point of the box is at least eye_distance - radius from the eye
  // along the line of sight, so the whole box lies beyond the sensor.
  double sensor_distance = eye_distance - 1.1 * radius;
  Vec sensor_center = eye - sensor_distance * d;

  double half = 0.0;
  for (int corner = 0; corner < 8; ++corner) {
    Vec p{(corner & 1) ? hi.x : lo.x, (corner & 2) ? hi.y : lo.y, (corner & 4) ? hi.z : lo.z};
    Vec q = p - eye;
    double depth = -Dot(q, d);
    double across = std::max(std::fabs(Dot(q, right)), std::fabs(Dot(q, up)));
    half = std::max(half, across * sensor_distance / depth);
  }
  half *= 1.05;  // a margin, so that the outline does not touch the picture's edge

  CVCamera camera;
  camera.eye = ToFloat(eye);
  camera.center = ToFloat(center);
  camera.up = ToFloat(up);
  camera.ul = ToFloat(sensor_center + half * right + half * up);
  camera.ur = ToFloat(sensor_center + half * right - half * up);
  camera.dl = ToFloat(sensor_center - half * right + half * up);
  camera.dr = ToFloat(sensor_center - half * right - half * up);
  return camera;
}
