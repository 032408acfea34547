// The margins of the pixel search: what a sensor and a line let it prove
// without the exact cell test, with bounds that rounding cannot cross.
#pragma once

#include <cmath>

#include "sensor/pixelsearch.h"

// The levels 0 to 10 as bits.
constexpr unsigned kEveryLevel = (2u << kSensorLevel) - 1;
// |T| that surely leaves the 0.0001 band: some component reaches 0.0001.
constexpr double kBandReach = 1.7320508075688772e-4;  // sqrt(3) 0.0001: |T| over its largest component
constexpr double kBandSlack = 1.0002;                 // keeps the bound strictly above that reach
constexpr double kBandFail = kBandSlack * kBandReach;

// Works out the bounds that hold for the whole sensor; false when it is too
// curved or too small for them (then nothing is proved).
bool BoundSensor(CVSensorProjection& s);

// What a line adds to the margins: P's parameters, and the distances its
// quarters' edges must keep from P for the margins to decide, as
// base + R per_R + R / shortest shift (+ the band over shortest to fail),
// with R the bound on |X - A| at the level.
struct LineMargins {
  double x, y;
  double reach;  // the line's share of R
  double pass_base, pass_per_R;
  double fail_base, fail_per_R;
  double shift;
};

// Fills m for the line; false when the line cannot be bounded (it meets the
// sensor nearly edge-on, from behind, or outside it, or too close to its
// origin).
bool MeasureLine(const CVSensorProjection& s, vector3f line, LineMargins& m);

// The margins at one level for the line: `pass` on the inner side of every
// edge, `fail` on the outer side of one.
struct LevelMargins {
  double pass, fail;
  double iso, diagonal, bend;
};

inline LevelMargins MarginsAt(const CVSensorProjection& s, const LineMargins& m, int L) {
  const CVSensorLevelBounds& b = s.levels;
  double R = b.spread[L] + m.reach;
  double shift = R * b.inverse_shortest[L] * m.shift;
  return LevelMargins{m.pass_base + R * m.pass_per_R + shift,
                      m.fail_base + R * m.fail_per_R + shift + kBandFail * b.inverse_shortest[L], b.iso[L],
                      b.diagonal[L], b.bend[L]};
}

// Lower bounds of P's signed distances (inside positive) from the quarter's
// edges at local parameters (u, v): left, top, right, bottom, and the
// diagonal from dl to ur (positive on the side of ul).
struct EdgeDistances {
  double left, top, right, bottom, diagonal;
};

inline EdgeDistances DistancesAt(const LevelMargins& lm, double u, double v) {
  EdgeDistances e{lm.iso * u, lm.iso * v, lm.iso * (1 - u), lm.iso * (1 - v), 0};
  double g = 1 - u - v;
  double size = std::fabs(g) * lm.diagonal - std::fabs(u * v) * lm.bend;
  if (size > 0) e.diagonal = std::copysign(size, g);
  return e;
}

// Every level at once, for P in the predicted quarter of each: bit L is set
// when the margins decide level L whole (bit 0: the whole sensor accepts).
unsigned LevelsDecided(const CVSensorProjection& s, const LineMargins& m);
