#include "reference/sensordescent.h"

int FindSensorPixelByDescent(vector3f line, vertex3f ul, vertex3f ur, vertex3f dl, vertex3f dr) {
  CVSensorCell cell{0, ul, ur, dl, dr, {-1, -1, -1, -1}};
  if (!CellHitByLine(line, cell)) return -1;
  int row = 0;
  int column = 0;
  for (int k = 0; k < kSensorLevel; ++k) {
    CVSensorCell quarters[4];
    SplitSensorCell(cell, quarters);
    int j = 0;
    while (j < 4 && !CellHitByLine(line, quarters[j])) ++j;
    if (j == 4) return -1;
    row = 2 * row + j / 2;
    column = 2 * column + j % 2;
    cell = quarters[j];
  }
  return row * (1 << kSensorLevel) + column;
}

int SearchSensorPixelByDescent(vector3f line, const CVSensorProjection& sensor) {
  return FindSensorPixelByDescent(line, sensor.ul, sensor.ur, sensor.dl, sensor.dr);
}
