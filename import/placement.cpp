#include "import/placement.h"

#include <algorithm>
#include <cmath>

// Room and light, in parts of the model size. Tight walls keep most of the
// samples on the model: the room is only backdrop.
constexpr float kRoomMargin = 0.1f;
constexpr float kRoomHeadroom = 0.3f;
constexpr float kRoomDiffuse = 0.15f;
// The light: raised 0.3 of a unit above the line towards the eye, so that
// faces turned up are lit as well; kept 0.3 of the model size off its box:
// nearer, its shadows fill much of the picture; farther, fewer of its light
// paths reach the model and the picture turns grainy.
constexpr double kLightRise = 0.3;
constexpr double kLightGap = 0.3;

namespace {

vertex3f Placed(vertex3f p, const CVPlacement& placement) {
  return vertex3f{float(placement.scale * double(p.x) + placement.offset[0]),
                  float(placement.scale * double(p.y) + placement.offset[1]),
                  float(placement.scale * double(p.z) + placement.offset[2])};
}

}  // namespace

void WidenBox(vertex3f p, vertex3f& low, vertex3f& high) {
  low = vertex3f{std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
  high = vertex3f{std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
}

namespace {

void Bounds(const std::vector<CVImportMesh>& meshes, vertex3f& low, vertex3f& high) {
  low = high = meshes.front().points.front();
  for (const CVImportMesh& mesh : meshes) {
    for (vertex3f p : mesh.points) WidenBox(p, low, high);
  }
}

}  // namespace

float LargestExtent(vertex3f low, vertex3f high) { return std::max({high.x - low.x, high.y - low.y, high.z - low.z}); }

CVPlacement PlaceModel(CVImportModel& model, double scale, double size) {
  if (model.meshes.empty()) return CVPlacement{scale > 0.0 ? scale : 1.0, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  vertex3f low, high;
  Bounds(model.meshes, low, high);
  double extent = std::max({double(high.x) - low.x, double(high.y) - low.y, double(high.z) - low.z});
  CVPlacement placement{};
  placement.scale = scale > 0.0 ? scale : (extent > 0.0 ? size / extent : 1.0);
  placement.offset[0] = -placement.scale * (0.5 * (double(low.x) + double(high.x)));
  placement.offset[1] = -placement.scale * double(low.y);
  placement.offset[2] = -placement.scale * (0.5 * (double(low.z) + double(high.z)));
  for (CVImportMesh& mesh : model.meshes) {
    for (vertex3f& p : mesh.points) p = Placed(p, placement);
  }
  for (CV_light& light : model.lights) light.location = Placed(light.location, placement);
  Bounds(model.meshes, placement.low, placement.high);
  return placement;
}

CVImportMesh MakeRoom(vertex3f low, vertex3f high, const std::vector<CV_light>& lights) {
  float size = std::max(LargestExtent(low, high), 1.0f);
  float cx = 0.5f * (low.x + high.x);
  float cz = 0.5f * (low.z + high.z);
  float half = 0.5f * std::max(high.x - low.x, high.z - low.z) + kRoomMargin * size;
  vertex3f room_low{cx - half, low.y, cz - half};
  vertex3f room_high{cx + half, high.y + kRoomHeadroom * size, cz + half};
  // A light outside would send its light in through the backs of the walls
  // and light the room as if from inside, and one in the plane of a wall
  // leaves Corvane's picture black: every light stays a margin inside.
  float gap = kRoomMargin * size;
  for (const CV_light& light : lights) {
    vertex3f p = light.location;
    WidenBox(vertex3f{p.x - gap, p.y - gap, p.z - gap}, room_low, room_high);
    WidenBox(vertex3f{p.x + gap, p.y + gap, p.z + gap}, room_low, room_high);
  }
  float x0 = room_low.x, y0 = room_low.y, z0 = room_low.z;
  float x1 = room_high.x, y1 = room_high.y, z1 = room_high.z;
  CVImportMesh room;
  room.name = "Room";
  room.material = CVImportMaterial{kRoomDiffuse, 0.0f, 1.0f};
  room.points = {{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0},
                 {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}};
  // Two triangles per wall, counter-clockwise as seen from inside the box.
  room.faces = {{{0, 2, 3}}, {{0, 1, 2}}, {{4, 6, 5}}, {{4, 7, 6}}, {{0, 5, 1}}, {{0, 4, 5}},
                {{3, 6, 7}}, {{3, 2, 6}}, {{0, 7, 4}}, {{0, 3, 7}}, {{1, 6, 2}}, {{1, 5, 6}}};
  return room;
}

CV_light LightOnCameraSide(vertex3f low, vertex3f high, vertex3f view) {
  double size = std::max(double(LargestExtent(low, high)), 1.0);
  double v[3] = {double(view.x), double(view.y), double(view.z)};
  double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  double l[3] = {v[0] / length, v[1] / length + kLightRise, v[2] / length};
  double l_length = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
  double lo[3] = {double(low.x), double(low.y), double(low.z)};
  double hi[3] = {double(high.x), double(high.y), double(high.z)};
  // How far the box reaches from its centre in the light's direction.
  double reach = 0.0;
  for (int i = 0; i < 3; ++i) reach += std::fabs(l[i] / l_length) * 0.5 * (hi[i] - lo[i]);
  double distance = reach + kLightGap * size;
  float p[3];
  for (int i = 0; i < 3; ++i) p[i] = float(0.5 * (lo[i] + hi[i]) + distance * l[i] / l_length);
  return CV_light{vertex3f{p[0], p[1], p[2]}, color3f{1.0f, 1.0f, 1.0f}, 1.0f};
}
