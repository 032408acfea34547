// Files for the fuzz harnesses. The program reads its files from the working
// directory, and libFuzzer keeps its corpus and artifacts under relative
// names: each input works in a directory of the process's own and goes back
// afterwards.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class InTemporaryDirectory {
 public:
  InTemporaryDirectory() {
    static std::string directory = [] {
      char pattern[] = "/tmp/corvane-fuzz-XXXXXX";
      if (mkdtemp(pattern) == nullptr) std::abort();
      return std::string(pattern);
    }();
    if (getcwd(previous_, sizeof previous_) == nullptr || chdir(directory.c_str()) != 0) std::abort();
  }
  ~InTemporaryDirectory() {
    if (chdir(previous_) != 0) std::abort();
  }
  InTemporaryDirectory(const InTemporaryDirectory&) = delete;
  InTemporaryDirectory& operator=(const InTemporaryDirectory&) = delete;

 private:
  char previous_[4096];
};

// Writes the bytes to name in the working directory.
inline void WriteFuzzFile(const std::string& name, const char* bytes, size_t size) {
  std::FILE* out = std::fopen(name.c_str(), "wb");
  if (out == nullptr) std::abort();
  if (size > 0 && std::fwrite(bytes, 1, size, out) != size) std::abort();
  std::fclose(out);
}
