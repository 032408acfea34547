// The camera of the examples' corvane.cfg: the eye in front of the room, up
// along y, and the sensor's corners.
#pragma once

#include "core/camera.h"

inline Camera ExampleCamera() {
  Camera camera;
  camera.eye = {0, 100, 700};
  camera.center = {0, 100, 0};
  camera.up = {0, 1, 0};
  camera.ul = {-110, 210, 110};
  camera.ur = {110, 210, 110};
  camera.dl = {-110, -10, 110};
  camera.dr = {110, -10, 110};
  return camera;
}
