// Temporary directories and small files for tests that read or write files.
#pragma once

#include <string>

// A fresh empty directory under the system's temporary directory, removed
// with its contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path()/name
  std::string File(const std::string& name) const;
  // Writes contents (bytes as given) to path()/name and returns that path.
  std::string Write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

// The whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// Runs body with the working directory set to dir, then changes back.
template <typename Body>
void InDirectory(const std::string& dir, Body body);

// Implementation detail of InDirectory.
std::string CurrentDirectory();
void ChangeDirectory(const std::string& dir);

template <typename Body>
void InDirectory(const std::string& dir, Body body) {
  std::string previous = CurrentDirectory();
  ChangeDirectory(dir);
  body();
  ChangeDirectory(previous);
}
