// Random shapes that probe the ray query where rounding matters: slivers,
// tiny triangles, bumpy grids, soups, closed boxes, and points on and at the
// edges of triangles.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/vecmath.h"
#include "scene/scene.h"
#include "tests/mesh_scene.h"

// The shapes' own generator: std::mt19937 with the standard distributions.
class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}
  float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(engine_); }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(engine_); }
  vertex3f Point(float lo, float hi) {
    float x = Uniform(lo, hi);
    float y = Uniform(lo, hi);
    float z = Uniform(lo, hi);
    return vertex3f{x, y, z};
  }
  vertex3f Direction() {
    for (;;) {
      vertex3f v = Point(-1, 1);
      float s = v.x * v.x + v.y * v.y + v.z * v.z;
      if (s > 1e-4f && s <= 1) return v;
    }
  }

 private:
  std::mt19937 engine_;
};

// A point of the triangle at barycentric weights formed in float, as a hit point would be.
inline vertex3f PointOn(CV_triangle t, Random& random) {
  float u = random.Uniform(0, 1);
  float v = random.Uniform(0, 1 - u);
  float w = 1 - u - v;
  return vertex3f{t.a.x * w + t.b.x * u + t.c.x * v, t.a.y * w + t.b.y * u + t.c.y * v,
                  t.a.z * w + t.b.z * u + t.c.z * v};
}

// A point on one of the triangle's edges or at a corner.
inline vertex3f PointOnEdge(CV_triangle t, Random& random) {
  const vertex3f P[3] = {t.a, t.b, t.c};
  int e = random.Below(3);
  float s = random.Below(4) == 0 ? float(random.Below(2)) : random.Uniform(0, 1);
  vertex3f A = P[e];
  vertex3f B = P[(e + 1) % 3];
  return vertex3f{A.x + (B.x - A.x) * s, A.y + (B.y - A.y) * s, A.z + (B.z - A.z) * s};
}

inline Mesh ClosedBox(vertex3f lo, vertex3f hi, bool inward) {
  CV_triangle box[12];
  BuildBoxTriangles(lo, hi, box);
  Mesh mesh;
  for (const CV_triangle& t : box) mesh.push_back(inward ? CV_triangle{t.a, t.c, t.b} : t);
  return mesh;
}

// A bumpy grid of quads sharing their edges, as two triangles each.
inline Mesh Grid(vertex3f origin, float cell, int n, float bump, Random& random) {
  std::vector<vertex3f> points;
  for (int i = 0; i <= n; ++i) {
    for (int j = 0; j <= n; ++j) {
      float h = bump == 0 ? 0 : random.Uniform(-bump, bump);
      points.push_back(vertex3f{origin.x + cell * float(i), origin.y + cell * float(j), origin.z + h});
    }
  }
  Mesh mesh;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      vertex3f p00 = points[size_t(i * (n + 1) + j)];
      vertex3f p10 = points[size_t((i + 1) * (n + 1) + j)];
      vertex3f p01 = points[size_t(i * (n + 1) + j + 1)];
      vertex3f p11 = points[size_t((i + 1) * (n + 1) + j + 1)];
      mesh.push_back(CV_triangle{p00, p10, p11});
      mesh.push_back(CV_triangle{p00, p11, p01});
    }
  }
  return mesh;
}

// Slivers: a fan of needles around a point, each a few thousandths wide.
inline Mesh Slivers(vertex3f centre, int n, Random& random) {
  Mesh mesh;
  for (int k = 0; k < n; ++k) {
    vertex3f d = random.Direction();
    vertex3f side = random.Direction();
    float width = random.Uniform(1e-5f, 3e-3f);
    vertex3f b{centre.x + d.x, centre.y + d.y, centre.z + d.z};
    vertex3f c{b.x + side.x * width, b.y + side.y * width, b.z + side.z * width};
    mesh.push_back(random.Below(2) ? CV_triangle{centre, b, c} : CV_triangle{centre, c, b});
  }
  return mesh;
}

// Tiny triangles (edges 1e-5 to 1e-3) in a cloud, with some exact duplicates
// and some degenerate ones.
inline Mesh Tiny(vertex3f centre, int n, Random& random) {
  Mesh mesh;
  for (int k = 0; k < n; ++k) {
    vertex3f a = random.Point(-0.3f, 0.3f);
    a = vertex3f{centre.x + a.x, centre.y + a.y, centre.z + a.z};
    float size = std::pow(10.0f, random.Uniform(-5, -3));
    vertex3f u = random.Direction();
    vertex3f v = random.Direction();
    CV_triangle t{a,
                  {a.x + u.x * size, a.y + u.y * size, a.z + u.z * size},
                  {a.x + v.x * size, a.y + v.y * size, a.z + v.z * size}};
    mesh.push_back(t);
    if (k % 7 == 0) mesh.push_back(t);
    if (k % 11 == 0) mesh.push_back(CV_triangle{a, a, t.b});
  }
  return mesh;
}

inline Mesh Soup(float lo, float hi, int n, Random& random) {
  Mesh mesh;
  for (int k = 0; k < n; ++k) {
    vertex3f a = random.Point(lo, hi);
    vertex3f d1 = random.Direction();
    vertex3f d2 = random.Direction();
    mesh.push_back(CV_triangle{a, {a.x + d1.x, a.y + d1.y, a.z + d1.z}, {a.x + d2.x, a.y + d2.y, a.z + d2.z}});
  }
  return mesh;
}
