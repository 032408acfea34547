// Runs without a terminal (standard output is not one under the test runner):
// the bookkeeping of the indicator works the same, and nothing is drawn.
#include "console/console.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

namespace {

// The truncated percentage, computed the way the indicator does.
int Expected(unsigned done, unsigned total) { return int((double(done) / double(total)) * 100.0); }

class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    if (isatty(STDOUT_FILENO)) GTEST_SKIP() << "needs standard output not to be a terminal";
    InitPercentageCounter(c);
  }
  void TearDown() override { DeInitPercentageCounter(c); }
  counter c{};
};

TEST_F(Console, WithoutATerminalThereIsNoScreen) {
  EXPECT_EQ(c.rows, -1);
  EXPECT_EQ(c.cols, -1);
  EXPECT_EQ(c.screen, nullptr);
  EXPECT_EQ(c.last_shown, 0);
  EXPECT_EQ(c.current, 0);
  EXPECT_FALSE(ConsoleActive());
  EXPECT_EQ(DrawTextPos(1, 1, "Calculating samples:"), 1);
  EXPECT_EQ(DrawTextPos(1000, 1000, "off the screen"), 1);
  EXPECT_EQ(DeInitPercentageCounter(c), 1);
  EXPECT_EQ(InitPercentageCounter(c), 1);
  EXPECT_EQ(c.rows, -1);
}

TEST_F(Console, PercentageIsTruncatedAndShownOnlyWhenItGrows) {
  struct Step {
    unsigned done, total;
    int current, last_shown;
  };
  const Step steps[] = {
      {0, 50, 0, 0},  // 0 is not above 0: nothing drawn
      {1, 50, 2, 2},
      {1, 50, 2, 2},                                    // the same again: nothing drawn
      {1, 200, 0, 2},                                   // falls back: current follows, last_shown stays
      {3, 200, 1, 2},                                   // 1.5 truncated
      {29, 100, Expected(29, 100), Expected(29, 100)},  // 28.999999999999996
      {1, 3, 33, 33},
      {60, 100, 60, 60},
      {40, 100, 40, 60},
      {7, 7, 100, 100},
      {3, 2, 150, 150},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(ShowPercentage(2, 1, s.done, s.total, c), 1);
    EXPECT_EQ(c.current, s.current) << s.done << " of " << s.total;
    EXPECT_EQ(c.last_shown, s.last_shown) << s.done << " of " << s.total;
  }
  EXPECT_EQ(Expected(29, 100), 28);
}

TEST_F(Console, ResetLetsTheNextPhaseStartFromZero) {
  ShowPercentage(2, 1, 60, 100, c);
  ResetPercentageCounter(c);
  EXPECT_EQ(c.last_shown, 0);
  EXPECT_EQ(c.current, 0);
  ShowPercentage(5, 1, 1, 100, c);
  EXPECT_EQ(c.last_shown, 1);
}

TEST_F(Console, TotalZeroLeavesTheIndicatorAlone) {
  ShowPercentage(2, 1, 30, 100, c);
  EXPECT_EQ(ShowPercentage(2, 1, 5, 0, c), 1);
  EXPECT_EQ(c.last_shown, 30);
  EXPECT_EQ(ShowPercentage(2, 1, 0, 0, c), 1);
  EXPECT_EQ(c.last_shown, 30);
}

TEST_F(Console, PercentageBeyondTheRangeOfIntIsCappedAtIntMax) {
  ShowPercentage(2, 1, UINT_MAX, 1, c);
  EXPECT_EQ(c.current, INT_MAX);
  EXPECT_EQ(c.last_shown, INT_MAX);
  ShowPercentage(2, 1, 21474837, 1, c);  // 2147483700: just past INT_MAX
  EXPECT_EQ(c.current, INT_MAX);
  ShowPercentage(2, 1, 21474836, 1, c);  // 2147483600 still fits
  EXPECT_EQ(c.current, 2147483600);
}

TEST(ConsoleText, IntToStringIsPlainDecimal) {
  EXPECT_EQ(IntToString(0), "0");
  EXPECT_EQ(IntToString(-5), "-5");
  EXPECT_EQ(IntToString(100), "100");
  EXPECT_EQ(IntToString(INT_MIN), "-2147483648");
}

TEST(ConsoleText, PercentageIsRightAlignedInThreeCharactersWithASign) {
  const struct {
    int p;
    const char* text;
  } rows[] = {{0, "  0%"},  {1, "  1%"},  {2, "  2%"},   {9, "  9%"},  {10, " 10%"},
              {33, " 33%"}, {99, " 99%"}, {100, "100%"}, {150, "150%"}};
  for (const auto& row : rows) EXPECT_EQ(PercentageText(row.p), row.text) << "percentage " << row.p;
}

}  // namespace
