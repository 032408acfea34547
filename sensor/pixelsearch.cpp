#include "sensor/pixelsearch.h"

#include "core/check.h"
#include "sensor/celltest.h"
#include "sensor/pixelmargins.h"

namespace {

// Quarter j of the cell (in test order), with the midpoints SplitSensorCell
// makes, the unused one left out.
CVSensorCorners QuarterOf(const CVSensorCorners& c, int j) {
  CORVANE_CHECK(j >= 0 && j < 4);
  vertex3f left = MiddleVertex(c.ul, c.dl);
  vertex3f right = MiddleVertex(c.ur, c.dr);
  vertex3f middle = MiddleVertex(left, right);
  if (j < 2) {
    vertex3f up = MiddleVertex(c.ul, c.ur);
    return j == 0 ? CVSensorCorners{c.ul, up, left, middle} : CVSensorCorners{up, c.ur, middle, right};
  }
  vertex3f down = MiddleVertex(c.dl, c.dr);
  return j == 2 ? CVSensorCorners{left, middle, c.dl, down} : CVSensorCorners{middle, right, down, c.dr};
}

// Where the stored corner at (row, column) of the stored level's points is kept.
size_t StoredCorner(int row, int column) {
  CORVANE_CHECK(row >= 0 && row <= (1 << kStoredCornerLevel) && column >= 0 && column <= (1 << kStoredCornerLevel));
  return size_t(row) * ((1 << kStoredCornerLevel) + 1) + size_t(column);
}

// Writes the corners of every cell down to the stored level into the grid.
void FillCornerGrid(CVSensorProjection& s, const CVSensorCorners& c, int level, int row, int column) {
  int step = 1 << (kStoredCornerLevel - level);
  s.corner_grid[StoredCorner(row * step, column * step)] = c.ul;
  s.corner_grid[StoredCorner(row * step, (column + 1) * step)] = c.ur;
  s.corner_grid[StoredCorner((row + 1) * step, column * step)] = c.dl;
  s.corner_grid[StoredCorner((row + 1) * step, (column + 1) * step)] = c.dr;
  if (level == kStoredCornerLevel) return;
  for (int j = 0; j < 4; ++j) FillCornerGrid(s, QuarterOf(c, j), level + 1, 2 * row + j / 2, 2 * column + j % 2);
}

// The corners of the cell of `level` at (row, column) reached by path.
CVSensorCorners CellAt(const CVSensorProjection& s, int level, int row, int column, const int* path) {
  int stored = level < kStoredCornerLevel ? level : kStoredCornerLevel;
  CORVANE_CHECK(row >= 0 && row < (1 << level) && column >= 0 && column < (1 << level));
  int r = row >> (level - stored), c = column >> (level - stored);
  int step = 1 << (kStoredCornerLevel - stored);
  const std::vector<vertex3f>& grid = s.corner_grid;
  CVSensorCorners cell{grid[StoredCorner(r * step, c * step)], grid[StoredCorner(r * step, (c + 1) * step)],
                       grid[StoredCorner((r + 1) * step, c * step)],
                       grid[StoredCorner((r + 1) * step, (c + 1) * step)]};
  for (int k = stored; k < level; ++k) cell = QuarterOf(cell, path[k]);
  return cell;
}

// A cell whose corners are made when first asked for.
struct LazyCell {
  const CVSensorProjection& s;
  int level, row, column;
  const int* path;
  bool made;
  CVSensorCorners corners;

  const CVSensorCorners& Get() {
    if (!made) corners = CellAt(s, level, row, column, path), made = true;
    return corners;
  }
};

// Whether quarter j of cell (j = -1: the cell itself), where P lies at local
// parameters (u, v), accepts the line: each triangle's edges that the
// margins decide are left out of the exact test, and a triangle one of
// whose edges surely fails is not tested at all.
bool QuarterAccepts(vector3f line, LazyCell& cell, int j, const LevelMargins& lm, double u, double v) {
  EdgeDistances e = DistancesAt(lm, u, v);
  double p = lm.pass, f = -lm.fail;
  // Bit i: edge i of the triangle, from corner i to the next.
  unsigned first_open = unsigned(e.left < p) | unsigned(e.top < p) << 1 | unsigned(e.diagonal < p) << 2;
  unsigned second_open = unsigned(-e.diagonal < p) | unsigned(e.right < p) << 1 | unsigned(e.bottom < p) << 2;
  bool first_fails = (e.left <= f) | (e.top <= f) | (e.diagonal <= f);
  bool second_fails = (-e.diagonal <= f) | (e.right <= f) | (e.bottom <= f);
  if ((!first_fails && first_open == 0) || (!second_fails && second_open == 0)) return true;
  if (first_fails && second_fails) return false;
  CVSensorCorners q = j < 0 ? cell.Get() : QuarterOf(cell.Get(), j);
  if (!first_fails && FrontAheadOnEdges(line, q.dl, q.ul, q.ur, first_open)) return true;
  return !second_fails && FrontAheadOnEdges(line, q.dl, q.ur, q.dr, second_open);
}

bool QuarterHitByLine(vector3f line, const CVSensorCorners& c) {
  return FrontAheadWithoutRoots(line, c.dl, c.ul, c.ur) || FrontAheadWithoutRoots(line, c.dl, c.ur, c.dr);
}

}  // namespace

CVSensorProjection PrepareSensorProjection(vertex3f ul, vertex3f ur, vertex3f dl, vertex3f dr) {
  CVSensorProjection s{};
  s.ul = ul;
  s.ur = ur;
  s.dl = dl;
  s.dr = dr;
  s.corner_grid.resize(size_t((1 << kStoredCornerLevel) + 1) * ((1 << kStoredCornerLevel) + 1));
  FillCornerGrid(s, CVSensorCorners{ul, ur, dl, dr}, 0, 0, 0);
  s.proves = BoundSensor(s);
  return s;
}

int FindSensorPixelByProjection(vector3f line, const CVSensorProjection& s) {
  LineMargins m{};
  bool predicted = s.proves && MeasureLine(s, line, m);
  int px = predicted ? int(m.x * (1 << kSensorLevel)) : 0;
  int py = predicted ? int(m.y * (1 << kSensorLevel)) : 0;
  CORVANE_CHECK(px >= 0 && px < (1 << kSensorLevel) && py >= 0 && py < (1 << kSensorLevel));
  unsigned decided = predicted ? LevelsDecided(s, m) : 0;
  if (decided == kEveryLevel) return py * (1 << kSensorLevel) + px;
  int path[kSensorLevel];
  if (!(decided & 1u)) {
    LazyCell whole{s, 0, 0, 0, path, true, CVSensorCorners{s.ul, s.ur, s.dl, s.dr}};
    if (!(predicted ? QuarterAccepts(line, whole, -1, MarginsAt(s, m, 0), m.x, m.y)
                    : QuarterHitByLine(line, whole.corners))) {
      return -1;
    }
  }
  int row = 0;
  int column = 0;
  double scale = 1;
  for (int k = 0; k < kSensorLevel; ++k) {
    int L = k + 1;
    scale *= 2;
    int guess = 2 * ((py >> (kSensorLevel - L)) & 1) + ((px >> (kSensorLevel - L)) & 1);
    int j = guess;
    if (!predicted || !(decided >> L & 1u)) {
      // The level in the descent's order, each quarter by its margins and
      // the exact test where they leave it open.
      LazyCell cell{s, k, row, column, path, false, {}};
      LevelMargins lm = predicted ? MarginsAt(s, m, L) : LevelMargins{};
      for (j = 0; j < 4; ++j) {
        double u = m.x * scale - double(2 * column + j % 2);
        double v = m.y * scale - double(2 * row + j / 2);
        if (predicted ? QuarterAccepts(line, cell, j, lm, u, v) : QuarterHitByLine(line, QuarterOf(cell.Get(), j))) {
          break;
        }
      }
      if (j == 4) return -1;
      if (j != guess) predicted = false;
    }
    path[k] = j;
    row = 2 * row + j / 2;
    column = 2 * column + j % 2;
    CORVANE_CHECK(row < (1 << L) && column < (1 << L));
  }
  return row * (1 << kSensorLevel) + column;
}
