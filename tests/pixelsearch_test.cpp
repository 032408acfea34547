// The projection finds the descent's pixel on lines placed where rounding
// decides.
#include "sensor/pixelsearch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "reference/sensordescent.h"

namespace {

struct Quad {
  const char* name;
  vertex3f eye, ul, ur, dl, dr;
  bool proves;  // the margins can work on it
};

// Planar ones on an exact grid (square, the room example's, a tiny one where
// the edge band spans whole pixels), planar ones whose midpoints round (a
// tilted rectangle, a trapezoid), a twisted one, and one whose corners lie
// far from the origin.
const Quad kQuads[] = {
    {"square", {0, 0, 100}, {-100, 100, 0}, {100, 100, 0}, {-100, -100, 0}, {100, -100, 0}, true},
    {"room", {0, 100, 700}, {110, 210, 110}, {110, -10, 110}, {-110, 210, 110}, {-110, -10, 110}, true},
    {"tiny", {0, 0, 100}, {-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}, {1, -1, 0}, true},
    {"tilted",
     {84.41f, 16.70f, 149.94f},
     {-57.18f, 82.44f, 45.72f},
     {103.02f, 103.04f, -15.68f},
     {-42.42f, -61.64f, 35.88f},
     {117.78f, -41.04f, -25.52f},
     true},
    {"trapezoid", {0, 0, 50}, {-40.25f, 30.5f, 0}, {40.25f, 30.5f, 0}, {-90.75f, -60.5f, 0}, {90.75f, -60.5f, 0}, true},
    {"twisted", {3, -2, 90}, {-80, 120, 7}, {110, 90, -5}, {-95, -70, 2}, {70, -110, 12}, true},
    {"far", {5000, 5000, 5100}, {4900, 5100, 5000}, {5100, 5100, 5000}, {4900, 4900, 5000}, {5100, 4900, 5000}, true},
};

vertex3f Lerp(vertex3f a, vertex3f b, double t) {
  return ToVertex3f(Add(ToDouble3(a), Scale(t, Sub(ToDouble3(b), ToDouble3(a)))));
}

// The bilinear point at parameters (x, y) of the quadrilateral.
vertex3f PointAt(const Quad& q, double x, double y) { return Lerp(Lerp(q.ul, q.ur, x), Lerp(q.dl, q.dr, x), y); }

// The line from a sample beyond `point` (seen from the eye) to the eye; the
// sample lies `depth` times as far from the eye as the point.
vector3f LineThrough(vertex3f eye, vertex3f point, double depth) {
  return VectorizeVertices(Lerp(eye, point, depth), eye);
}

// Lines through the grid lines and diagonals of every level, and beside them
// at distances from a millionth of a pixel to a few pixels, from samples
// near and far; lines through random points over and around the sensor;
// lines that meet its back or start between it and the eye.
std::vector<vector3f> Lines(const Quad& q, std::mt19937& random) {
  std::vector<vector3f> lines;
  std::uniform_real_distribution<double> unit(0, 1), around(-0.05, 1.05), depth(1.05, 6);
  const double offsets[] = {0,    1e-6,  -1e-6, 1e-4,  -1e-4, 3e-3,  -3e-3, 0.01, -0.01,
                            0.02, -0.02, 0.04,  -0.04, 0.08,  -0.08, 0.3,   -1.5};
  for (int level = 0; level <= kSensorLevel; ++level) {
    double cells = std::ldexp(1.0, level);
    for (int n = 0; n < (level >= 7 ? 600 : 60); ++n) {
      double along = unit(random);
      double line_at = std::floor(unit(random) * (cells + 1)) / cells;  // a row or column line of the level
      double corner_x = std::floor(unit(random) * cells) / cells, corner_y = std::floor(unit(random) * cells) / cells;
      double off = offsets[n % 17] / 1024;
      double d = depth(random);
      lines.push_back(LineThrough(q.eye, PointAt(q, along, line_at + off), d));
      lines.push_back(LineThrough(q.eye, PointAt(q, line_at + off, along), d));
      // On a cell's diagonal from dl to ur, and at its corners.
      double t = unit(random);
      lines.push_back(LineThrough(q.eye, PointAt(q, corner_x + t / cells + off, corner_y + (1 - t) / cells), d));
      lines.push_back(LineThrough(q.eye, PointAt(q, corner_x + off, corner_y - off), d));
    }
  }
  for (int n = 0; n < 3000; ++n) lines.push_back(LineThrough(q.eye, PointAt(q, around(random), around(random)), 2));
  vertex3f middle = PointAt(q, 0.5, 0.5);
  lines.push_back(VectorizeVertices(Lerp(q.eye, middle, 0.5), q.eye));  // starts between sensor and eye
  lines.push_back(VectorizeVertices(q.eye, middle));                    // meets the back
  lines.push_back(VectorizeVertices(middle, q.eye));                    // starts on the sensor
  return lines;
}

}  // namespace

TEST(PixelSearch, ProjectionFindsTheDescentsPixelOnEveryLine) {
  std::mt19937 random(11);
  for (const Quad& q : kQuads) {
    CVSensorProjection projection = PrepareSensorProjection(q.ul, q.ur, q.dl, q.dr);
    EXPECT_EQ(projection.proves, q.proves) << q.name;
    int found = 0;
    std::vector<vector3f> lines = Lines(q, random);
    for (size_t n = 0; n < lines.size(); ++n) {
      int descent = FindSensorPixelByDescent(lines[n], q.ul, q.ur, q.dl, q.dr);
      ASSERT_EQ(FindSensorPixelByProjection(lines[n], projection), descent) << q.name << " line " << n;
      found += descent >= 0 ? 1 : 0;
    }
    EXPECT_GT(found, int(lines.size()) / 2) << q.name;
  }
}
