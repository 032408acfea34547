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

namespace {

// The clock the estimate tests set by hand, and how often it was read.
double fake_now = 0.0;
int clock_readings = 0;
double FakeSeconds() {
  ++clock_readings;
  return fake_now;
}

class EstimateOnConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    if (isatty(STDOUT_FILENO)) GTEST_SKIP() << "needs standard output not to be a terminal";
    fake_now = 0.0;
    clock_readings = 0;
    InitPercentageCounter(progress.percentages);
  }
  void TearDown() override { DeInitPercentageCounter(progress.percentages); }
  // Advances done at the given second of the fake clock.
  void AdvanceAt(double now, uint32_t done, uint32_t total) {
    fake_now = now;
    progress.Advance(done, total);
  }
  ConsoleProgress progress{FakeSeconds};
};

}  // namespace

TEST_F(EstimateOnConsole, AppearsAfterASecondAndChangesAtMostFourTimesASecond) {
  fake_now = 100.0;
  progress.Begin(kSamplingPhase);
  AdvanceAt(100.5, 100, 10000);
  EXPECT_EQ(progress.estimate, "");
  AdvanceAt(101.0, 200, 10000);
  EXPECT_EQ(progress.estimate, "Samples: 200 of 10,000 - 200 /s - about 49 s left");
  AdvanceAt(101.2, 300, 10000);
  EXPECT_EQ(progress.estimate, "Samples: 200 of 10,000 - 200 /s - about 49 s left");
  AdvanceAt(101.25, 500, 10000);
  EXPECT_EQ(progress.estimate, "Samples: 500 of 10,000 - 400 /s - about 24 s left");
  progress.End();
  EXPECT_EQ(progress.estimate, "");
}

TEST_F(EstimateOnConsole, EachSensorStageEstimatesItsOwnTimeLeft) {
  progress.Begin(kSamplingPhase);
  AdvanceAt(2.0, 100, 200);
  progress.End();
  fake_now = 10.0;
  progress.Begin(kVisibilityPhase);
  AdvanceAt(10.5, 500, 5000);
  EXPECT_EQ(progress.estimate, "");
  AdvanceAt(11.0, 1000, 5000);
  EXPECT_EQ(progress.estimate, "Sensor stage: about 4 s left");
  AdvanceAt(15.0, 5000, 5000);
  EXPECT_EQ(progress.estimate, "Sensor stage: less than a second left");
  progress.End();
  EXPECT_EQ(progress.estimate, "");
  fake_now = 20.0;
  progress.Begin(kBrightnessPhase);
  AdvanceAt(20.9, 4999, 5000);  // a stage shorter than a second shows none
  progress.End();
  EXPECT_EQ(progress.estimate, "");
}

// The sampling loop reports every step; reading the clock at each would cost
// more than the percentage it draws.
TEST_F(EstimateOnConsole, ReadsTheClockOnceEveryTenThousandthOfTheTotal) {
  progress.Begin(kSamplingPhase);
  EXPECT_EQ(clock_readings, 1);
  for (uint32_t done = 1; done <= 1000000; ++done) AdvanceAt(0.0, done, 1000000);
  EXPECT_EQ(clock_readings, 1 + 10000);
  progress.End();
  progress.Begin(kSamplingPhase);
  for (uint32_t done = 1; done <= 50; ++done) AdvanceAt(0.0, done, 50);  // small totals: every report
  EXPECT_EQ(clock_readings, 2 + 10000 + 50);
}
