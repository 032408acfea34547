#include "scene/scene.h"

#include <cstdlib>

#include "core/check.h"

namespace {

bool FaceFitsPoints(const CV_face& face, const CV_parser_object& object) {
  if (object.points == nullptr) return false;
  for (int c = 0; c < 3; ++c) {
    if (face.index[c] < 0 || face.index[c] >= object.point_count) return false;
  }
  return true;
}

void Widen(vertex3f corner, vertex3f& lo, vertex3f& hi) {
  if (corner.x < lo.x) lo.x = corner.x;
  if (corner.y < lo.y) lo.y = corner.y;
  if (corner.z < lo.z) lo.z = corner.z;
  if (corner.x > hi.x) hi.x = corner.x;
  if (corner.y > hi.y) hi.y = corner.y;
  if (corner.z > hi.z) hi.z = corner.z;
}

// One triangle per usable face, in face order; the array is sized for every face.
void BuildTriangles(const CV_parser_object& source, CV_object& object) {
  object.triangle_count = 0;
  object.triangles = nullptr;
  if (source.face_count <= 0 || source.faces == nullptr) return;
  object.triangles = static_cast<CV_triangle*>(std::malloc(size_t(source.face_count) * sizeof(CV_triangle)));
  if (object.triangles == nullptr) return;
  for (int32_t k = 0; k < source.face_count; ++k) {
    const CV_face& face = source.faces[k];
    // The reader drops such faces already; data from elsewhere may hold them.
    if (!FaceFitsPoints(face, source)) continue;
    object.triangles[object.triangle_count++] =
        CV_triangle{source.points[face.index[0]], source.points[face.index[1]], source.points[face.index[2]]};
  }
}

// The exact extents of the corners of the object's triangles. An object
// without triangles gets the single point (0, 0, 0): its box triangles are
// then degenerate and no ray hits them.
void Extents(const CV_object& object, vertex3f& lo, vertex3f& hi) {
  lo = vertex3f{0, 0, 0};
  hi = vertex3f{0, 0, 0};
  if (object.triangle_count == 0) return;
  lo = object.triangles[0].a;
  hi = object.triangles[0].a;
  for (int32_t k = 0; k < object.triangle_count; ++k) {
    Widen(object.triangles[k].a, lo, hi);
    Widen(object.triangles[k].b, lo, hi);
    Widen(object.triangles[k].c, lo, hi);
  }
}

}  // namespace

void BuildBoxTriangles(vertex3f lo, vertex3f hi, CV_triangle box[kBoxTriangleCount]) {
  float x0 = lo.x, y0 = lo.y, z0 = lo.z;
  float x1 = hi.x, y1 = hi.y, z1 = hi.z;
  // Corner order gives every normal pointing out of the box.
  box[0] = CV_triangle{{x0, y0, z1}, {x1, y1, z1}, {x0, y1, z1}};   // z = z1
  box[1] = CV_triangle{{x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}};   // z = z1
  box[2] = CV_triangle{{x1, y0, z1}, {x1, y1, z0}, {x1, y1, z1}};   // x = x1
  box[3] = CV_triangle{{x1, y0, z1}, {x1, y0, z0}, {x1, y1, z0}};   // x = x1
  box[4] = CV_triangle{{x1, y0, z0}, {x0, y1, z0}, {x1, y1, z0}};   // z = z0
  box[5] = CV_triangle{{x1, y0, z0}, {x0, y0, z0}, {x0, y1, z0}};   // z = z0
  box[6] = CV_triangle{{x0, y0, z0}, {x0, y1, z1}, {x0, y1, z0}};   // x = x0
  box[7] = CV_triangle{{x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}};   // x = x0
  box[8] = CV_triangle{{x0, y0, z0}, {x1, y0, z1}, {x0, y0, z1}};   // y = y0
  box[9] = CV_triangle{{x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}};   // y = y0
  box[10] = CV_triangle{{x0, y1, z1}, {x1, y1, z0}, {x0, y1, z0}};  // y = y1
  box[11] = CV_triangle{{x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}};  // y = y1
}

void BuildSceneFromParserData(const CV_parser_data& data, CV_scene& scene) {
  scene = CV_scene{0, nullptr, 0, nullptr};

  if (data.light_count > 0 && data.lights != nullptr) {
    scene.lights = static_cast<CV_light*>(std::malloc(size_t(data.light_count) * sizeof(CV_light)));
    if (scene.lights != nullptr) {
      scene.light_count = data.light_count;
      for (int32_t j = 0; j < data.light_count; ++j) scene.lights[j] = data.lights[j];
    }
  }

  if (data.object_count <= 0 || data.objects == nullptr) return;
  scene.objects = static_cast<CV_object*>(std::malloc(size_t(data.object_count) * sizeof(CV_object)));
  if (scene.objects == nullptr) return;
  scene.object_count = data.object_count;
  for (int32_t i = 0; i < data.object_count; ++i) {
    const CV_parser_object& source = data.objects[i];
    CV_object& object = scene.objects[i];
    object.diffuse = source.diffuse;
    object.specular = source.specular;
    object.exponent = source.exponent;
    BuildTriangles(source, object);
    object.box_triangle_count = kBoxTriangleCount;
    object.box_triangles = static_cast<CV_triangle*>(std::malloc(kBoxTriangleCount * sizeof(CV_triangle)));
    vertex3f lo;
    vertex3f hi;
    Extents(object, lo, hi);
    BuildBoxTriangles(lo, hi, object.box_triangles);
    object.acceleration = nullptr;
  }
}

int CreateScene(std::string filename, CV_scene& scene) {
  CV_parser_data data{0, nullptr, 0, nullptr};
  int read = ReadDataFile(filename, data);
  BuildSceneFromParserData(data, scene);
  FreeParserData(data);
  return read == 1 ? 1 : 0;
}

void FreeScene(CV_scene& scene) {
  for (int32_t i = 0; i < scene.object_count && scene.objects != nullptr; ++i) {
    std::free(scene.objects[i].triangles);
    std::free(scene.objects[i].box_triangles);
    // The query's structures are not the scene's to free; a forgotten
    // release would leak them.
    CORVANE_CHECK(scene.objects[i].acceleration == nullptr);
  }
  CORVANE_CHECK(scene.object_tree == nullptr);
  std::free(scene.objects);
  std::free(scene.lights);
  scene = CV_scene{0, nullptr, 0, nullptr};
}
