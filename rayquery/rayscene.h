// The first front face a ray meets in the scene.
#pragma once

#include "core/vecmath.h"
#include "scene/scene.h"

// Returns 1 and writes the hit point, the normal (TriNormale of the triangle
// hit: origin at its first corner, direction unnormalised) and the object
// index when the ray meets a front face more than 0.0001 ahead of its origin;
// returns 0 and leaves the outputs untouched otherwise. Objects none of whose
// box triangles the ray meets (front or back, ahead) are not looked at.
// Objects are visited nearest first through the scene's tree over objects
// (see rayquery/objecttree.h) when it was built and holds for the ray, all in
// index order otherwise. Objects with a hierarchy (see rayquery/bvh.h) are
// searched through it, the others triangle by triangle; the outputs are the
// same bits as those of a plain scan of every object's box triangles and
// triangles.
int IntersectionRayScene(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);

// IntersectionRayScene without the hierarchy over objects: every object is
// offered in index order. The query's own path for rays the object tree
// cannot take, and what the tree is measured against.
int IntersectionRaySceneEveryObject(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);

// A query with the arguments and outputs of IntersectionRayScene. The stages
// that trace rays take one, so that a whole run can be made with another.
using RayQuery = int (*)(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object);

// Whether query gives a hit on an object other than `object`. With
// IntersectionRayScene the same answer is found with `object` searched last,
// only when another object answers and only up to that answer: the
// visibility of a sample, which object 0 never hides, mostly needs no look
// at object 0 at all.
bool MeetsAnotherObjectFirst(vector3f ray, CV_scene scene, int32_t object, RayQuery query = IntersectionRayScene);

// The ray meets one of the object's box triangles ahead of its origin, from
// outside (front) or from inside (back).
bool RayMeetsBox(vector3f ray, const CV_object& object);

// The nearest front face of one object by a plain scan of its triangles:
// nearest t, ties to the earlier triangle. False when it has none.
bool ScanObject(vector3f ray, const CV_object& candidate, float& nearest, vertex3f& nearest_point,
                vector3f& nearest_normal);
