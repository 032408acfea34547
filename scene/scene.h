// The scene: objects with their triangles and bounding boxes, and the lights.
#pragma once

#include <cstdint>
#include <string>

#include "core/vecmath.h"
#include "scene/vrmlreader.h"

struct CV_acceleration;
struct CV_object_tree;

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
  // The query's hierarchy over the triangles, built by the scene's
  // construction; null (records built by hand) makes the query scan them.
  CV_acceleration* acceleration = nullptr;
};

// Passed by value; the copies share the arrays.
struct CV_scene {
  int32_t object_count;
  CV_object* objects;
  int32_t light_count;
  CV_light* lights;
  // The query's hierarchy over the objects, built by the scene's
  // construction; null (scenes built by hand) makes the query visit them all.
  CV_object_tree* object_tree = nullptr;
};

// Writes the twelve triangles of the box from lo to hi into box, in slot order.
void BuildBoxTriangles(vertex3f lo, vertex3f hi, CV_triangle box[kBoxTriangleCount]);

// Builds scene from parser data (which it leaves untouched). Faces with an
// index outside the object's point list are skipped.
void BuildSceneFromParserData(const CV_parser_data& data, CV_scene& scene);

// Reads the named scene file and builds the scene from it; the reader's data
// is released. Returns 1, or 0 when the reader refused the file (too many
// objects): the scene is then empty.
int CreateScene(std::string filename, CV_scene& scene);

// Releases every array of scene and leaves it empty. The program keeps its
// scene to the end; tests and tools that build several scenes use this.
void FreeScene(CV_scene& scene);
