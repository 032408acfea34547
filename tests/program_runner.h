// Running the corvane binary, or another command, from a test.
#pragma once

#include <string>

struct ProgramResult {
  int status;          // exit status, or -1 when the program did not exit normally
  std::string output;  // standard output and standard error together
};

// Runs a shell command line in dir with standard input from /dev/null, and
// waits for it. A command that outlives timeout_seconds is killed.
ProgramResult RunCommand(const std::string& command, const std::string& dir, int timeout_seconds = 300);

// Runs the corvane binary in dir, without a terminal and without a display.
ProgramResult RunCorvane(const std::string& dir, int timeout_seconds = 300);

// Single-quotes text for the shell.
std::string ShellQuote(const std::string& text);

// Copies every regular file of the example folder into dir.
void CopyExample(const std::string& example, const std::string& dir);

// Copies the room example into dir, made if missing, with a data set of
// `samples` samples, so that a run takes a moment.
void WriteSmallRoom(const std::string& dir, int samples);

struct PpmImage {
  int width = 0;
  int height = 0;
  std::string raster;  // width * height * 3 bytes
};

// Parses a binary P6 file with maximum value 255; false when it is not one.
bool ParsePpm(const std::string& bytes, PpmImage& image);
