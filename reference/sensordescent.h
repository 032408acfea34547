// The plain pixel search: down the subdivision from the whole sensor, with
// the cell test of every quarter in turn. The projection is checked and
// measured against it.
#pragma once

#include "sensor/pixelsearch.h"
#include "sensor/sensor.h"

// The place of the level-10 cell that the line reaches by descending from the
// whole sensor (ul, ur, dl, dr), always into the first quarter it hits; -1
// when the line is lost.
int FindSensorPixelByDescent(vector3f line, vertex3f ul, vertex3f ur, vertex3f dl, vertex3f dr);

// The same on the sensor's corners, as a PixelSearch.
int SearchSensorPixelByDescent(vector3f line, const CVSensorProjection& sensor);
