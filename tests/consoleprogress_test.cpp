// Runs without a terminal, as the console's own test: the percentages are kept
// the same way, and nothing is drawn.
#include "console/consoleprogress.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// The truncated percentage, computed the way the indicator does.
int Expected(unsigned done, unsigned total) { return int((double(done) / double(total)) * 100.0); }

class ProgressOnConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    if (isatty(STDOUT_FILENO)) GTEST_SKIP() << "needs standard output not to be a terminal";
    InitPercentageCounter(progress.percentages);
  }
  void TearDown() override { DeInitPercentageCounter(progress.percentages); }
  ConsoleProgress progress;
};

}  // namespace

TEST_F(ProgressOnConsole, AdvanceKeepsTheTruncatedPercentageAndItsLargest) {
  progress.Begin(kSamplingPhase);
  progress.Advance(29, 100);
  EXPECT_EQ(progress.percentages.current, Expected(29, 100));
  EXPECT_EQ(progress.percentages.last_shown, Expected(29, 100));
  progress.Advance(10, 100);
  EXPECT_EQ(progress.percentages.current, 10);
  EXPECT_EQ(progress.percentages.last_shown, Expected(29, 100));
  progress.End();
  EXPECT_EQ(progress.percentages.current, 0);
  EXPECT_EQ(progress.percentages.last_shown, 0);
}

TEST_F(ProgressOnConsole, OnlyTheSensorPhasesStartTheCounterAgain) {
  progress.percentages.last_shown = 40;
  progress.percentages.rows = 7;
  progress.Begin(kSamplingPhase);
  EXPECT_EQ(progress.percentages.last_shown, 40);
  EXPECT_EQ(progress.percentages.rows, 7);
  for (ProgressPhase phase : {kVisibilityPhase, kBrightnessPhase, kProjectionPhase}) {
    progress.percentages.last_shown = 40;
    progress.percentages.rows = 7;
    progress.Begin(phase);
    EXPECT_EQ(progress.percentages.last_shown, 0) << "phase " << phase;
    EXPECT_EQ(progress.percentages.rows, -1) << "phase " << phase;
    progress.Advance(1, 3);
    EXPECT_EQ(progress.percentages.last_shown, Expected(1, 3)) << "phase " << phase;
    progress.End();
  }
}
