// The scene's construction: its records built from the reader's data or
// read from a scene file, and released.
#pragma once

#include <string>

#include "core/vecmath.h"
#include "scene/records.h"
#include "scene/vrmlreader.h"

// Writes the twelve triangles of the box from lo to hi into box, in slot order.
void BuildBoxTriangles(vertex3f lo, vertex3f hi, CV_triangle box[kBoxTriangleCount]);

// Builds scene from parser data (which it leaves untouched). Faces with an
// index outside the object's point list are skipped.
void BuildSceneFromParserData(const CV_parser_data& data, CV_scene& scene);

// Reads the named scene file and builds the scene from it; the reader's data
// is released. Returns 1, or 0 when the reader refused the file (too many
// objects): the scene is then empty.
int CreateScene(std::string filename, CV_scene& scene);

// Releases every array of scene and leaves it empty; the ray query's
// structures must have been released first (FreeRayQuery). The program keeps
// its scene to the end; tests and tools that build several scenes use this.
void FreeScene(CV_scene& scene);
