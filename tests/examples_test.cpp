// Every example scene, run whole by the real binary on any number of threads,
// gives the image it gave when its digest was recorded. A change that means to
// alter an image updates tests/example_digests.txt in the same commit.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/program_runner.h"
#include "tests/test_files.h"

namespace {

std::map<std::string, std::string> RecordedDigests() {
  std::map<std::string, std::string> digests;
  std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/tests/example_digests.txt");
  std::string example, digest;
  while (in >> example >> digest) digests[example] = digest;
  return digests;
}

std::string Sha256(const std::string& path) {
  ProgramResult result = RunCommand("sha256sum " + ShellQuote(path), "/");
  std::istringstream in(result.output);
  std::string digest;
  in >> digest;
  return digest;
}

}  // namespace

TEST(Examples, EachExampleGivesItsRecordedImage) {
  std::map<std::string, std::string> digests = RecordedDigests();
  ASSERT_FALSE(digests.empty());
  for (const auto& [example, digest] : digests) {
    TempDir dir;
    CopyExample(example, dir.path());
    ProgramResult run = RunCorvane(dir.path(), 600);
    EXPECT_EQ(run.status, 0) << example << ": " << run.output;
    EXPECT_EQ(Sha256(dir.File("out.ppm")), digest) << example;
  }
}

TEST(Examples, EachExampleGivesItsRecordedImageOnAnyThreadCount) {
  std::map<std::string, std::string> digests = RecordedDigests();
  ASSERT_FALSE(digests.empty());
  for (const auto& [example, digest] : digests) {
    for (int threads : {1, 2, 3, 8, 64}) {
      TempDir dir;
      CopyExample(example, dir.path());
      std::string command = "env -u DISPLAY TERM=dumb " + ShellQuote(CORVANE_BINARY) + " -q --no-window -t " +
                            std::to_string(threads) + " >/dev/null";
      ProgramResult run = RunCommand(command, dir.path(), 600);
      EXPECT_EQ(run.status, 0) << example << " -t " << threads << ": " << run.output;
      EXPECT_EQ(Sha256(dir.File("out.ppm")), digest) << example << " -t " << threads;
    }
  }
}
