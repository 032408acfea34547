#include "rayquery/rayquery.h"

#include "rayquery/bvhbuild.h"
#include "rayquery/objecttree.h"

void BuildRayQuery(CV_scene& scene, unsigned threads) {
  for (int32_t i = 0; i < scene.object_count && scene.objects != nullptr; ++i) {
    CV_object& object = scene.objects[i];
    object.acceleration = nullptr;
    if (object.box_triangles != nullptr) {
      object.acceleration = BuildAcceleration(object.triangles, object.triangle_count, object.box_triangles, threads);
    }
  }
  // The tree boxes each object by its hierarchy: those come first.
  scene.object_tree = BuildObjectTree(scene);
}

void FreeRayQuery(CV_scene& scene) {
  for (int32_t i = 0; i < scene.object_count && scene.objects != nullptr; ++i) {
    FreeAcceleration(scene.objects[i].acceleration);
    scene.objects[i].acceleration = nullptr;
  }
  FreeObjectTree(scene.object_tree);
  scene.object_tree = nullptr;
}
