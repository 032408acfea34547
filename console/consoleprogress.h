// The run's progress on the console's screen: each phase's heading on its
// row of rows.h and its percentage on the row below; once a phase has run a
// while, its rate and time left on the estimate row.
#pragma once

#include <cstdint>
#include <string>

#include "console/console.h"
#include "core/progress.h"

// Before this the rate is mostly start-up: no estimate is shown.
constexpr double kEstimateDelay = 1.0;
// Redrawing more often would only flicker the digits.
constexpr double kEstimateInterval = 0.25;

// Seconds since a fixed moment; the estimates need only differences.
using SecondsClock = double (*)();
// The monotonic clock of the machine.
double SteadySeconds();

class ConsoleProgress final : public Progress {
 public:
  explicit ConsoleProgress(SecondsClock clock = SteadySeconds) : clock_(clock) {}

  // Draws the phase's heading. Sampling draws on the screen the driver
  // started; each sensor phase first enters full-screen mode again, since the
  // driver leaves it after sampling.
  void Begin(ProgressPhase phase) override;
  // Shows done/total with ShowPercentage on the phase's percentage row, and
  // the estimate once the phase has run kEstimateDelay, at most once every
  // kEstimateInterval.
  void Advance(uint32_t done, uint32_t total) override;
  // Zeroes the percentages and blanks the estimate row; the rest of the
  // screen stays as it is.
  void End() override;
  // From now on each sensor phase also draws "View number of count" on its
  // row; a run of one view never calls it, so its screen stays as it was.
  void ShowView(unsigned number, unsigned count);

  // The percentages drawn so far; the driver starts and ends the screen with it.
  counter percentages{};
  // The estimate row as last drawn; empty while it is blank.
  std::string estimate;

 private:
  void ShowEstimate(uint32_t done, uint32_t total);

  ProgressPhase phase_ = kSamplingPhase;
  SecondsClock clock_;
  double began_ = 0.0;      // the clock when the phase began
  double drawn_ = 0.0;      // the clock when the estimate was last drawn
  uint64_t next_look_ = 0;  // the done count at which the clock is read again
  std::string view_;        // the view row's text, or empty
};
