// The progress display in a real terminal: a private tmux server runs the
// program and the test reads the screen it leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/program_runner.h"
#include "tests/test_files.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

class TmuxServer {
 public:
  explicit TmuxServer(const TempDir& dir) : socket_(dir.File("tmux.socket")), config_(dir.File("tmux.conf")) {
    // Without the alternate screen, what the program drew stays on the pane
    // after it leaves full-screen mode.
    dir.Write("tmux.conf", "set -g alternate-screen off\nset -g status off\n");
  }
  ~TmuxServer() { Tmux("kill-server"); }

  ProgramResult Tmux(const std::string& arguments) {
    return RunCommand("tmux -S " + ShellQuote(socket_) + " -f " + ShellQuote(config_) + " " + arguments, "/", 30);
  }

 private:
  std::string socket_;
  std::string config_;
};

// Polls every 100 ms until done() holds or the seconds have passed.
template <typename Done>
bool WaitUntil(int seconds, Done done) {
  for (int i = 0; i < seconds * 10; i++) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

}  // namespace

TEST(ConsoleScreen, ShowsTheFourHeadingsWithTheirPercentages) {
  if (RunCommand("command -v tmux", "/").status != 0) GTEST_SKIP() << "tmux is not installed";
  TempDir dir;
  WriteSmallRoom(dir.path(), 3000);

  TmuxServer server(dir);
  std::string command = "cd " + ShellQuote(dir.path()) + " && env -u DISPLAY TERM=screen " +
                        ShellQuote(CORVANE_BINARY) + " 2>/dev/null; touch finished; sleep 60";
  ASSERT_EQ(server.Tmux("new-session -d -x 80 -y 24 " + ShellQuote(command)).status, 0);

  for (int i = 0; i < 600 && !std::filesystem::exists(dir.File("finished")); i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(std::filesystem::exists(dir.File("finished"))) << "the program did not end";
  ProgramResult screen = server.Tmux("capture-pane -p");
  ASSERT_EQ(screen.status, 0);
  std::vector<std::string> lines = Lines(screen.output);
  ASSERT_GE(lines.size(), 12u) << screen.output;

  const std::vector<std::pair<int, std::string>> expected = {
      {1, " Calculating samples:"},     {2, " 100%"}, {4, " Removing invalid samples:"},  {5, " 100%"},
      {7, " Calculating sensor data:"}, {8, " 100%"}, {10, " Calculating image output:"}, {11, " 100%"},
  };
  for (const auto& [row, text] : expected) {
    EXPECT_EQ(lines[row].rfind(text, 0), 0u) << "line " << row << " is \"" << lines[row] << "\"\n" << screen.output;
  }
}

TEST(ConsoleScreen, ASequenceNamesTheViewBelowTheStages) {
  if (RunCommand("command -v tmux", "/").status != 0) GTEST_SKIP() << "tmux is not installed";
  TempDir dir;
  WriteSmallRoom(dir.path(), 3000);

  TmuxServer server(dir);
  std::string command = "cd " + ShellQuote(dir.path()) + " && env -u DISPLAY TERM=screen " +
                        ShellQuote(CORVANE_BINARY) + " --orbit 3 2>/dev/null; touch finished; sleep 60";
  ASSERT_EQ(server.Tmux("new-session -d -x 80 -y 24 " + ShellQuote(command)).status, 0);

  ASSERT_TRUE(WaitUntil(60, [&dir] { return std::filesystem::exists(dir.File("finished")); }))
      << "the program did not end";
  ProgramResult screen = server.Tmux("capture-pane -p");
  ASSERT_EQ(screen.status, 0);
  std::vector<std::string> lines = Lines(screen.output);
  ASSERT_GE(lines.size(), 16u) << screen.output;
  EXPECT_EQ(lines[10].rfind(" Calculating image output:", 0), 0u) << screen.output;
  EXPECT_EQ(lines[11].rfind(" 100%", 0), 0u) << screen.output;
  EXPECT_EQ(lines[15].rfind(" View 3 of 3", 0), 0u) << screen.output;
}

// Ctrl-C while the samples are traced: the terminal echoes typed keys again,
// the status is 130, and an earlier out.ppm stays as it was, without a
// temporary file beside it. The shell traps the interrupt so that it goes on.
TEST(ConsoleScreen, CtrlCDuringSamplingGivesBackTheTerminalAndKeepsTheEarlierImage) {
  if (RunCommand("command -v tmux", "/").status != 0) GTEST_SKIP() << "tmux is not installed";
  TempDir dir;
  CopyExample("room", dir.path());
  dir.Write("out.ppm", "an earlier image");

  TmuxServer server(dir);
  std::string command = "cd " + ShellQuote(dir.path()) + " && trap : INT; env -u DISPLAY TERM=screen " +
                        ShellQuote(CORVANE_BINARY) +
                        " -D DATASETSIZE=3000000 --png p.png 2>/dev/null; echo $? > status.txt; read typed; "
                        "touch finished; sleep 60";
  ASSERT_EQ(server.Tmux("new-session -d -x 80 -y 24 " + ShellQuote(command)).status, 0);
  auto pane = [&server] { return server.Tmux("capture-pane -p").output; };
  ASSERT_TRUE(WaitUntil(60, [&] { return pane().find("Calculating samples:") != std::string::npos; })) << pane();

  server.Tmux("send-keys C-c");
  ASSERT_TRUE(WaitUntil(60, [&] { return std::filesystem::exists(dir.File("status.txt")); })) << pane();
  server.Tmux("send-keys 'typed after the run' Enter");
  EXPECT_TRUE(WaitUntil(10, [&] { return std::filesystem::exists(dir.File("finished")); })) << pane();
  EXPECT_NE(pane().find("typed after the run"), std::string::npos) << pane();
  EXPECT_EQ(ReadFileBytes(dir.File("status.txt")), "130\n");
  EXPECT_EQ(ReadFileBytes(dir.File("out.ppm")), "an earlier image");
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
  }
}
