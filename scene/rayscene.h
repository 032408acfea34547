// The first front face a ray meets in the scene.
#pragma once

#include "core/vecmath.h"
#include "scene/scene.h"

// Returns 1 and writes the hit point, the normal (TriNormale of the triangle
// hit: origin at its first corner, direction unnormalised) and the object
// index when the ray meets a front face more than 0.0001 ahead of its origin;
// returns 0 and leaves the outputs untouched otherwise. Objects whose box the
// ray does not meet (front or back, ahead) are not looked at.
// Objects with a hierarchy (see scene/bvh.h) are searched through it, the
// others triangle by triangle; the outputs are the same bits as those of
// IntersectionRaySceneReference.
int IntersectionRayScene(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);

// A query with the arguments and outputs of IntersectionRayScene. The stages
// that trace rays take one, so that a whole run can be made with another.
using RayQuery = int (*)(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);

// The same query as a plain scan of every box and triangle: the reference the
// hierarchy is checked and measured against.
int IntersectionRaySceneReference(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);
