// The quick test of a box face against the plain ray-triangle test.
#include "rayquery/facecertificate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/raytriangle.h"
#include "scene/scene.h"
#include "tests/support.h"

namespace {

float Uniform(std::mt19937& engine, float lo, float hi) {
  return std::uniform_real_distribution<float>(lo, hi)(engine);
}

vertex3f Direction(std::mt19937& engine) {
  for (;;) {
    vertex3f v{Uniform(engine, -1, 1), Uniform(engine, -1, 1), Uniform(engine, -1, 1)};
    float s = v.x * v.x + v.y * v.y + v.z * v.z;
    if (s > 1e-4f && s <= 1) return v;
  }
}

vertex3f Between(vertex3f a, vertex3f b, float s) {
  return vertex3f{a.x + (b.x - a.x) * s, a.y + (b.y - a.y) * s, a.z + (b.z - a.z) * s};
}

// A ray of one of the kinds that probe a box: from inside, from a point on a
// face, aimed from outside at an edge or a face diagonal (pushed off it by
// 1e-7 to 1e-2), and along an axis.
vector3f ProbeRay(const CV_triangle box[kBoxTriangleCount], vertex3f lo, vertex3f hi, std::mt19937& engine) {
  int kind = int(engine() % 4);
  const CV_triangle& face = box[engine() % kBoxTriangleCount];
  vertex3f inside{Uniform(engine, lo.x, hi.x), Uniform(engine, lo.y, hi.y), Uniform(engine, lo.z, hi.z)};
  if (kind == 0) return vector3f{inside, Direction(engine)};
  vertex3f on_face = Between(Between(face.a, face.b, Uniform(engine, 0, 1)), face.c, Uniform(engine, 0, 1));
  if (kind == 1) return vector3f{on_face, Direction(engine)};
  if (kind == 2) {
    vertex3f target = Between(engine() % 2 ? face.a : face.c, face.b, engine() % 4 ? Uniform(engine, 0, 1) : 0.0f);
    vertex3f push = Direction(engine);
    float reach = std::pow(10.0f, Uniform(engine, -7, -2));
    target = vertex3f{target.x + push.x * reach, target.y + push.y * reach, target.z + push.z * reach};
    float span = hi.x - lo.x + hi.y - lo.y;
    vertex3f d = Direction(engine);
    vertex3f from{target.x - d.x * span, target.y - d.y * span, target.z - d.z * span};
    return VectorizeVertices(from, target);
  }
  vertex3f d{0, 0, 0};
  float sign = engine() % 2 ? 1.0f : -1.0f;
  int axis = int(engine() % 3);
  if (axis == 0) d.x = sign;
  if (axis == 1) d.y = sign;
  if (axis == 2) d.z = sign;
  return vector3f{engine() % 2 ? inside : on_face, d};
}

// Boxes from a thousandth to a hundred times their distance from the origin,
// near and far from it; rays of every probing kind. The quick test may say
// nothing, but when it says a face is hit the plain test gives result 1 or 2,
// and a face's two triangles tried together say what each says alone;
// the split triangle, whose edges are judged the quick way where that
// decides, gives the plain test's answer with its bits.
TEST(FaceCertificate, DecidesBoxFacesAsThePlainTestDoes) {
  std::mt19937 engine(21);
  int plain_hits = 0;
  int sure = 0;
  for (int b = 0; b < 400; ++b) {
    float reach = std::pow(10.0f, Uniform(engine, -1, 5));
    vertex3f lo{Uniform(engine, -reach, reach), Uniform(engine, -reach, reach), Uniform(engine, -reach, reach)};
    float size = reach * std::pow(10.0f, Uniform(engine, -3, 2));
    vertex3f hi{lo.x + size * Uniform(engine, 0.1f, 1), lo.y + size * Uniform(engine, 0.1f, 1),
                lo.z + size * Uniform(engine, 0.1f, 1)};
    CV_triangle box[kBoxTriangleCount];
    BuildBoxTriangles(lo, hi, box);
    CachedTriangle cached[kBoxTriangleCount];
    FaceCertificate faces[kBoxTriangleCount];
    CachedPlane planes[kBoxTriangleCount];
    CachedEdges edges[kBoxTriangleCount];
    for (int s = 0; s < kBoxTriangleCount; ++s) {
      cached[s] = CacheTriangle(box[s]);
      faces[s] = CertifyFace(cached[s]);
      ASSERT_GE(faces[s].axis, 0) << "box " << b << " triangle " << s;
      SplitCachedTriangle(cached[s], s, planes[s], edges[s]);
      ASSERT_EQ(edges[s].face_axis, faces[s].axis);
    }
    // Each face's two triangles share their plane stage.
    FacePair pairs[kBoxTriangleCount / 2];
    for (int f = 0; f < kBoxTriangleCount / 2; ++f) {
      pairs[f] = PairFaces(faces[2 * f], faces[2 * f + 1]);
      ASSERT_TRUE(pairs[f].one_plane) << "box " << b << " face " << f;
    }
    for (int n = 0; n < 500; ++n) {
      vector3f ray = ProbeRay(box, lo, hi, engine);
      CachedRay r = CacheRay(ray);
      bool vouched_by[kBoxTriangleCount];
      for (int s = 0; s < kBoxTriangleCount; ++s) {
        float t = 0;
        vertex3f X{0, 0, 0};
        int result = IntersectionRayTriangle(ray, box[s], t, X);
        bool accepted = result == kRayFrontAhead || result == kRayBackAhead;
        bool vouched = SurelyHitsFace(r, faces[s]);
        ASSERT_TRUE(accepted || !vouched) << "box " << b << " ray " << n << " triangle " << s;
        // Kept in two parts, the face's edges are judged the quick way.
        float t_split = 0;
        vertex3f X_split{0, 0, 0};
        ASSERT_EQ(CachedHit(r, planes[s], edges[s], kEitherAhead, INFINITY, true, t_split, X_split), accepted)
            << "box " << b << " ray " << n << " triangle " << s;
        if (accepted) {
          ASSERT_TRUE(t_split == t && SameBits(X_split, X)) << "box " << b << " ray " << n;
        }
        plain_hits += accepted;
        sure += vouched;
        vouched_by[s] = vouched;
      }
      // Tried at one plane point, a face's pair vouches as its triangles do.
      for (int f = 0; f < kBoxTriangleCount / 2; ++f) {
        ASSERT_EQ(SurelyHitsFacePair(r, pairs[f]), vouched_by[2 * f] || vouched_by[2 * f + 1])
            << "box " << b << " ray " << n << " face " << f;
      }
    }
  }
  // On small boxes the band of the plain test accepts points well off the
  // faces, which the quick test leaves to it; on the others it vouches for
  // nearly every hit away from an edge.
  EXPECT_GT(sure, plain_hits / 3);
}

TEST(FaceCertificate, LeavesTrianglesOffTheAxesUncertified) {
  EXPECT_LT(CertifyFace(CacheTriangle(CV_triangle{{0, 0, 0}, {1, 0, 0.5f}, {0, 1, 0}})).axis, 0);
  EXPECT_LT(CertifyFace(CacheTriangle(CV_triangle{{0, 0, 0}, {1, 1, 0}, {2, 2, 0}})).axis, 0);
  EXPECT_LT(CertifyFace(CacheTriangle(CV_triangle{{0, 0, 0}, {INFINITY, 0, 0}, {0, 1, 0}})).axis, 0);
  EXPECT_EQ(CertifyFace(CacheTriangle(CV_triangle{{0, 0, 2}, {1, 0, 2}, {0, 1, 2}})).axis, 2);
}

}  // namespace
