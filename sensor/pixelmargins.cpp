#include "sensor/pixelmargins.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "core/check.h"
#include "core/lanes.h"

// How the margins are argued. The cell test accepts a triangle when the line
// faces its front, its t exceeds 0.0001 and its float plane point X passes
// the three edges; an edge passes when T = (B - A) x (X - A) points along the
// triangle's normal within 0.0001 in cosine, or lies inside the 0.0001 band.
// With X at in-plane distance delta from the edge's line and at most zeta off
// the triangle's plane, T leans from the normal by at most
// (zeta + rounding of T) / delta, so delta above 72 times that passes by the
// cosine. An X at delta on the outer side fails when |B - A| delta, less the
// rounding of T, reaches sqrt(3) 0.0001 (then a component leaves the band)
// and T points against the normal. The crossing point P of the line with a
// reference plane, in the sensor's parameters, gives delta to within the
// position slack below: the float corners' distance from the exact
// subdivision, the distance between P and X along the line (the triangle's
// plane lies off the reference plane), and the rounding of X itself. Every
// first-order bound is widened by kSafety.

namespace {

// Rounding.
constexpr double kUnit = 0x1p-24;                                 // relative rounding of one float operation
constexpr int kFloatDigits = std::numeric_limits<float>::digits;  // bits of a float's significand
constexpr double kSafety = 1.1;                                   // widens every first-order bound
constexpr double kRootThree = 1.7320508075688772;                 // sqrt(3): |v| over its largest component, at most

// The cell test's decisions.
constexpr double kPassRatio = 72;          // delta / lean above it: cosine above 0.999903
constexpr double kCrossRounding = 8;       // |rounding of T| / (|B - A| |X - A| kUnit), at most
constexpr double kFacingMargin = 1.03e-4;  // |m| above which every triangle faces the line, float m included
constexpr double kCosineRounding = 2e-6;   // float m's distance from the exact cosine, at most
constexpr int kNumeratorRoundings = 6;     // t's numerator sums six float products: N . P0, then N . O
constexpr int kDenominatorRoundings = 3;   // N . d sums three float products
constexpr double kDoubleSlack = 1e-12;     // P's parameters in double, relative to |O| + |P|, with room

// The sensor's cells.
constexpr int kMiddleRoundings = 2;            // a cell's middle rounds twice per level
constexpr double kCornerSafety = 1.01;         // covers the second-order terms the summed roundings leave out
constexpr int kSegmentEnds = 2;                // a segment's ends each lie within corner_error of their places
constexpr int kCrossTerms = 2;                 // e1 x e2 changes to first order through each of its edges
constexpr int kTwistSpan = 2;                  // u v changes by at most twice a cell's side across it
constexpr double kTiltSlack = 1e-9;            // the tilt's own rounding in double (atan, asin, sums), with room
constexpr double kSpreadFactor = 2 * kSafety;  // X and A lie in the split cell, twice the level's side across
constexpr int kTriangleCorners = 3;            // the height of each corner can lift the triangle's plane
constexpr double kDiagonalPerBend = 4;         // the sides decide while the twist is at most a quarter of the diagonal
constexpr double kBesideProduct = 2;           // |u v| of P in the parameters of a quarter beside its own, at most
constexpr double kMaximumTilt = 0.2;           // beyond it the sensor is too curved to bound
constexpr double kMaximumNormalError = 1e-4;   // beyond it the cells are too small to bound
constexpr int kNewtonSteps = 5;                // refine the inverse of the bilinear map from the parallelogram's
constexpr int kAboveEveryBit = 1 << 30;        // above the exponent of any float's lowest set bit

double Cross2(const double p[2], const double q[2]) { return p[0] * q[1] - p[1] * q[0]; }

// The distance of the origin from the segment from p to q.
double DistanceFromOrigin(double3 p, double3 q) {
  double3 along = Sub(q, p);
  double share = Dot(along, along) > 0 ? std::clamp(-Dot(p, along) / Dot(along, along), 0.0, 1.0) : 0.0;
  return Length(Add(p, Scale(share, along)));
}

// Sum of |a_i b_i|.
double AbsoluteDot(double3 a, double3 b) { return std::fabs(a.x * b.x) + std::fabs(a.y * b.y) + std::fabs(a.z * b.z); }

// Sum of |p_i|: at least |p|.
double AbsoluteSum(double3 p) { return AbsoluteDot(p, double3{1, 1, 1}); }

// Parameters (x, y) of the in-plane point (px, py) under the map
// x a + y b + x y c, and the distance between its image and the point.
void InvertBilinear(const CVSensorProjection& s, double px, double py, double& x, double& y, double& residual) {
  const double p[2] = {px, py};
  x = Cross2(p, s.b2) * s.inverse_area;
  y = Cross2(s.a2, p) * s.inverse_area;
  double f[2] = {0, 0};
  for (int step = 0;; ++step) {
    for (int i = 0; i < 2; ++i) f[i] = x * s.a2[i] + y * s.b2[i] + x * y * s.c2[i] - p[i];
    if (step == kNewtonSteps || (s.c2[0] == 0 && s.c2[1] == 0)) break;
    const double jx[2] = {s.a2[0] + y * s.c2[0], s.a2[1] + y * s.c2[1]};
    const double jy[2] = {s.b2[0] + x * s.c2[0], s.b2[1] + x * s.c2[1]};
    double inverse = 1 / Cross2(jx, jy);
    x -= Cross2(f, jy) * inverse;
    y -= Cross2(jx, f) * inverse;
  }
  residual = std::fabs(f[0]) + std::fabs(f[1]);  // at least the distance
}

// Whether every midpoint of the subdivision is exact. In each coordinate the
// exact subdivision's points are multiples of the corners' finest bit over
// 2^10 (2^20 with a twist), below 2^24 such steps when that many bits hold
// the widest sum; then every sum of two points is a float, so every
// midpoint is the exact one. Otherwise a midpoint (p + q) * 0.5 rounds once,
// a cell's middle twice per level, and errors of the parents carry over
// averaged.
bool SubdivisionExact(const CVSensorProjection& s) {
  const vertex3f corners[4] = {s.ul, s.ur, s.dl, s.dr};
  for (const vertex3f& corner : corners) {
    if (!std::isfinite(corner.x) || !std::isfinite(corner.y) || !std::isfinite(corner.z)) return false;
  }
  for (int axis = 0; axis < 3; ++axis) {
    double value[4];
    int finest = kAboveEveryBit;
    double widest = 0;
    for (int i = 0; i < 4; ++i) {
      value[i] = Component(ToDouble3(corners[i]), axis);
      widest = std::max(widest, std::fabs(value[i]));
      if (value[i] == 0) continue;
      int exponent = 0;
      double fraction = std::frexp(value[i], &exponent);
      // The lowest set bit of a float: its exponent less the trailing zeros.
      uint32_t mantissa = uint32_t(std::ldexp(std::fabs(fraction), kFloatDigits));
      int zeros = 0;
      while ((mantissa & 1u) == 0) mantissa >>= 1, ++zeros;
      finest = std::min(finest, exponent - kFloatDigits + zeros);
    }
    if (widest == 0) continue;
    bool twisted = value[3] - value[2] - value[1] + value[0] != 0;
    int step = finest - kSensorLevel - (twisted ? kSensorLevel : 0);
    int top = 0;
    std::frexp(2 * widest, &top);  // 2 widest < 2^top
    if (top - step > kFloatDigits) return false;
  }
  return true;
}

// The sensor as the bilinear map UL + u a + v b + u v c, for u, v in [0, 1].
struct SensorMap {
  double3 UL, UR, DL, DR;
  double3 a, b, c;
};

SensorMap MapOf(const CVSensorProjection& s) {
  double3 UL = ToDouble3(s.ul), UR = ToDouble3(s.ur), DL = ToDouble3(s.dl), DR = ToDouble3(s.dr);
  return SensorMap{UL, UR, DL, DR, Sub(UR, UL), Sub(DL, UL), Add(Sub(DR, DL), Sub(UL, UR))};
}

// How the exact normals of the cell triangles vary, at the scale of the map.
struct NormalRange {
  double least;  // length, at least
  double sway;   // turn across the reference normal, at most
};

// Sets the reference plane (normal, origin, center) and its in-plane axes;
// false when a cell triangle's normal may vanish.
bool PlaceReferencePlane(CVSensorProjection& s, const SensorMap& map, NormalRange& normals) {
  const double3 &a = map.a, &b = map.b, &c = map.c;
  // Every cell triangle's exact normal is a positive multiple of
  // (a + v c) x (b + u c) = a x b + u (a x c) + v (c x b) for some u, v in
  // [0, 1]: it differs from its value at the middle by at most half of each.
  double3 middle_normal = Cross(Add(a, Scale(0.5, c)), Add(b, Scale(0.5, c)));
  double size = Length(middle_normal);
  if (!std::isfinite(size) || !(size > 0)) return false;
  s.normal = Scale(1.0 / size, middle_normal);
  // Along the normal the change shortens it at most by `shrink`; across it
  // turns it at most by `sway` (a trapezoid's normals only shrink).
  double shrink = 0, sway = 0;
  for (double3 change : {Cross(a, c), Cross(c, b)}) {
    double along = Dot(s.normal, change);
    shrink += 0.5 * std::fabs(along);
    sway += 0.5 * Length(Sub(change, Scale(along, s.normal)));
  }
  normals = NormalRange{size - shrink, sway};
  if (!(normals.least > 0)) return false;
  s.origin = map.UL;
  s.center = Add(map.UL, Add(Scale(0.5, a), Add(Scale(0.5, b), Scale(0.25, c))));
  s.across = Unit(Add(a, Scale(0.5, c)));
  s.downward = Cross(s.normal, s.across);
  return true;
}

// Sets the map's terms in the in-plane coordinates, and the inverse area of
// their parallelogram.
void SetPlanarMap(CVSensorProjection& s, const SensorMap& map) {
  const double3 terms[3] = {map.a, map.b, map.c};
  double* planar[3] = {s.a2, s.b2, s.c2};
  for (int i = 0; i < 3; ++i) planar[i][0] = Dot(terms[i], s.across), planar[i][1] = Dot(terms[i], s.downward);
  s.inverse_area = 1 / Cross2(s.a2, s.b2);
}

// Sets corner_error, reach and height from the corners; returns the sum of
// |normal_i corner_i| over the sensor's corners, at most.
double BoundCornerError(CVSensorProjection& s, const SensorMap& map) {
  double largest = 0, deviation = 0, weight = 0;
  s.reach = 0;
  for (double3 P : {map.UL, map.UR, map.DL, map.DR}) {
    largest = std::max({largest, std::fabs(P.x), std::fabs(P.y), std::fabs(P.z)});
    s.reach = std::max(s.reach, Length(P));
    deviation = std::max(deviation, std::fabs(Dot(s.normal, Sub(P, s.center))));
    weight = std::max(weight, AbsoluteDot(s.normal, P));
  }
  s.corner_error =
      SubdivisionExact(s) ? 0 : kRootThree * kMiddleRoundings * kSensorLevel * kUnit * largest * kCornerSafety;
  s.reach += s.corner_error;
  s.height = deviation + s.corner_error;
  return weight;
}

// The sides, diagonal and shortest edge of a cell at the map's scale (a
// level's cells are it times 2^-level), and the finest cell's longest edge
// and area with the corners' error.
struct CellBounds {
  double least_normal, longest_side, diagonal, shortest, twist, diameter;
  double finest_longest, finest_area;
};

// Fills the cell bounds and sets normal_error, tilt and corner_weight;
// false when a cell's edge or area may vanish.
bool BoundCells(CVSensorProjection& s, const SensorMap& map, const NormalRange& normals, double weight,
                CellBounds& cell) {
  const double3 &a = map.a, &b = map.b, &c = map.c;
  double least_normal = normals.least;
  double twist = Length(c);
  // A cell's sides run along a + v c and b + u c, its diagonal from dl to
  // ur along a - b + (v - u) c, for u, v in [0, 1], scaled by its size.
  double longest_side = std::max({Length(a), Length(Add(a, c)), Length(b), Length(Add(b, c))});
  double diameter = Length(a) + Length(b) + kTwistSpan * twist;
  double diagonal = std::max(Length(Sub(Sub(a, b), c)), Length(Add(Sub(a, b), c)));  // at most
  double shortest =
      std::min({DistanceFromOrigin(a, Add(a, c)), DistanceFromOrigin(b, Add(b, c)), least_normal / longest_side});
  if (!(shortest > 0)) return false;

  // The finest cells are the ones rounding tilts most. Edges moved by d,
  // |d| <= 2 corner_error, span e1 x e2 less |d1 x e2| + |e1 x d2| + |d1 x d2|.
  double h = std::ldexp(1.0, -kSensorLevel);
  double longest = diameter * h + kSegmentEnds * s.corner_error;
  double area = h * h * least_normal - kSegmentEnds * s.corner_error * kCrossTerms * longest -
                kSegmentEnds * kSegmentEnds * s.corner_error * s.corner_error;
  if (!(area > 0)) return false;
  s.normal_error = kSafety * kCrossRounding * kUnit * longest * longest / area;
  double lean = kSegmentEnds * s.corner_error * kCrossTerms * longest / area;
  s.tilt = std::atan(normals.sway / least_normal) + std::asin(std::min(1.0, lean)) + s.normal_error + kTiltSlack;
  s.corner_weight = weight + kRootThree * s.corner_error + s.tilt * s.reach;
  cell = CellBounds{least_normal, longest_side, diagonal, shortest, twist, diameter, longest, area};
  return true;
}

// Fills the bounds of every level, the padding one past the last, and the
// gap factor.
void FillLevelTable(CVSensorProjection& s, const CellBounds& cell) {
  double tilt_cosine = std::cos(s.tilt);
  CVSensorLevelBounds& levels = s.levels;
  for (int L = 0; L <= kSensorLevel; ++L) {
    double side = std::ldexp(1.0, -L);
    double edge = cell.shortest * side - kSegmentEnds * s.corner_error;
    levels.spread[L] = kSpreadFactor * cell.diameter * side + kSegmentEnds * s.corner_error;
    levels.inverse_shortest[L] = edge > 0 ? 1 / edge : HUGE_VAL;
    levels.iso[L] = cell.least_normal / cell.longest_side * side * tilt_cosine;
    levels.diagonal[L] = cell.least_normal / cell.diagonal * side * tilt_cosine;
    levels.bend[L] = cell.twist * side * side * tilt_cosine;
    levels.scale[L] = 1 / side;
    levels.iso_untwisted[L] = kDiagonalPerBend * levels.bend[L] <= levels.diagonal[L] ? levels.iso[L] : 0;
  }
  const int pad = kSensorLevel + 1;
  levels.spread[pad] = levels.inverse_shortest[pad] = levels.iso[pad] = levels.diagonal[pad] = levels.bend[pad] =
      levels.iso_untwisted[pad] = 0;
  levels.scale[pad] = 1;
  // A point P within `spread` of a triangle's corners has barycentric
  // weights of at most spread / altitude each, and the altitude is at least
  // area / longest edge.
  s.gap_factor =
      kTriangleCorners + kTriangleCorners * levels.spread[kSensorLevel] * cell.finest_longest / cell.finest_area;
}

}  // namespace

bool BoundSensor(CVSensorProjection& s) {
  SensorMap map = MapOf(s);
  NormalRange normals{};
  if (!PlaceReferencePlane(s, map, normals)) return false;
  SetPlanarMap(s, map);
  double weight = BoundCornerError(s, map);
  CellBounds cell{};
  if (!BoundCells(s, map, normals, weight, cell)) return false;
  FillLevelTable(s, cell);
  return s.tilt < kMaximumTilt && s.normal_error < kMaximumNormalError;
}

bool MeasureLine(const CVSensorProjection& s, vector3f line, LineMargins& m) {
  double3 O = ToDouble3(line.origin), d = ToDouble3(line.direction);
  double length = Length(d);
  double along = Dot(s.normal, d);
  double reach_O = AbsoluteSum(O);
  if (!std::isfinite(length) || !(length > 0) || !std::isfinite(reach_O)) return false;
  double inverse_length = 1 / length;
  double m0 = along * inverse_length;
  double facing = -m0 - s.tilt - kCosineRounding;  // |m| of every cell triangle, at least
  if (!(facing > kFacingMargin)) return false;
  double steepness = 1 / facing;
  double param = Dot(s.normal, Sub(s.center, O)) / along;
  if (!(param > 0)) return false;
  double3 P = Add(O, Scale(param, d));
  double3 rel = Sub(P, s.origin);
  double residual = 0;
  InvertBilinear(s, Dot(rel, s.across), Dot(rel, s.downward), m.x, m.y, residual);
  if (!(m.x >= 0 && m.x < 1 && m.y >= 0 && m.y < 1)) return false;

  double travel = param * length;  // |P - O|
  double reach_P = AbsoluteSum(P);
  // t rounds through N . P0 - N . O, whose terms weigh N_i (P0_i, O_i)
  // with N within `tilt` of the reference normal, and through N . d; X
  // rounds once more per coordinate. `drift` is how far along the line the
  // accepted triangle's plane may lie from P.
  double along_error = (kNumeratorRoundings * kUnit * (s.corner_weight + AbsoluteDot(s.normal, O) + s.tilt * reach_O) +
                        kDenominatorRoundings * kUnit * travel * (AbsoluteDot(s.normal, d) * inverse_length + s.tilt)) *
                           steepness +
                       kUnit * travel;
  double point_error = kSafety * kUnit * (travel + reach_P);
  double normal_point_error =
      kSafety * kUnit * (AbsoluteDot(s.normal, d) * param + AbsoluteDot(s.normal, P) + s.tilt * (travel + reach_P));
  double drift = kSafety * s.height * steepness;
  if (!(travel - drift - along_error - point_error > kFacingMargin * length)) return false;  // t > 0.0001
  double slant = std::min(1.0, std::sqrt(std::max(0.0, 1 - m0 * m0)) + s.tilt);  // in-plane share of a shift
  double in_plane = kSafety * (along_error * slant + point_error + residual) + kDoubleSlack * (reach_O + reach_P);
  double off_plane = kSafety * (along_error + normal_point_error);  // zeta, before the normal's share
  m.reach = along_error + point_error + drift * s.gap_factor;
  // The computed normal's error tilts the plane X is found on: it moves X
  // off the triangle's plane and, along the line, within it.
  double normal_shift = kSafety * s.normal_error * steepness;
  double rounding = kCrossRounding * kUnit;
  m.pass_base = in_plane + drift * slant + kSafety * s.corner_error + kPassRatio * off_plane;
  m.pass_per_R = normal_shift + kPassRatio * (s.normal_error + rounding);
  m.fail_base = in_plane + drift * s.gap_factor * slant + kSafety * s.corner_error;
  m.fail_per_R = normal_shift + rounding;
  m.shift = kSegmentEnds * kSafety * s.corner_error;
  return true;
}

// A level is decided whole when P keeps the margins from its predicted
// quarter's four sides and its diagonal, so the quarter accepts; and every
// earlier quarter rejects, since P lies beyond the midline between them by
// at least its clearance, and beyond such a quarter's diagonal by as much (by
// 1 more when it lies diagonally across, which outweighs a twist of at most
// a quarter of the diagonal's scale). Two levels at a time, without a branch.
unsigned LevelsDecided(const CVSensorProjection& s, const LineMargins& m) {
  // P inside the sensor: its cell at every level lies inside the level.
  CORVANE_CHECK(m.x >= 0 && m.x < 1 && m.y >= 0 && m.y < 1);
  const CVSensorLevelBounds& b = s.levels;
  const Lanes2d one = Broadcast2d(1.0), beside_product = Broadcast2d(kBesideProduct), sign = Broadcast2d(-0.0);
  const Lanes2d x = Broadcast2d(m.x), y = Broadcast2d(m.y), reach = Broadcast2d(m.reach);
  unsigned decided = 0;
  for (int L = 0; L <= kSensorLevel; L += 2) {
    Lanes2d scale = LoadUnaligned2d(b.scale + L);
    Lanes2d X = Mul(x, scale), Y = Mul(y, scale);
    // P's parameters in its quarter: the scaled ones less their whole part.
    Lanes2d u = Sub(X, TruncatedToInt32(X));
    Lanes2d v = Sub(Y, TruncatedToInt32(Y));
    Lanes2d inverse_shortest = LoadUnaligned2d(b.inverse_shortest + L);
    Lanes2d R = Add(LoadUnaligned2d(b.spread + L), reach);
    Lanes2d shift = Mul(Mul(R, inverse_shortest), Broadcast2d(m.shift));
    Lanes2d pass = Add(Add(Broadcast2d(m.pass_base), Mul(R, Broadcast2d(m.pass_per_R))), shift);
    Lanes2d fail = Add(Add(Broadcast2d(m.fail_base), Mul(R, Broadcast2d(m.fail_per_R))), shift);
    fail = Add(fail, Mul(Broadcast2d(kBandFail), inverse_shortest));
    Lanes2d clearance = Min(Min(u, Sub(one, u)), Min(v, Sub(one, v)));
    Lanes2d diagonal_scale = LoadUnaligned2d(b.diagonal + L), bend = LoadUnaligned2d(b.bend + L);
    Lanes2d across = AndNot(sign, Sub(Sub(one, u), v));
    Lanes2d diagonal = Sub(Mul(across, diagonal_scale), Mul(AndNot(sign, Mul(u, v)), bend));
    Lanes2d side = Mul(clearance, LoadUnaligned2d(b.iso_untwisted + L));
    Lanes2d beside = Sub(Mul(clearance, diagonal_scale), Mul(beside_product, bend));
    Lanes2d holds = And(And(GreaterEqualMask(side, pass), GreaterEqualMask(side, fail)),
                        And(GreaterEqualMask(diagonal, pass), GreaterEqualMask(beside, fail)));
    decided |= unsigned(MaskBits(holds)) << L;
  }
  return decided & kEveryLevel;
}
