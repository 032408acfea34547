#include "reference/rayscan.h"

#include "rayquery/rayscene.h"

int IntersectionRaySceneReference(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object) {
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

    float nearest = 0;
    vertex3f nearest_point{0, 0, 0};
    vector3f nearest_normal = ZeroVector();
    if (!ScanObject(ray, candidate, nearest, nearest_point, nearest_normal)) continue;

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
