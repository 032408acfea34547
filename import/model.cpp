#include "import/model.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

vertex3f TurnedUp(vertex3f p, bool z_up) { return z_up ? vertex3f{p.x, p.z, -p.y} : p; }

bool IsFinitePoint(vertex3f p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

namespace {

// A channel that is not a positive number counts as dark.
float LightChannel(float c) { return std::isfinite(c) && c > 0.0f ? c : 0.0f; }

}  // namespace

color3f LightHue(color3f colour) {
  color3f c{LightChannel(colour.r), LightChannel(colour.g), LightChannel(colour.b)};
  float brightest = std::max({c.r, c.g, c.b});
  if (!(brightest > 0.0f)) return color3f{1.0f, 1.0f, 1.0f};
  return color3f{c.r / brightest, c.g / brightest, c.b / brightest};
}

long TriangleCount(const std::vector<CVImportMesh>& meshes) {
  long count = 0;
  for (const CVImportMesh& mesh : meshes) count += long(mesh.faces.size());
  return count;
}

std::vector<CVImportMesh> MergeMeshesByMaterial(const std::vector<CVImportMesh>& meshes) {
  std::vector<CVImportMesh> merged;
  std::map<std::tuple<float, float, float>, size_t> slot_of_material;
  for (const CVImportMesh& mesh : meshes) {
    auto key = std::make_tuple(mesh.material.diffuse, mesh.material.specular, mesh.material.exponent);
    auto found = slot_of_material.find(key);
    if (found == slot_of_material.end()) {
      found = slot_of_material.emplace(key, merged.size()).first;
      merged.push_back(CVImportMesh{mesh.name, mesh.material, {}, {}});
    }
    CVImportMesh& target = merged[found->second];
    int32_t base = int32_t(target.points.size());
    target.points.insert(target.points.end(), mesh.points.begin(), mesh.points.end());
    for (CV_face face : mesh.faces) {
      target.faces.push_back(CV_face{{face.index[0] + base, face.index[1] + base, face.index[2] + base}});
    }
  }
  return merged;
}
