#include <unistd.h>

#include <cstdio>

#include "app/driver.h"
#include "app/viewer.h"

int main(int argc, char** argv) {
  int status = RunSimulation();
  if (status != kExitImageWritten && status != kExitImageNotWritten) return status;

  if (!DisplayAvailable()) {
    if (status == kExitImageWritten) {
      char cwd[4096];
      const char* where = getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
      std::fprintf(stderr, "corvane: no display is available, so no window opens; the image is %s/%s\n", where,
                   kImageFileName);
    } else {
      std::fprintf(stderr, "corvane: no display is available, so no window opens\n");
    }
    return status;
  }
  OpenViewer(argc, argv);
  return status;
}
