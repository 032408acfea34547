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
// others triangle by triangle; the outputs are the same bits as those of a
// plain scan of every box and triangle.
int IntersectionRayScene(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);

// A query with the arguments and outputs of IntersectionRayScene. The stages
// that trace rays take one, so that a whole run can be made with another.
using RayQuery = int (*)(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);

// The ray meets one of the object's box triangles ahead of its origin, from
// outside (front) or from inside (back).
bool RayMeetsBox(vector3f ray, const CV_object& object);

// The nearest front face of one object by a plain scan of its triangles:
// nearest t, ties to the earlier triangle. False when it has none.
bool ScanObject(vector3f ray, const CV_object& candidate, float& nearest, vertex3f& nearest_point,
                vector3f& nearest_normal);
