#include "import/winding.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

bool IsClosedMesh(const CVImportMesh& mesh) {
  if (mesh.faces.empty()) return false;
  // Points that share a position are one corner: many formats repeat a point
  // where its normal or texture coordinate changes.
  std::map<std::tuple<float, float, float>, int> id_of_position;
  std::vector<int> id(mesh.points.size());
  for (size_t i = 0; i < mesh.points.size(); ++i) {
    vertex3f p = mesh.points[i];
    id[i] = id_of_position.emplace(std::make_tuple(p.x, p.y, p.z), int(id_of_position.size())).first->second;
  }
  std::map<std::pair<int, int>, int> uses_of_edge;
  for (CV_face face : mesh.faces) {
    for (int k = 0; k < 3; ++k) {
      int a = id[face.index[k]];
      int b = id[face.index[(k + 1) % 3]];
      ++uses_of_edge[std::minmax(a, b)];
    }
  }
  for (const auto& edge : uses_of_edge) {
    if (edge.second != 2) return false;
  }
  return true;
}

double SignedVolume(const CVImportMesh& mesh) {
  if (mesh.points.empty()) return 0.0;
  // Measured from a point of the mesh, so that far-away models lose no digits.
  vertex3f o = mesh.points[0];
  double volume = 0.0;
  for (CV_face face : mesh.faces) {
    vertex3f pa = mesh.points[face.index[0]];
    vertex3f pb = mesh.points[face.index[1]];
    vertex3f pc = mesh.points[face.index[2]];
    double ax = double(pa.x) - o.x, ay = double(pa.y) - o.y, az = double(pa.z) - o.z;
    double bx = double(pb.x) - o.x, by = double(pb.y) - o.y, bz = double(pb.z) - o.z;
    double cx = double(pc.x) - o.x, cy = double(pc.y) - o.y, cz = double(pc.z) - o.z;
    volume += ax * (by * cz - bz * cy) + ay * (bz * cx - bx * cz) + az * (bx * cy - by * cx);
  }
  return volume;
}

bool FacesInward(const CVImportMesh& mesh) { return IsClosedMesh(mesh) && SignedVolume(mesh) < 0.0; }

void FlipWinding(CVImportMesh& mesh) {
  for (CV_face& face : mesh.faces) std::swap(face.index[1], face.index[2]);
}
