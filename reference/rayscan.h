// The ray-scene query as a plain scan of every box and triangle: the
// reference the hierarchy is checked and measured against. Only tests and
// benchmarks link it.
#pragma once

#include "core/vecmath.h"
#include "scene/scene.h"

// The outputs of IntersectionRayScene, found without any hierarchy.
int IntersectionRaySceneReference(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);
