#include "scene/rayscene.h"

#include "core/raytriangle.h"

namespace {

// Marks that no triangle of the object has been accepted yet. An accepted
// parameter is always above 0.0001, so it never equals the marker.
constexpr float kNoneAccepted = -1.0f;

// The ray meets one of the object's box triangles ahead of its origin, from
// outside (front) or from inside (back).
bool RayMeetsBox(vector3f ray, const CV_object& object) {
  for (int32_t k = 0; k < object.box_triangle_count; ++k) {
    float t = 0;
    vertex3f point{0, 0, 0};
    int result = IntersectionRayTriangle(ray, object.box_triangles[k], t, point);
    if (result == kRayFrontAhead || result == kRayBackAhead) return true;
  }
  return false;
}

}  // namespace

int IntersectionRayScene(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object) {
  // Objects are visited in order and a later one is taken only when its
  // nearest parameter is strictly smaller: ties keep the lower index, exactly
  // as choosing among all candidates after the scan would.
  int taken = -1;
  float taken_t = 0;
  vertex3f taken_point{0, 0, 0};
  vector3f taken_normal = ZeroVector();

  for (int32_t i = 0; i < scene.object_count; ++i) {
    const CV_object& candidate = scene.objects[i];
    if (!RayMeetsBox(ray, candidate)) continue;

    float nearest = kNoneAccepted;
    vertex3f nearest_point{0, 0, 0};
    vector3f nearest_normal = ZeroVector();
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
    if (nearest == kNoneAccepted) continue;

    if (taken == -1 || nearest < taken_t) {
      taken = i;
      taken_t = nearest;
      taken_point = nearest_point;
      taken_normal = nearest_normal;
    }
  }

  if (taken == -1) return 0;
  hit = taken_point;
  normal = taken_normal;
  object = taken;
  return 1;
}
