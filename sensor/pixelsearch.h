// The pixel a line reaches, found by projecting the line onto the sensor.
// The projection predicts the quarter the descent takes at every level;
// margins that rounding cannot cross prove each prediction (the chosen
// quarter accepts, every earlier one rejects), and the exact cell test
// decides only where the margins leave a choice open. The answer is always
// the descent's pixel.
#pragma once

#include <vector>

#include "core/vecmath.h"
#include "sensor/sensor.h"

// The corners of a cell of the subdivision.
struct CVSensorCorners {
  vertex3f ul, ur, dl, dr;
};

// The level down to which every cell's corners are kept (129 by 129 points);
// a finer cell is split from its stored ancestor.
constexpr int kStoredCornerLevel = 7;

// The bounds of the subdivision's levels that the margins use, one array
// per bound indexed by the level, so that two levels are worked at a time
// (the one past the last decides nothing).
struct CVSensorLevelBounds {
  double spread[kSensorLevel + 2];            // distance between points of the cell the level's quarters split, at most
  double inverse_shortest[kSensorLevel + 2];  // 1 / the shortest edge of the level's cells (infinite: no bound)
  double iso[kSensorLevel + 2];  // in-plane distance from a row or column line per unit of local parameter, at least
  double diagonal[kSensorLevel + 2];       // the same for a cell's diagonal, before the twist
  double bend[kSensorLevel + 2];           // the twist's part of the diagonal distance, per unit of |u v|
  double scale[kSensorLevel + 2];          // 2^level
  double iso_untwisted[kSensorLevel + 2];  // iso where the twist is at most a quarter of the diagonal, else 0
};

// What the margins need to know of one sensor, worked out once per run.
// Lengths are in scene units; the sensor's parameters run from 0 to 1.
struct CVSensorProjection {
  vertex3f ul, ur, dl, dr;
  bool proves;                 // false: the exact cell test takes every decision
  double3 origin;              // ul, where the in-plane coordinates start
  double3 center;              // the middle of the sensor, on the reference plane
  double3 normal;              // unit normal of the reference plane, on the front side
  double3 across, downward;    // unit axes of the in-plane coordinates
  double a2[2], b2[2], c2[2];  // ur - ul, dl - ul and the twist in those coordinates
  double inverse_area;         // 1 / (a2 x b2)
  double corner_error;         // distance of a float cell corner from its exact place, at most
  double height;               // distance of a cell corner from the reference plane, at most
  double tilt;                 // angle of a cell triangle's computed normal to the reference normal, at most
  double normal_error;         // angle between a cell triangle's computed and exact normals, at most
  double gap_factor;           // how far beside a triangle its plane may rise, in units of height
  double reach;                // |corner|, at most
  double corner_weight;        // sum of |normal_i corner_i|, at most
  CVSensorLevelBounds levels;
  std::vector<vertex3f> corner_grid;  // row by row, the same floats the descent makes
};

CVSensorProjection PrepareSensorProjection(vertex3f ul, vertex3f ur, vertex3f dl, vertex3f dr);

// The place of the level-10 cell that FindSensorPixelByDescent returns for
// the line and the sensor's corners; -1 when the line is lost.
int FindSensorPixelByProjection(vector3f line, const CVSensorProjection& sensor);
