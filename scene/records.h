// The scene's records: objects with their triangles and box triangles, and
// the lights.
#pragma once

#include <cstdint>

#include "core/vecmath.h"

// What the ray query builds over an object's triangles and over a scene's
// objects; only rayquery/ knows their insides.
struct Acceleration;
struct ObjectTree;

struct color3f {
  float r;
  float g;
  float b;
};

struct CV_light {
  vertex3f location;
  color3f color;
  float intensity;
};

// The triangles of an object's bounding box: two per face.
constexpr int kBoxTriangleCount = 12;

struct CV_object {
  float specular;
  float diffuse;
  float exponent;
  int32_t triangle_count;
  CV_triangle* triangles;
  int32_t box_triangle_count;  // always kBoxTriangleCount
  CV_triangle* box_triangles;  // normals point out of the box; an object
                               // without triangles gets twelve degenerate
                               // triangles at the origin, which no ray hits
  // The query's hierarchy over the triangles, set by BuildRayQuery and
  // cleared by FreeRayQuery; null (records built by hand) makes the query
  // scan them.
  Acceleration* acceleration = nullptr;
};

// Passed by value; the copies share the arrays.
struct CV_scene {
  int32_t object_count;
  CV_object* objects;
  int32_t light_count;
  CV_light* lights;
  // The query's hierarchy over the objects, set by BuildRayQuery and
  // cleared by FreeRayQuery; null (scenes built by hand) makes the query
  // visit them all.
  ObjectTree* object_tree = nullptr;
};
