#include "import/placement.h"

#include <algorithm>
#include <cmath>

// Room and light, in parts of the model size. Tight walls keep most of the
// samples on the model: the room is only backdrop.
constexpr float kRoomMargin = 0.1f;
constexpr float kRoomHeadroom = 0.3f;
constexpr float kRoomDiffuse = 0.15f;
constexpr double kLightHeight = 0.15;
constexpr double kLightReach = 0.05;

static vertex3f Placed(vertex3f p, const CVPlacement& placement) {
  return vertex3f{float(placement.scale * double(p.x) + placement.offset[0]),
                  float(placement.scale * double(p.y) + placement.offset[1]),
                  float(placement.scale * double(p.z) + placement.offset[2])};
}

void WidenBox(vertex3f p, vertex3f& low, vertex3f& high) {
  low = vertex3f{std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
  high = vertex3f{std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
}

static void Bounds(const std::vector<CVImportMesh>& meshes, vertex3f& low, vertex3f& high) {
  low = high = meshes.front().points.front();
  for (const CVImportMesh& mesh : meshes) {
    for (vertex3f p : mesh.points) WidenBox(p, low, high);
  }
}

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
  // and light the room as if from inside: take it in, with a margin.
  for (const CV_light& light : lights) {
    vertex3f p = light.location;
    bool outside = p.x < room_low.x || p.y < room_low.y || p.z < room_low.z || p.x > room_high.x || p.y > room_high.y ||
                   p.z > room_high.z;
    if (!outside) continue;
    float gap = kRoomMargin * size;
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

CV_light LightAboveModel(vertex3f low, vertex3f high, vertex3f view) {
  double size = std::max(double(LargestExtent(low, high)), 1.0);
  double x = 0.5 * (double(low.x) + double(high.x));
  double z = 0.5 * (double(low.z) + double(high.z));
  double horizontal = std::sqrt(double(view.x) * view.x + double(view.z) * view.z);
  if (horizontal > 0.0) {
    // Past the model's front edge as the camera sees it, so that the faces
    // turned towards the camera get direct light.
    double reach = 0.5 * std::max(double(high.x) - low.x, double(high.z) - low.z) + kLightReach * size;
    x += reach * double(view.x) / horizontal;
    z += reach * double(view.z) / horizontal;
  }
  vertex3f location{float(x), float(double(high.y) + kLightHeight * size), float(z)};
  return CV_light{location, color3f{1.0f, 1.0f, 1.0f}, 1.0f};
}
