// Settings files from the fuzzer: read "corvane.cfg" into fresh variables.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/settings.h"
#include "core/messages.h"
#include "tests/fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  InTemporaryDirectory here;
  WriteFuzzFile(CONFIG_FILENAME, reinterpret_cast<const char*>(bytes), size);

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
