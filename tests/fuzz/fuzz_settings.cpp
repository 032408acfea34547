// Settings files from the fuzzer: read "corvane.cfg" into a fresh record.
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

  Settings settings;
  bool accepted = ReadSettings(settings);
  // An accepted file never leaves a data set size beyond the limit, and a
  // refusal always says why.
  if (accepted && settings.dataset_size > kDataSetSizeLimit) std::abort();
  if (!accepted && TakeInputProblems().empty()) std::abort();
  TakeInputProblems();
  return 0;
}
