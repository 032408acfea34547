#include "reference/sensortree.h"

#include <cstdlib>

namespace {

// Fills the four quarters of parent in the next level (whose side is
// child_side) and records their places in parent.children.
void SplitCell(CVSensorCell& parent, int r, int c, int child_side, CVSensorCell* children) {
  int places[4] = {(2 * r) * child_side + 2 * c, (2 * r) * child_side + 2 * c + 1, (2 * r + 1) * child_side + 2 * c,
                   (2 * r + 1) * child_side + 2 * c + 1};
  vertex3f up = MiddleVertex(parent.ul, parent.ur);
  vertex3f left = MiddleVertex(parent.ul, parent.dl);
  vertex3f right = MiddleVertex(parent.ur, parent.dr);
  vertex3f down = MiddleVertex(parent.dl, parent.dr);
  vertex3f middle = MiddleVertex(left, right);
  const vertex3f corners[4][4] = {{parent.ul, up, left, middle},
                                  {up, parent.ur, middle, right},
                                  {left, middle, parent.dl, down},
                                  {middle, right, down, parent.dr}};
  for (int j = 0; j < 4; ++j) {
    CVSensorCell& child = children[places[j]];
    parent.children[j] = child.index;
    child.ul = corners[j][0];
    child.ur = corners[j][1];
    child.dl = corners[j][2];
    child.dr = corners[j][3];
  }
}

}  // namespace

bool BuildSensorTree(vertex3f ul, vertex3f ur, vertex3f dl, vertex3f dr, CVSensorTree& tree) {
  for (int k = 0; k <= kSensorLevel; ++k) tree.levels[k] = nullptr;
  for (int k = 0; k <= kSensorLevel; ++k) {
    size_t count = SensorCellCount(k);
    tree.levels[k] = static_cast<CVSensorCell*>(std::malloc(count * sizeof(CVSensorCell)));
    if (tree.levels[k] == nullptr) {
      FreeSensorTree(tree);
      return false;
    }
    for (size_t i = 0; i < count; ++i) {
      tree.levels[k][i].index = int(i);
      for (int j = 0; j < 4; ++j) tree.levels[k][i].children[j] = -1;
    }
  }

  CVSensorCell& root = tree.levels[0][0];
  root.ul = ul;
  root.ur = ur;
  root.dl = dl;
  root.dr = dr;
  for (int k = 0; k < kSensorLevel; ++k) {
    int side = 1 << k;
    for (int r = 0; r < side; ++r) {
      for (int c = 0; c < side; ++c) SplitCell(tree.levels[k][r * side + c], r, c, 2 * side, tree.levels[k + 1]);
    }
  }
  return true;
}

void FreeSensorTree(CVSensorTree& tree) {
  for (int k = 0; k <= kSensorLevel; ++k) {
    std::free(tree.levels[k]);
    tree.levels[k] = nullptr;
  }
}

int FindSensorPixel(vector3f line, const CVSensorTree& tree) {
  const CVSensorCell* cell = &tree.levels[0][0];
  if (!CellHitByLine(line, *cell)) return -1;
  // A child that was just found hit would be hit again when tested as the
  // current cell of the next level, so each cell is tested once.
  for (int k = 0; k < kSensorLevel; ++k) {
    const CVSensorCell* next = nullptr;
    for (int j = 0; j < 4 && next == nullptr; ++j) {
      const CVSensorCell* child = &tree.levels[k + 1][cell->children[j]];
      if (CellHitByLine(line, *child)) next = child;
    }
    if (next == nullptr) return -1;
    cell = next;
  }
  return cell->index;
}
