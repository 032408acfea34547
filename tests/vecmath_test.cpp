#include "core/vecmath.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "tests/support.h"

namespace {

vector3f Ray(vertex3f origin, vertex3f direction) { return vector3f{origin, direction}; }
vector3f Dir(float x, float y, float z) { return vector3f{{0, 0, 0}, {x, y, z}}; }

void ExpectQuatEq(quat3f expected, quat3f actual) {
  EXPECT_EQ(expected.w, actual.w);
  EXPECT_EQ(expected.x, actual.x);
  EXPECT_EQ(expected.y, actual.y);
  EXPECT_EQ(expected.z, actual.z);
}

TEST(VecMath, BaseAxisGivesUnitAxesForOneToThreeAndZeroOtherwise) {
  struct Row {
    int axis;
    vertex3f direction;
  };
  const Row rows[] = {{1, {1, 0, 0}}, {2, {0, 1, 0}},  {3, {0, 0, 1}},       {0, {0, 0, 0}},
                      {4, {0, 0, 0}}, {-1, {0, 0, 0}}, {INT_MIN, {0, 0, 0}}, {INT_MAX, {0, 0, 0}}};
  for (const Row& row : rows) {
    SCOPED_TRACE("axis " + std::to_string(row.axis));
    vector3f v = BaseAxis(row.axis);
    ExpectVertex(v.origin, {0, 0, 0});
    ExpectVertex(v.direction, row.direction);
  }
  vector3f zero = ZeroVector();
  ExpectVertex(zero.origin, {0, 0, 0});
  ExpectVertex(zero.direction, {0, 0, 0});
}

TEST(VecMath, NormalizeVectorGivesUnitDirectionAndKeepsOrigin) {
  vector3f n = NormalizeVector(Ray({5, -6, 7}, {3, 0, 4}));
  ExpectVertex(n.origin, {5, -6, 7});
  ExpectVertex(n.direction, {0.6f, 0, 0.8f});
}

TEST(VecMath, NormalizeVectorOfZeroDirectionGivesNaNAndKeepsOrigin) {
  vector3f n = NormalizeVector(Ray({1, 2, 3}, {0, 0, 0}));
  ExpectVertex(n.origin, {1, 2, 3});
  EXPECT_TRUE(std::isnan(n.direction.x));
  EXPECT_TRUE(std::isnan(n.direction.y));
  EXPECT_TRUE(std::isnan(n.direction.z));
}

TEST(VecMath, NormalizeVectorDividesByTheLengthRoundedToFloat) {
  // |(1, 0, 4)| = sqrt(17): dividing by the double length and rounding once
  // gives a different float than dividing by the float length.
  const float float_length = std::sqrt(17.0f);  // correctly rounded
  const float by_float_length = 1.0f / float_length;
  const float by_double_length = float(1.0 / std::sqrt(17.0));
  ASSERT_NE(by_float_length, by_double_length);

  vector3f n = NormalizeVector(Dir(1, 0, 4));
  EXPECT_EQ(by_float_length, n.direction.x);
  EXPECT_EQ(4.0f / float_length, n.direction.z);
}

TEST(VecMath, ReverseVectorFlipsEverySignBitAndKeepsOrigin) {
  vector3f r = ReverseVector(Ray({1, 2, 3}, {0, 1, -0.0f}));
  ExpectVertex(r.origin, {1, 2, 3});
  EXPECT_EQ(0.0f, r.direction.x);
  EXPECT_TRUE(std::signbit(r.direction.x));  // +0 becomes -0
  EXPECT_EQ(-1.0f, r.direction.y);
  EXPECT_EQ(0.0f, r.direction.z);
  EXPECT_FALSE(std::signbit(r.direction.z));  // -0 becomes +0
}

TEST(VecMath, VectorMultiplyIsTheCrossProductAtTheFirstOrigin) {
  vector3f a = Ray({5, 5, 5}, {1, 0, 0});
  vector3f b = Ray({-9, 8, 7}, {0, 1, 0});
  vector3f c = VectorMultiply(a, b);
  ExpectVertex(c.origin, {5, 5, 5});
  ExpectVertex(c.direction, {0, 0, 1});
  // The product is perpendicular to both operands, and swapping them reverses it.
  vector3f p = Dir(1, 2, 3);
  vector3f q = Dir(-4, 0.5f, 2);
  vector3f pq = VectorMultiply(p, q);
  vector3f qp = VectorMultiply(q, p);
  EXPECT_EQ(0.0f, ScalarMultiply(pq, p));
  EXPECT_EQ(0.0f, ScalarMultiply(pq, q));
  ExpectVertex(pq.direction, ReverseVector(qp).direction);
}

TEST(VecMath, ScalarMultiplyIgnoresOrigins) {
  EXPECT_EQ(32.0f, ScalarMultiply(Ray({100, 100, 100}, {1, 2, 3}), Ray({-7, 0, 1}, {4, 5, 6})));
}

TEST(VecMath, TriNormalePointsToTheCounterClockwiseSideWithTwiceTheArea) {
  struct Row {
    const char* name;
    CV_triangle triangle;
    vertex3f direction;
  };
  const Row rows[] = {
      {"unit, counter-clockwise from +z", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 0, 1}},
      {"unit, last corners swapped", {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {0, 0, -1}},
      {"doubled sides, area 2", {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {0, 0, 4}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    vector3f n = TriNormale(row.triangle);
    ExpectVertex(n.origin, row.triangle.a);
    ExpectVertex(n.direction, row.direction);
  }
  // Located at the first corner, not at the coordinate origin.
  vector3f shifted = TriNormale(CV_triangle{{1, 2, 3}, {2, 2, 3}, {1, 3, 3}});
  ExpectVertex(shifted.origin, {1, 2, 3});
  ExpectVertex(shifted.direction, {0, 0, 1});
}

TEST(VecMath, FermatReflection2IgnoresLengthsAndNormalSign) {
  const vertex3f at{7, 8, 9};
  const float half_sqrt2 = float(std::sqrt(0.5));
  vector3f reference = FermatReflection2(Dir(1, -1, 0), Dir(0, 1, 0), at);
  ExpectVertex(reference.origin, at);
  EXPECT_NEAR(half_sqrt2, reference.direction.x, 1e-7);
  EXPECT_NEAR(half_sqrt2, reference.direction.y, 1e-7);
  EXPECT_EQ(0.0f, reference.direction.z);

  struct Row {
    const char* name;
    vector3f incoming;
    vector3f normal;
  };
  const Row rows[] = {
      {"normal reversed and scaled by 5", Ray({1, 1, 1}, {1, -1, 0}), Dir(0, -5, 0)},
      {"incoming scaled by 2", Dir(2, -2, 0), Ray({3, 3, 3}, {0, 1, 0})},
      {"both scaled, normal reversed", Dir(0.5f, -0.5f, 0), Dir(0, -0.25f, 0)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    vector3f r = FermatReflection2(row.incoming, row.normal, at);
    ExpectVertex(r.origin, at);
    ExpectVertex(r.direction, reference.direction);
  }
}

TEST(VecMath, FermatReflection2MirrorsAboutTheNormal) {
  // Independent reference in double: i - 2 (i . n) n for the unit vectors.
  const vertex3f incomings[] = {{0.3f, -2, 0.7f}, {-1, -1, -1}, {5, 0.1f, -0.2f}};
  const vertex3f normals[] = {{0, 0, 3}, {0.2f, 1, -0.4f}, {-1, 2, 2}};
  for (vertex3f i : incomings) {
    for (vertex3f n : normals) {
      double il = std::sqrt(double(i.x) * i.x + double(i.y) * i.y + double(i.z) * i.z);
      double nl = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
      double ix = i.x / il, iy = i.y / il, iz = i.z / il;
      double nx = n.x / nl, ny = n.y / nl, nz = n.z / nl;
      double c = ix * nx + iy * ny + iz * nz;
      vector3f r = FermatReflection2(Dir(i.x, i.y, i.z), Dir(n.x, n.y, n.z), {0, 0, 0});
      EXPECT_NEAR(ix - 2 * c * nx, r.direction.x, 1e-6);
      EXPECT_NEAR(iy - 2 * c * ny, r.direction.y, 1e-6);
      EXPECT_NEAR(iz - 2 * c * nz, r.direction.z, 1e-6);
    }
  }
}

TEST(VecMath, QuaternionIdentitiesHold) {
  ExpectQuatEq({1, 0, 0, 0}, QuaternionRotate(0, Ray({4, 4, 4}, {3, -7, 0.5f})));

  const quat3f one{1, 0, 0, 0};
  const quat3f q{0.5f, -1.5f, 2.25f, 3};
  ExpectQuatEq(q, QuaternionMultiply(one, q));
  ExpectQuatEq(q, QuaternionMultiply(q, one));
  ExpectQuatEq({1, -2, -3, -4}, OpositeQuat({1, 2, 3, 4}));
}

TEST(VecMath, QuaternionMultiplyFollowsHamiltonsRules) {
  const quat3f i{0, 1, 0, 0}, j{0, 0, 1, 0}, k{0, 0, 0, 1};
  const quat3f minus_one{-1, 0, 0, 0};
  ExpectQuatEq(minus_one, QuaternionMultiply(i, i));
  ExpectQuatEq(minus_one, QuaternionMultiply(j, j));
  ExpectQuatEq(minus_one, QuaternionMultiply(k, k));
  ExpectQuatEq(k, QuaternionMultiply(i, j));
  ExpectQuatEq(i, QuaternionMultiply(j, k));
  ExpectQuatEq(j, QuaternionMultiply(k, i));
  ExpectQuatEq(OpositeQuat(k), QuaternionMultiply(j, i));
  // q times its conjugate is its squared norm.
  const quat3f q{1, 2, 3, 4};
  ExpectQuatEq({30, 0, 0, 0}, QuaternionMultiply(q, OpositeQuat(q)));
}

TEST(VecMath, QuarterTurnAboutZTurnsXIntoY) {
  const float quarter = float(kPi / 2);
  quat3f q = QuaternionRotate(quarter, BaseAxis(3));
  quat3f r = QuaternionMultiply(QuaternionMultiply(q, quat3f{0, 1, 0, 0}), OpositeQuat(q));
  EXPECT_NEAR(0.0, r.x, 1e-6);
  EXPECT_NEAR(1.0, r.y, 1e-6);
  EXPECT_NEAR(0.0, r.z, 1e-6);
  vertex3f v = RotateByQuaternion(q, {1, 0, 0});
  ExpectVertex(v, {r.x, r.y, r.z});
  // Right-handed: y turns into -x.
  vertex3f y = RotateByQuaternion(q, {0, 1, 0});
  EXPECT_NEAR(-1.0, y.x, 1e-6);
  EXPECT_NEAR(0.0, y.y, 1e-6);
}

TEST(VecMath, QuaternionRotateRoundsDoubleSineTimesAxisOnce) {
  // For this angle and axis component the double product rounded once
  // differs from the float sine times the float component.
  const float angle = 0.08f;
  const float axis_x = 0.3f;
  const float h = angle * 0.5f;
  const float rounded_once = float(std::sin(double(h)) * double(axis_x));
  const float rounded_twice = float(std::sin(double(h))) * axis_x;
  ASSERT_NE(rounded_once, rounded_twice);

  quat3f q = QuaternionRotate(angle, Dir(axis_x, 0, 0));
  EXPECT_EQ(rounded_once, q.x);
  EXPECT_EQ(float(std::cos(double(h))), q.w);
}

TEST(VecMath, QuaternionRotateUsesTheAxisUnnormalised) {
  quat3f unit = QuaternionRotate(1.0f, Dir(0, 1, 0));
  quat3f long_axis = QuaternionRotate(1.0f, Dir(0, 2, 0));
  EXPECT_EQ(unit.w, long_axis.w);
  EXPECT_EQ(2 * unit.y, long_axis.y);
}

TEST(VecMath, MiddleVertexIsTheMidpoint) {
  ExpectVertex(MiddleVertex({0, 0, 0}, {2, 4, 6}), {1, 2, 3});
  ExpectVertex(MiddleVertex({-3, 1, -2}, {1, 0, 2}), {-1, 0.5f, 0});
}

TEST(VecMath, VertexDistanceIsTheLengthOfTheJoiningVector) {
  EXPECT_EQ(5.0f, VertexDistance({1, 2, 3}, {4, 6, 3}));
  vector3f joined = VectorizeVertices({1, 2, 3}, {4, 6, 3});
  ExpectVertex(joined.origin, {1, 2, 3});
  ExpectVertex(joined.direction, {3, 4, 0});
  const vertex3f a{0.1f, -2.7f, 3.3f}, b{-1.9f, 0.4f, 8.1f};
  vector3f ab = VectorizeVertices(a, b);
  EXPECT_EQ(float(std::sqrt(double(ScalarMultiply(ab, ab)))), VertexDistance(a, b));
}

TEST(VecMath, ScaleVectorScalesDirectionOnly) {
  vector3f s = ScaleVector(-2, Ray({1, 1, 1}, {1, 0.5f, -3}));
  ExpectVertex(s.origin, {1, 1, 1});
  ExpectVertex(s.direction, {-2, -1, 6});
}

TEST(VecMath, DoubleVectorsWidenExactlyAndWorkInDouble) {
  const double3 p = ToDouble3({0.1f, -2.5f, 3});
  EXPECT_EQ(double(0.1f), p.x);  // the float's value, not 0.1
  EXPECT_EQ(-2.5, Component(p, 1));
  EXPECT_EQ(3.0, Component(p, 2));
  const double3 x{1, 0, 0}, y{0, 1, 0};
  const double3 z = Cross(x, y);
  EXPECT_EQ(1.0, z.z);
  EXPECT_EQ(-1.0, Cross(y, x).z);
  EXPECT_EQ(0.0, Dot(x, y));
  EXPECT_EQ(5.0, Length(Sub(double3{4, 6, 3}, double3{1, 2, 3})));
  // A true quotient: 5 / 3 differs from 5 * (1 / 3) in the last bit.
  ASSERT_NE(5.0 / 3.0, 5.0 * (1.0 / 3.0));
  EXPECT_EQ(5.0 / 3.0, Divide(double3{5, 0, 0}, 3).x);
  const double3 sum = Add(x, Scale(2, y));
  EXPECT_EQ(1.0, sum.x);
  EXPECT_EQ(2.0, sum.y);
}

}  // namespace
