// Reading a model file of any format Assimp knows into an imported model.
#pragma once

#include <string>

#include "import/model.h"

// Reads the model at path. Every mesh that a node of the model places becomes
// one mesh, triangulated, with the node's transform baked into its points
// (model units, the model's own axes; with z_up the model's z axis becomes y).
// Points no triangle uses, and triangles with a corner that is not finite, are
// left out; meshes without triangles (points, lines) are skipped. Point lights
// become lights at their placed positions. Returns false, with error set to a
// whole message, when Assimp cannot read the file or it holds no triangle.
bool LoadModel(const std::string& path, bool z_up, CVImportModel& model, std::string& error);

// The reader's material numbers for a model's material: kd and ks are the
// luminances of the diffuse and specular colours (the specular one times its
// strength), each within 0 and 1, scaled down together so that kd + ks (a
// float sum) is at most 1; n is the shininess. A material without a positive
// shininess has no highlight: its ks is 0 and its n 1.
CVImportMaterial ReaderMaterial(color3f diffuse, color3f specular, float shininess, float strength);
