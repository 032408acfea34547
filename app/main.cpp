#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/driver.h"
#include "app/options.h"
#include "app/viewer.h"
#include "core/messages.h"

namespace {

// The display named by -display, or empty for the one in $DISPLAY.
std::string DisplayName(const CommandLine& options) {
  const std::vector<std::string>& words = options.window_options;
  std::string name;
  for (size_t i = 0; i < words.size(); ++i) {
    bool with_value = words[i] == "-display" || words[i] == "-geometry";
    if (words[i] == "-display" && i + 1 < words.size()) name = words[i + 1];
    if (with_value) ++i;
  }
  return name;
}

// Opens the window with the X options of the command line.
void OpenWindow(const CommandLine& options, const char* program) {
  std::vector<std::string> words{program};
  words.insert(words.end(), options.window_options.begin(), options.window_options.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  OpenViewer(int(words.size()), argv.data());
}

void ReportWindowKeys(const CommandLine& options) {
  if (!options.quiet) std::fprintf(stderr, "%s\n", kViewerKeysLine);
}

// The line that says where the files are, or that no window opens.
void ReportFiles(const CommandLine& options, const RunFiles& files, bool window) {
  if (options.quiet) return;
  if (window || options.no_window) {
    std::fprintf(stderr, "corvane: %s\n", WrittenFilesText(files).c_str());
  } else {
    std::fprintf(stderr, "corvane: no display is available, so no window opens; %s\n", WrittenFilesText(files).c_str());
  }
}

// After the run: the window, or the line that says why there is none. An
// image with no lit pixel has its reason said last, even by a quiet run, and
// before the window opens, so that its empty view is explained.
void ShowSamples(const CommandLine& options, const RunFiles& files, int status, const char* program) {
  bool window = !options.no_window && DisplayAvailable(DisplayName(options));
  if (status == kExitImageEmpty) {
    if (window) ReportWindowKeys(options);
    ReportFiles(options, files, window);
    std::fprintf(stderr, "%s\n", TakeEmptyImageReason().c_str());
    if (window) OpenWindow(options, program);
    return;
  }
  if (window) {
    ReportWindowKeys(options);
    OpenWindow(options, program);
    if (!options.quiet) ReportImageAfterWindow(status, WrittenFilesText(files));
    return;
  }
  if (status == kExitImageWritten) {
    ReportFiles(options, files, window);
  } else if (!options.quiet && !options.no_window) {
    std::fprintf(stderr, "corvane: no display is available, so no window opens\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  ParsedCommandLine parsed = ParseCommandLine(argc, argv);
  if (!parsed.ok) {
    std::fputs(parsed.error.c_str(), stderr);
    return kExitInputRefused;
  }
  const CommandLine& options = parsed.options;
  if (options.help || options.version) {
    std::fputs((options.help ? HelpText() : VersionText()).c_str(), stdout);
    return EXIT_SUCCESS;
  }

  RunFiles files;
  if (!EnterSceneFolder(options, files)) return kExitInputRefused;
  int status = RunSimulation(options, files);
  if (status != kExitImageWritten && status != kExitImageEmpty && status != kExitImageNotWritten) return status;
  ShowSamples(options, files, status, argv[0]);
  return status;
}
