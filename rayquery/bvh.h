// A bounding volume hierarchy over one object's triangles, whose node bounds
// hold every point the ray-triangle test can accept, and the object's nearest
// front-face hit found through it: the bounds, the build and the traversal,
// for the callers that use all three.
#pragma once

#include "rayquery/bvhbounds.h"
#include "rayquery/bvhbuild.h"
#include "rayquery/bvhtraversal.h"
