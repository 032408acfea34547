// An imported model as plain records: meshes with their material numbers,
// points and triangles, and point lights. Every stage of the importer reads
// and writes these.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/vecmath.h"
#include "scene/vrmlreader.h"

// The three numbers of a scene file's material line.
struct CVImportMaterial {
  float diffuse;
  float specular;
  float exponent;
};

// One object of the scene file to be written.
struct CVImportMesh {
  std::string name;  // as the model names it; sanitised only when written
  CVImportMaterial material;
  std::vector<vertex3f> points;
  std::vector<CV_face> faces;  // every index lies in 0 .. points.size() - 1
};

struct CVImportModel {
  std::vector<CVImportMesh> meshes;
  std::vector<CV_light> lights;
  long lights_left_out = 0;           // lights of the model not kept, each named in a warning
  std::vector<std::string> warnings;  // whole lines, "corvane-import: ..."
};

// A reader run on one model: false, with error set to a whole message, when
// it cannot give the model.
using CVModelLoad = std::function<bool(CVImportModel& model, std::string& error)>;

// The model's z axis turned onto y when z_up is set: (x, y, z) becomes
// (x, z, -y), a rotation; otherwise p itself.
vertex3f TurnedUp(vertex3f p, bool z_up);

bool IsFinitePoint(vertex3f p);

// A light's colour as the scene gets it: Corvane reads but does not use colour
// and intensity, so only the hue is kept, its brightest channel 1 as VRML
// asks; white when no channel is a positive number.
color3f LightHue(color3f colour);

// Number of triangles over all meshes.
long TriangleCount(const std::vector<CVImportMesh>& meshes);

// Joins meshes with equal material numbers into one mesh each, in the order of
// their first appearance; the points and triangles keep their order.
std::vector<CVImportMesh> MergeMeshesByMaterial(const std::vector<CVImportMesh>& meshes);
