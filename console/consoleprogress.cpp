#include "console/consoleprogress.h"

#include <chrono>

#include "console/estimate.h"
#include "console/rows.h"

namespace {

struct PhaseLayout {
  int heading_row;
  int percentage_row;
  const char* heading;
};

// Indexed by ProgressPhase.
constexpr PhaseLayout kPhaseLayouts[] = {
    {kSamplingHeadingRow, kSamplingPercentageRow, "Calculating samples:"},
    {kVisibilityHeadingRow, kVisibilityPercentageRow, "Removing invalid samples:"},
    {kBrightnessHeadingRow, kBrightnessPercentageRow, "Calculating sensor data:"},
    {kProjectionHeadingRow, kProjectionPercentageRow, "Calculating image output:"},
};
static_assert(sizeof kPhaseLayouts / sizeof kPhaseLayouts[0] == kProjectionPhase + 1, "one layout per phase");

// The sampling loop reports every step: the clock is read only after done
// has grown by this part of the total since the last reading.
constexpr uint32_t kClockReadingsPerPhase = 10000;

}  // namespace

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ConsoleProgress::Begin(ProgressPhase phase) {
  phase_ = phase;
  began_ = clock_();
  drawn_ = began_;
  next_look_ = 0;
  if (phase != kSamplingPhase) InitPercentageCounter(percentages);
  DrawTextPos(kPhaseLayouts[phase].heading_row, kProgressColumn, kPhaseLayouts[phase].heading);
  if (!view_.empty()) DrawTextPos(kViewRow, kProgressColumn, view_);
}

void ConsoleProgress::Advance(uint32_t done, uint32_t total) {
  ShowPercentage(kPhaseLayouts[phase_].percentage_row, kProgressColumn, done, total, percentages);
  ShowEstimate(done, total);
}

void ConsoleProgress::End() {
  ResetPercentageCounter(percentages);
  // Only a row that was drawn is blanked: short runs leave the screen alone.
  if (estimate.empty()) return;
  estimate.clear();
  DrawRowText(kEstimateRow, kProgressColumn, estimate);
}

void ConsoleProgress::ShowEstimate(uint32_t done, uint32_t total) {
  if (done < next_look_) return;
  uint32_t stride = total / kClockReadingsPerPhase;
  next_look_ = uint64_t(done) + (stride > 0 ? stride : 1);
  double now = clock_();
  double seconds = now - began_;
  if (seconds < kEstimateDelay || now - drawn_ < kEstimateInterval) return;
  drawn_ = now;
  estimate = phase_ == kSamplingPhase ? SamplingEstimate(done, total, seconds) : SensorEstimate(done, total, seconds);
  DrawRowText(kEstimateRow, kProgressColumn, estimate);
}

void ConsoleProgress::ShowView(unsigned number, unsigned count) {
  view_ = "View " + std::to_string(number) + " of " + std::to_string(count);
}
