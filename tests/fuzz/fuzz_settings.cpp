// Settings files from the fuzzer: read "corvane.cfg" into fresh variables.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/settings.h"
#include "core/messages.h"

namespace {

// The settings file is read from the working directory: work in a fresh one.
// The program reads its files from the working directory: each input works
// in a directory of its own and goes back afterwards, since libFuzzer keeps
// its corpus and artifacts under relative names.
class InTemporaryDirectory {
 public:
  InTemporaryDirectory() {
    static std::string directory = [] {
      char pattern[] = "/tmp/corvane-fuzz-settings-XXXXXX";
      if (mkdtemp(pattern) == nullptr) std::abort();
      return std::string(pattern);
    }();
    if (getcwd(previous_, sizeof previous_) == nullptr || chdir(directory.c_str()) != 0) std::abort();
  }
  ~InTemporaryDirectory() {
    if (chdir(previous_) != 0) std::abort();
  }

 private:
  char previous_[4096];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  InTemporaryDirectory here;
  std::FILE* out = std::fopen(CONFIG_FILENAME.c_str(), "wb");
  if (out == nullptr) std::abort();
  if (size > 0 && std::fwrite(bytes, 1, size, out) != size) std::abort();
  std::fclose(out);

  uint32_t dataset_size = 50000;
  float light_chance = 0.5f;
  std::string filename;
  bool wireframe = false;
  vertex3f eyev{0, 0, 0}, centerv{0, 0, 0}, upv{0, 0, 0};
  vertex3f ulv{0, 0, 0}, urv{0, 0, 0}, dlv{0, 0, 0}, drv{0, 0, 0};
  bool accepted = ReadSettings(dataset_size, light_chance, filename, wireframe, eyev, centerv, upv, ulv, urv, dlv, drv);
  // An accepted file never leaves a data set size beyond the limit, and a
  // refusal always says why.
  if (accepted && dataset_size > kDataSetSizeLimit) std::abort();
  if (!accepted && TakeInputProblems().empty()) std::abort();
  TakeInputProblems();
  return 0;
}
