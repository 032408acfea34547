// The ray query's structures over a scene: built once the scene's records
// are complete, released before the scene is.
#pragma once

#include "scene/records.h"

// Builds a hierarchy over each object's triangles and the tree over the
// objects, and hangs them on the scene's records, for the query to search
// through instead of scanning. Objects it cannot bound safely keep none.
// Large objects are built on up to `threads` threads; what is built is the
// same for any number.
void BuildRayQuery(CV_scene& scene, unsigned threads = 1);

// Releases what BuildRayQuery hung on the scene and clears the pointers; the
// records themselves stay. Safe on a scene without them.
void FreeRayQuery(CV_scene& scene);
