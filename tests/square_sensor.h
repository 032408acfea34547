// The square sensor the sensor tests project onto, and samples lit from
// straight above for it.
#pragma once

#include "core/camera.h"
#include "sensor/sensor.h"
#include "transport/dataset.h"

// The 200 by 200 square sensor in the plane z = 0, seen from the eye (0, 0, 100).
inline CVSensor SquareSensor() {
  Camera camera;
  camera.eye = {0, 0, 100};
  camera.center = {0, 0, 0};
  camera.up = {0, 1, 0};
  camera.ul = {-100, 100, 0};
  camera.ur = {100, 100, 0};
  camera.dl = {-100, -100, 0};
  camera.dr = {100, -100, 0};
  CVSensor sensor{};
  AllocateSensor(sensor, camera);
  return sensor;
}

// A sample of object 0 lit from straight above, its surface facing up (+z).
inline CVSample SampleAt(vertex3f position, float weight) {
  CVSample s{};
  s.object = 0;
  s.position = position;
  s.incoming = vector3f{{position.x, position.y, position.z + 10}, {0, 0, -1}};
  s.normal = vector3f{position, {0, 0, 1}};
  s.weight = weight;
  s.brightness = 1.0f;
  return s;
}
