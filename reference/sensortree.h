// The stored subdivision of the sensor (about 95 MB) and the search for a
// pixel in it: the reference the program's descent is checked against. Only
// tests and benchmarks link it.
#pragma once

#include "core/vecmath.h"
#include "sensor/sensor.h"

// The subdivision of the sensor by midpoints: level k holds 4^k cells in
// row-major order, level 0 the whole sensor.
struct CVSensorTree {
  CVSensorCell* levels[kSensorLevel + 1];
};

// Allocates and fills the subdivision of the quadrilateral (ul, ur, dl, dr).
// Returns false, with every level null, when the memory cannot be obtained.
bool BuildSensorTree(vertex3f ul, vertex3f ur, vertex3f dl, vertex3f dr, CVSensorTree& tree);

// Releases the levels and sets them to null.
void FreeSensorTree(CVSensorTree& tree);

// The place of the level-10 cell that the line reaches by descending from the
// whole sensor, always into the first child it hits; -1 when the line is lost.
int FindSensorPixel(vector3f line, const CVSensorTree& tree);
