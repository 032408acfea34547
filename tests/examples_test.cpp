// Every example scene, run whole by the real binary on any number of threads
// and again from the samples it saved, gives the image it gave when its
// digest was recorded. A change that means to alter an image updates
// tests/example_digests.txt in the same commit.
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

// The run saves its samples, and a second run that loads them instead of
// tracing gives the same image: the loaded file stands in for the sampling.
TEST(Examples, EachExampleGivesItsRecordedImageWholeAndFromItsSavedSamples) {
  std::map<std::string, std::string> digests = RecordedDigests();
  ASSERT_FALSE(digests.empty());
  const std::string corvane = "env -u DISPLAY TERM=dumb " + ShellQuote(CORVANE_BINARY);
  for (const auto& [example, digest] : digests) {
    TempDir dir;
    CopyExample(example, dir.path());
    ProgramResult run = RunCommand(corvane + " --save-samples samples.cvs >/dev/null", dir.path(), 600);
    EXPECT_EQ(run.status, 0) << example << ": " << run.output;
    EXPECT_EQ(Sha256(dir.File("out.ppm")), digest) << example;
    ProgramResult loaded = RunCommand(corvane + " --samples samples.cvs -o loaded.ppm >/dev/null", dir.path(), 600);
    EXPECT_EQ(loaded.status, 0) << example << " from its samples: " << loaded.output;
    EXPECT_EQ(Sha256(dir.File("loaded.ppm")), digest) << example << " from its samples";
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
