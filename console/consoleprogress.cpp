#include "console/consoleprogress.h"

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

}  // namespace

void ConsoleProgress::Begin(ProgressPhase phase) {
  phase_ = phase;
  if (phase != kSamplingPhase) InitPercentageCounter(percentages);
  DrawTextPos(kPhaseLayouts[phase].heading_row, kProgressColumn, kPhaseLayouts[phase].heading);
  if (!view_.empty()) DrawTextPos(kViewRow, kProgressColumn, view_);
}

void ConsoleProgress::Advance(uint32_t done, uint32_t total) {
  ShowPercentage(kPhaseLayouts[phase_].percentage_row, kProgressColumn, done, total, percentages);
}

void ConsoleProgress::End() { ResetPercentageCounter(percentages); }

void ConsoleProgress::ShowView(unsigned number, unsigned count) {
  view_ = "View " + std::to_string(number) + " of " + std::to_string(count);
}
