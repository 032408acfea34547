// A scene with its ray query, both released when the test is done with them.
#pragma once

#include <string>

#include "rayquery/rayquery.h"
#include "scene/scene.h"

// Built the way the program builds them: the records first, then the query.
struct OwnedScene {
  CV_scene scene{};
  OwnedScene() = default;
  // Takes records built elsewhere and builds the query over them.
  explicit OwnedScene(CV_scene built) : scene(built) { BuildRayQuery(scene); }
  OwnedScene(const OwnedScene&) = delete;
  OwnedScene& operator=(const OwnedScene&) = delete;
  ~OwnedScene() { Release(); }

  // Releases what the scene holds and takes built, building its query.
  void Adopt(CV_scene built) {
    Release();
    scene = built;
    BuildRayQuery(scene);
  }

  // Reads the scene file as the program does and builds the query; returns
  // CreateScene's answer.
  int Read(const std::string& file) {
    Release();
    int read = CreateScene(file, scene);
    BuildRayQuery(scene);
    return read;
  }

  void Release() {
    FreeRayQuery(scene);
    FreeScene(scene);
  }
};
