#include "tests/program_runner.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "tests/test_files.h"

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

ProgramResult RunCommand(const std::string& command, const std::string& dir, int timeout_seconds) {
  std::string line = "cd " + ShellQuote(dir) + " && timeout -k 5 " + std::to_string(timeout_seconds) + " sh -c " +
                     ShellQuote(command) + " </dev/null 2>&1";
  ProgramResult result{-1, ""};
  FILE* pipe = popen(line.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  int status = pclose(pipe);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

ProgramResult RunCorvane(const std::string& dir, int timeout_seconds) {
  return RunCommand("env -u DISPLAY TERM=dumb " + ShellQuote(CORVANE_BINARY) + " >/dev/null", dir, timeout_seconds);
}

void CopyExample(const std::string& example, const std::string& dir) {
  std::filesystem::path from = std::filesystem::path(CORVANE_SOURCE_DIR) / "examples" / example;
  for (const auto& entry : std::filesystem::directory_iterator(from)) {
    if (!entry.is_regular_file()) continue;
    if (entry.path().filename() == "out.ppm") continue;
    std::filesystem::copy_file(entry.path(), std::filesystem::path(dir) / entry.path().filename(),
                               std::filesystem::copy_options::overwrite_existing);
  }
}

void WriteSmallRoom(const std::string& dir, int samples) {
  std::filesystem::create_directories(dir);
  CopyExample("room", dir);
  std::string settings = ReadFileBytes(dir + "/corvane.cfg");
  settings = std::regex_replace(settings, std::regex("DATASETSIZE=[0-9]+"), "DATASETSIZE=" + std::to_string(samples));
  std::ofstream(dir + "/corvane.cfg", std::ios::binary | std::ios::trunc) << settings;
}

bool ParsePpm(const std::string& bytes, PpmImage& image) {
  std::istringstream in(bytes);
  std::string magic;
  int maximum = 0;
  in >> magic >> image.width >> image.height >> maximum;
  if (!in || magic != "P6" || maximum != 255 || image.width < 0 || image.height < 0) return false;
  in.get();  // the one white-space byte before the raster
  size_t offset = size_t(in.tellg());
  size_t size = size_t(image.width) * size_t(image.height) * 3;
  if (bytes.size() != offset + size) return false;
  image.raster = bytes.substr(offset);
  return true;
}
