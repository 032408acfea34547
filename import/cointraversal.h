// Turning a scene graph that Coin has read into an imported model.
#pragma once

#include <string>

#include "import/model.h"

class SoNode;

// Adds to model what the graph under root places. Every shape, as often as
// the graph places it (DEF/USE, nested groups and transforms), gives its
// triangles in world space with their material; polygons of any size and
// the primitive shapes come as Coin tessellates them. One mesh per placed
// shape and material, named after the nearest named node, with the model's z
// axis turned onto y when z_up is set. A shape whose corners run clockwise
// (ccw FALSE, or a clockwise ShapeHints) or whose transform mirrors has its
// corners swapped, so that each front stays where the model means it.
// Materials map as ReaderMaterial does, with Coin's shininess (0 to 1) times
// 128 as the exponent. Point lights that are on become lights at their placed
// positions. Warnings (one line each, naming file) for every light left out,
// shapes without triangles, shapes whose indices refer past their points
// (skipped: Coin would read beyond them) and triangles with a corner that is
// not a finite number (left out).
void AddSceneGraph(SoNode* root, bool z_up, const std::string& file, CVImportModel& model);
