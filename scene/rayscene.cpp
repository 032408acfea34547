#include "scene/rayscene.h"

#include <limits>

#include "core/raytriangle.h"
#include "scene/bvh.h"

namespace {

// Marks that no triangle of the object has been accepted yet. An accepted
// parameter is always above 0.0001, so it never equals the marker.
constexpr float kNoneAccepted = -1.0f;

// The object's hierarchy, when it was built from the triangles the object holds now.
const CV_acceleration* UsableAcceleration(const CV_object& object) {
  const CV_acceleration* a = object.acceleration;
  if (a == nullptr || a->source != object.triangles || a->source_count != object.triangle_count) return nullptr;
  if (object.box_triangle_count != kBoxTriangleCount) return nullptr;
  return a;
}

}  // namespace

bool RayMeetsBox(vector3f ray, const CV_object& object) {
  for (int32_t k = 0; k < object.box_triangle_count; ++k) {
    float t = 0;
    vertex3f point{0, 0, 0};
    int result = IntersectionRayTriangle(ray, object.box_triangles[k], t, point);
    if (result == kRayFrontAhead || result == kRayBackAhead) return true;
  }
  return false;
}

bool ScanObject(vector3f ray, const CV_object& candidate, float& nearest, vertex3f& nearest_point,
                vector3f& nearest_normal) {
  nearest = kNoneAccepted;
  for (int32_t k = 0; k < candidate.triangle_count; ++k) {
    const CV_triangle& triangle = candidate.triangles[k];
    float t = 0;
    vertex3f point{0, 0, 0};
    // Surfaces are one-sided: only a front face ahead of the origin counts.
    if (IntersectionRayTriangle(ray, triangle, t, point) != kRayFrontAhead) continue;
    if (nearest == kNoneAccepted || t < nearest) {
      nearest = t;
      nearest_point = point;
      nearest_normal = TriNormale(triangle);
    }
  }
  return nearest != kNoneAccepted;
}

int IntersectionRayScene(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object) {
  CV_bvh_ray prepared = PrepareBvhRay(ray);

  // The winner is the least (t, object, triangle): the order of objects, then
  // "earlier triangle wins a tie" within an object.
  float best_t = std::numeric_limits<float>::infinity();
  int best_object = -1;
  int best_triangle = -1;
  vertex3f best_point{0, 0, 0};
  vector3f best_normal = ZeroVector();

  for (int32_t i = 0; i < scene.object_count; ++i) {
    const CV_object& candidate = scene.objects[i];
    // A ray the hierarchies cannot take is answered by scanning every object.
    const CV_acceleration* a = prepared.usable ? UsableAcceleration(candidate) : nullptr;
    if (a != nullptr && !BvhAnswersRay(*a, prepared)) a = nullptr;
    if (a == nullptr) {
      if (!RayMeetsBox(ray, candidate)) continue;
      float nearest = 0;
      vertex3f point{0, 0, 0};
      vector3f triangle_normal = ZeroVector();
      if (!ScanObject(ray, candidate, nearest, point, triangle_normal)) continue;
      if (best_object == -1 || nearest < best_t) {
        best_t = nearest;
        best_object = i;
        best_triangle = -1;
        best_point = point;
        best_normal = triangle_normal;
      }
      continue;
    }
    if (BvhObjectFrontHit(*a, prepared, i, best_t, best_object, best_triangle, best_point)) {
      best_normal = TriNormale(candidate.triangles[best_triangle]);
    }
  }

  if (best_object == -1) return 0;
  hit = best_point;
  normal = best_normal;
  object = best_object;
  return 1;
}
