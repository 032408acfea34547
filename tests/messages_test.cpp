#include "core/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Problem(int i) { return "corvane: scene.wrl:" + std::to_string(i) + ": problem " + std::to_string(i); }

// The messages are one process-wide collection; every test starts it empty.
class InputProblems : public ::testing::Test {
 protected:
  void SetUp() override {
    TakeInputProblems();
    TakeEmptyImageReason();
  }
};

TEST_F(InputProblems, AreKeptInOrderAndTakenOnce) {
  ReportInputProblem(Problem(3));
  ReportInputProblem(Problem(1));
  ReportInputProblem(Problem(2));
  EXPECT_EQ((std::vector<std::string>{Problem(3), Problem(1), Problem(2)}), TakeInputProblems());
  EXPECT_TRUE(TakeInputProblems().empty());

  ReportInputProblem(Problem(4));
  EXPECT_EQ((std::vector<std::string>{Problem(4)}), TakeInputProblems());
}

TEST_F(InputProblems, FiftyAreKeptWithoutAClosingLine) {
  std::vector<std::string> reported;
  for (int i = 0; i < 50; i++) {
    reported.push_back(Problem(i));
    ReportInputProblem(reported.back());
  }
  EXPECT_EQ(reported, TakeInputProblems());
}

TEST_F(InputProblems, BeyondFiftyAreCountedIntoOneClosingLine) {
  std::vector<std::string> kept;
  for (int i = 0; i < 53; i++) {
    if (i < 50) kept.push_back(Problem(i));
    ReportInputProblem(Problem(i));
  }
  std::vector<std::string> taken = TakeInputProblems();
  ASSERT_EQ(51u, taken.size());
  EXPECT_EQ(kept, std::vector<std::string>(taken.begin(), taken.begin() + 50));
  const std::string& closing = taken.back();
  EXPECT_EQ(0u, closing.rfind("corvane: 3 ", 0)) << closing;

  // Taking resets the count: the next batch starts afresh.
  EXPECT_TRUE(TakeInputProblems().empty());
  ReportInputProblem(Problem(99));
  EXPECT_EQ((std::vector<std::string>{Problem(99)}), TakeInputProblems());
}

TEST_F(InputProblems, TheFirstReasonForAnEmptyImageIsKeptApartFromTheProblems) {
  ReportEmptyImageReason(Problem(1));
  ReportInputProblem(Problem(2));
  ReportEmptyImageReason(Problem(3));  // follows from the first
  EXPECT_EQ((std::vector<std::string>{Problem(2)}), TakeInputProblems());
  EXPECT_EQ(Problem(1), TakeEmptyImageReason());
  EXPECT_EQ("", TakeEmptyImageReason());
}

}  // namespace
