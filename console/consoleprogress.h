// The run's progress on the console's screen: each phase's heading on its
// row of rows.h and its percentage on the row below.
#pragma once

#include <string>

#include "console/console.h"
#include "core/progress.h"

class ConsoleProgress final : public Progress {
 public:
  // Draws the phase's heading. Sampling draws on the screen the driver
  // started; each sensor phase first enters full-screen mode again, since the
  // driver leaves it after sampling.
  void Begin(ProgressPhase phase) override;
  // Shows done/total with ShowPercentage on the phase's percentage row.
  void Advance(uint32_t done, uint32_t total) override;
  // Zeroes the percentages; the screen stays as it is.
  void End() override;
  // From now on each sensor phase also draws "View number of count" on its
  // row; a run of one view never calls it, so its screen stays as it was.
  void ShowView(unsigned number, unsigned count);

  // The percentages drawn so far; the driver starts and ends the screen with it.
  counter percentages{};

 private:
  ProgressPhase phase_ = kSamplingPhase;
  std::string view_;  // the view row's text, or empty
};
