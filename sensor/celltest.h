// The cell test of the pixel search, answered without square roots: the same
// answer as CellHitByLine, for every line and cell.
#pragma once

#include "core/vecmath.h"
#include "sensor/sensor.h"

// IntersectionRayTriangle(line, (P0, P1, P2)) == kRayFrontAhead. Only lines
// and triangles in the thin shells where a cosine lies near a tolerance pay
// for the plain test's roots.
bool FrontAheadWithoutRoots(vector3f line, vertex3f P0, vertex3f P1, vertex3f P2);

// The same for a triangle whose facing is known to pass the test (m lies
// within (-1.0001, -0.0001)) and whose edges outside `edges` (bit i for
// the edge from corner i to the next) are known to pass: only t and the
// remaining edges are tested.
bool FrontAheadOnEdges(vector3f line, vertex3f P0, vertex3f P1, vertex3f P2, unsigned edges);

// CellHitByLine(line, cell), by the test above.
bool CellHitByLineWithoutRoots(vector3f line, const CVSensorCell& cell);
