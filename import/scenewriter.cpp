#include "import/scenewriter.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

const std::vector<std::string>& ReaderKeywords() {
  // Built on first use, when the reader's constants are certainly initialised.
  static const std::vector<std::string> keywords = {
      P_OBJECT, P_OBJECT_TRANSLATION, P_OBJECT_ROTATION, P_OBJECT_MATERIAL, P_OBJECT_POINT, P_OBJECT_COORDINDEX,
      P_LIGHT,  P_LIGHT_LOCATION,     P_LIGHT_COLOR,     P_LIGHT_INTENSITY};
  return keywords;
}

std::string SceneNumber(float value) {
  // Nine significant digits always give the float back; fewer often do and
  // read better ("0.6" rather than "0.600000024").
  char text[32];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, double(value));
    if (float(std::atof(text)) == value) break;
  }
  return text;
}

std::string DefName(size_t position, const std::string& name) {
  std::string clean;
  for (char c : name) clean += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  // Taking a keyword out can join two halves of another one: repeat until none is left.
  bool changed = true;
  while (changed) {
    changed = false;
    for (const std::string& keyword : ReaderKeywords()) {
      size_t at = clean.find(keyword);
      if (at != std::string::npos) {
        clean.erase(at, keyword.size());
        changed = true;
      }
    }
  }
  if (clean.size() > 40) clean.resize(40);
  std::string def = "Mesh" + std::to_string(position);
  if (!clean.empty()) def += "_" + clean;
  return def;
}

namespace {

std::string Triple(vertex3f p) { return SceneNumber(p.x) + " " + SceneNumber(p.y) + " " + SceneNumber(p.z); }

void WriteLight(std::ostringstream& out, const CV_light& light) {
  // The reader takes the three lines right after the PointLight line, in this order.
  out << "PointLight {\n";
  out << "  location " << Triple(light.location) << "\n";
  out << "  color " << SceneNumber(light.color.r) << " " << SceneNumber(light.color.g) << " "
      << SceneNumber(light.color.b) << "\n";
  out << "  intensity " << SceneNumber(light.intensity) << "\n";
  out << "}\n\n";
}

void WriteMesh(std::ostringstream& out, size_t position, const CVImportMesh& mesh) {
  // No separator after the last number of a keyword line: the reader would
  // take it as closing an extra value and lose the third one.
  out << "DEF " << DefName(position, mesh.name) << " Transform {\n";
  out << "  translation 0 0 0\n";
  out << "  rotation 0 1 0 0\n";
  out << "  children [\n";
  out << "    Shape {\n";
  out << "      appearance Appearance {\n";
  out << "        material Material {\n";
  out << "          diffuseColor " << SceneNumber(mesh.material.diffuse) << " " << SceneNumber(mesh.material.specular)
      << " " << SceneNumber(mesh.material.exponent) << "\n";
  out << "        }\n";
  out << "      }\n";
  out << "      geometry IndexedFaceSet {\n";
  out << "        coord Coordinate {\n";
  out << "          point [\n";
  for (vertex3f p : mesh.points) out << "            " << Triple(p) << ",\n";
  out << "          ]\n";
  out << "        }\n";
  out << "        coordIndex [\n";
  for (CV_face face : mesh.faces) {
    out << "          " << face.index[0] << ", " << face.index[1] << ", " << face.index[2] << ", -1,\n";
  }
  out << "        ]\n";
  out << "      }\n";
  out << "    }\n";
  out << "  ]\n";
  out << "}\n\n";
}

}  // namespace

std::string SceneText(const std::vector<CVImportMesh>& meshes, const std::vector<CV_light>& lights, double scale) {
  std::ostringstream out;
  out << P_IFF << "\n\n";
  char factor[32];
  std::snprintf(factor, sizeof factor, "%.9g", scale);
  out << "# Written by corvane-import. One model unit is " << factor << " scene units.\n\n";
  for (const CV_light& light : lights) WriteLight(out, light);
  for (size_t i = 0; i < meshes.size(); ++i) WriteMesh(out, i, meshes[i]);
  return out.str();
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (file) file << text;
  if (file) file.close();
  if (!file) {
    error = "corvane-import: cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}
