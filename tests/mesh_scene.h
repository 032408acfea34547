// Scenes made from lists of triangles, built the way the program builds a
// scene file: each triangle's corners become three points and one face.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "scene/scene.h"

using Mesh = std::vector<CV_triangle>;

// One object per mesh, each with the material 0.5 0 0. The caller frees the
// scene with FreeScene.
inline CV_scene SceneFromMeshes(const std::vector<Mesh>& meshes) {
  CV_parser_data data{};
  data.object_count = int32_t(meshes.size());
  data.objects = static_cast<CV_parser_object*>(std::calloc(meshes.size() + 1, sizeof(CV_parser_object)));
  for (size_t i = 0; i < meshes.size(); ++i) {
    CV_parser_object& o = data.objects[i];
    o.diffuse = 0.5f;
    o.point_count = int32_t(3 * meshes[i].size());
    o.points = static_cast<vertex3f*>(std::malloc(3 * meshes[i].size() * sizeof(vertex3f) + 1));
    o.face_count = int32_t(meshes[i].size());
    o.faces = static_cast<CV_face*>(std::malloc(meshes[i].size() * sizeof(CV_face) + 1));
    for (size_t k = 0; k < meshes[i].size(); ++k) {
      o.points[3 * k] = meshes[i][k].a;
      o.points[3 * k + 1] = meshes[i][k].b;
      o.points[3 * k + 2] = meshes[i][k].c;
      o.faces[k] = CV_face{{int32_t(3 * k), int32_t(3 * k + 1), int32_t(3 * k + 2)}};
    }
  }
  CV_scene scene{};
  BuildSceneFromParserData(data, scene);
  FreeParserData(data);
  return scene;
}
