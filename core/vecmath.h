// Points, located directions, quaternions and triangles in single precision,
// with the small free functions all geometry of the program is built from.
// Every stored value is a float; sqrt, sin and cos run in double precision
// and are rounded to float where their result is stored. Last, a vector in
// double precision for the bounds that must hold every float result.
#pragma once

#include <cmath>
#include <limits>

struct vertex3f {
  float x;
  float y;
  float z;
};

// A ray, or a normal travelling with the point it was computed at.
struct vector3f {
  vertex3f origin;
  vertex3f direction;
};

struct quat3f {
  float w;
  float x;
  float y;
  float z;
};

// The corner order carries the orientation: the front face is the side from
// which a, b, c appear counter-clockwise.
struct CV_triangle {
  vertex3f a;
  vertex3f b;
  vertex3f c;
};

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// Arc cosine in double of a cosine that rounding may have pushed just past
// +-1 (which would give NaN). A NaN argument stays NaN.
inline double ClampedAcos(double cosine) {
  if (cosine > 1.0) cosine = 1.0;
  if (cosine < -1.0) cosine = -1.0;
  return std::acos(cosine);
}

// The operations on plain points and directions that every vector operation
// below, and every faster variant of the ray-triangle test, is built from, so
// that all of them make the same float operations in the same order.
inline vertex3f PointDifference(vertex3f a, vertex3f b) { return vertex3f{a.x - b.x, a.y - b.y, a.z - b.z}; }

inline vertex3f CrossProduct(vertex3f p, vertex3f q) {
  return vertex3f{p.y * q.z - p.z * q.y, p.z * q.x - p.x * q.z, p.x * q.y - p.y * q.x};
}

inline float DotProduct(vertex3f p, vertex3f q) { return p.x * q.x + p.y * q.y + p.z * q.z; }

// The point t units of d along from O: O + d t, each coordinate one product
// and one sum in float.
inline vertex3f PointAlong(vertex3f O, vertex3f d, float t) {
  return vertex3f{O.x + d.x * t, O.y + d.y * t, O.z + d.z * t};
}

// v divided by its length, rounded to float first. A zero v gives NaN
// components; nothing checks for it.
inline vertex3f UnitDirection(vertex3f v) {
  float s = DotProduct(v, v);
  float length = float(std::sqrt(double(s)));
  return vertex3f{v.x / length, v.y / length, v.z / length};
}

// The direction at polar angle theta from +z and azimuth phi from +x; each
// component is one double product rounded to float once.
inline vertex3f SphericalDirection(float theta, float phi) {
  return vertex3f{float(std::sin(double(theta)) * std::cos(double(phi))),
                  float(std::sin(double(theta)) * std::sin(double(phi))), float(std::cos(double(theta)))};
}

// Origin and direction both (0, 0, 0).
inline vector3f ZeroVector() { return vector3f{{0, 0, 0}, {0, 0, 0}}; }

// The unit direction of axis 1 (x), 2 (y) or 3 (z) at the origin; zero for any other axis.
inline vector3f BaseAxis(int axis) {
  vector3f v = ZeroVector();
  if (axis == 1) v.direction.x = 1;
  if (axis == 2) v.direction.y = 1;
  if (axis == 3) v.direction.z = 1;
  return v;
}

// The ray from `from` towards `to`, with direction to - from.
inline vector3f VectorizeVertices(vertex3f from, vertex3f to) { return vector3f{from, PointDifference(to, from)}; }

inline vector3f ScaleVector(float factor, vector3f v) {
  return vector3f{v.origin, {factor * v.direction.x, factor * v.direction.y, factor * v.direction.z}};
}

// Dot product of the two directions; origins are ignored.
inline float ScalarMultiply(vector3f a, vector3f b) { return DotProduct(a.direction, b.direction); }

// Cross product of the directions, located at a's origin.
inline vector3f VectorMultiply(vector3f a, vector3f b) {
  return vector3f{a.origin, CrossProduct(a.direction, b.direction)};
}

// The direction made unit (see UnitDirection), at the same origin.
inline vector3f NormalizeVector(vector3f v) { return vector3f{v.origin, UnitDirection(v.direction)}; }

inline vector3f ReverseVector(vector3f v) {
  return vector3f{v.origin, {-v.direction.x, -v.direction.y, -v.direction.z}};
}

inline float VertexDistance(vertex3f a, vertex3f b) {
  vertex3f d = PointDifference(b, a);
  return float(std::sqrt(double(DotProduct(d, d))));
}

inline vertex3f MiddleVertex(vertex3f a, vertex3f b) {
  return vertex3f{(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f};
}

// Rotation quaternion for `angle` radians about axis.direction, used as given:
// only a unit axis gives a pure rotation.
inline quat3f QuaternionRotate(float angle, vector3f axis) {
  float h = angle * 0.5f;
  double s = std::sin(double(h));
  quat3f q;
  q.w = float(std::cos(double(h)));
  q.x = float(s * double(axis.direction.x));
  q.y = float(s * double(axis.direction.y));
  q.z = float(s * double(axis.direction.z));
  return q;
}

// Hamilton product p q.
inline quat3f QuaternionMultiply(quat3f p, quat3f q) {
  quat3f r;
  r.w = p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z;
  r.x = p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y;
  r.y = p.w * q.y - p.x * q.z + p.y * q.w + p.z * q.x;
  r.z = p.w * q.z + p.x * q.y - p.y * q.x + p.z * q.w;
  return r;
}

inline quat3f OpositeQuat(quat3f q) { return quat3f{q.w, -q.x, -q.y, -q.z}; }

// v turned by q: the vector part of q (0, v) q*.
inline vertex3f RotateByQuaternion(quat3f q, vertex3f v) {
  quat3f r = QuaternionMultiply(QuaternionMultiply(q, quat3f{0, v.x, v.y, v.z}), OpositeQuat(q));
  return vertex3f{r.x, r.y, r.z};
}

// (b - a) x (c - a), unnormalised (twice the area), located at a.
inline vector3f TriNormale(CV_triangle t) {
  return vector3f{t.a, CrossProduct(PointDifference(t.b, t.a), PointDifference(t.c, t.a))};
}

// The unit mirror image of the incoming direction about the normal, located at `at`.
inline vector3f FermatReflection2(vector3f incoming, vector3f normal, vertex3f at) {
  vertex3f u = NormalizeVector(ReverseVector(incoming)).direction;
  vertex3f n = NormalizeVector(normal).direction;
  float c = DotProduct(u, n);
  return vector3f{at, {-(u.x - 2.0f * n.x * c), -(u.y - 2.0f * n.y * c), -(u.z - 2.0f * n.z * c)}};
}

// A point or direction in double precision. Bounds on what float code can
// compute are worked out in it: every float widens to it exactly.
struct double3 {
  double x;
  double y;
  double z;
};

inline double3 ToDouble3(vertex3f v) { return double3{double(v.x), double(v.y), double(v.z)}; }

inline double3 Add(double3 a, double3 b) { return double3{a.x + b.x, a.y + b.y, a.z + b.z}; }

inline double3 Sub(double3 a, double3 b) { return double3{a.x - b.x, a.y - b.y, a.z - b.z}; }

inline double3 Scale(double s, double3 v) { return double3{s * v.x, s * v.y, s * v.z}; }

inline double3 Divide(double3 v, double s) { return double3{v.x / s, v.y / s, v.z / s}; }

inline double Dot(double3 a, double3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline double3 Cross(double3 p, double3 q) {
  return double3{p.y * q.z - p.z * q.y, p.z * q.x - p.x * q.z, p.x * q.y - p.y * q.x};
}

inline double Length(double3 v) { return std::sqrt(Dot(v, v)); }

// v at unit length; v must not be zero.
inline double3 Unit(double3 v) { return Scale(1.0 / Length(v), v); }

// v rounded to float, once per coordinate.
inline vertex3f ToVertex3f(double3 v) { return vertex3f{float(v.x), float(v.y), float(v.z)}; }

// Coordinate 0 (x), 1 (y) or 2 (z).
inline double Component(double3 v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }
inline float Component(vertex3f v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

// The float infinity that empty bounds and open searches start from.
constexpr float kInfinity = std::numeric_limits<float>::infinity();
