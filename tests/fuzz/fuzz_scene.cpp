// Scene files from the fuzzer: read and build the scene, check what came out,
// release it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/messages.h"
#include "rayquery/rayquery.h"
#include "scene/scene.h"

namespace {

std::string SceneFile() {
  static std::string path = [] {
    char pattern[] = "/tmp/corvane-fuzz-scene-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    return std::string(pattern) + "/scene.wrl";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string path = SceneFile();
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) std::abort();
  if (size > 0 && std::fwrite(bytes, 1, size, out) != size) std::abort();
  std::fclose(out);

  CV_scene scene{0, nullptr, 0, nullptr};
  int built = CreateScene(path, scene);
  // Whatever the file holds, the scene is consistent: counts match arrays and
  // every object has its twelve box triangles.
  if (built == 0 && (scene.object_count != 0 || scene.light_count != 0)) std::abort();
  if (scene.object_count < 0 || scene.object_count > kMaxObjects || scene.light_count < 0) std::abort();
  for (int32_t i = 0; i < scene.object_count; ++i) {
    const CV_object& object = scene.objects[i];
    if (object.triangle_count < 0 || object.box_triangle_count != 12) std::abort();
    volatile float sink = 0;
    for (int32_t k = 0; k < object.triangle_count; ++k) sink = sink + object.triangles[k].c.z;
    for (int32_t k = 0; k < 12; ++k) sink = sink + object.box_triangles[k].a.x;
  }
  // The query's hierarchies are built from whatever the file held.
  BuildRayQuery(scene);
  FreeRayQuery(scene);
  FreeScene(scene);
  TakeInputProblems();
  return 0;
}
