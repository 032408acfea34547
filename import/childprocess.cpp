#include "import/childprocess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <type_traits>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// The result travels as plain bytes: counts as 64-bit numbers, then the
// records' bytes. Parent and child are the same program, so the layouts agree.
void PutCount(std::string& out, uint64_t count) { out.append(reinterpret_cast<const char*>(&count), sizeof count); }

void PutText(std::string& out, const std::string& text) {
  PutCount(out, text.size());
  out += text;
}

template <typename Record>
void PutRecords(std::string& out, const std::vector<Record>& records) {
  static_assert(std::is_trivially_copyable<Record>::value, "records travel as bytes");
  PutCount(out, records.size());
  out.append(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(Record));
}

std::string Serialised(bool loaded, const CVImportModel& model, const std::string& error) {
  std::string out;
  PutCount(out, loaded ? 1 : 0);
  PutText(out, error);
  PutCount(out, model.warnings.size());
  for (const std::string& warning : model.warnings) PutText(out, warning);
  PutCount(out, uint64_t(model.lights_left_out));
  PutRecords(out, model.lights);
  PutCount(out, model.meshes.size());
  for (const CVImportMesh& mesh : model.meshes) {
    PutText(out, mesh.name);
    PutRecords(out, std::vector<CVImportMaterial>{mesh.material});
    PutRecords(out, mesh.points);
    PutRecords(out, mesh.faces);
  }
  return out;
}

// Reads back what Serialised wrote; false when the bytes end early.
struct Reader {
  const std::string& in;
  size_t at = 0;

  bool Bytes(void* to, size_t size) {
    if (in.size() - at < size) return false;
    if (size > 0) std::memcpy(to, in.data() + at, size);
    at += size;
    return true;
  }
  bool Count(uint64_t& count) { return Bytes(&count, sizeof count); }
  bool Text(std::string& text) {
    uint64_t size = 0;
    if (!Count(size) || in.size() - at < size) return false;
    text.assign(in, at, size_t(size));
    at += size_t(size);
    return true;
  }
  template <typename Record>
  bool Records(std::vector<Record>& records) {
    uint64_t count = 0;
    if (!Count(count) || (in.size() - at) / sizeof(Record) < count) return false;
    records.resize(size_t(count));
    return Bytes(records.data(), size_t(count) * sizeof(Record));
  }
};

bool Deserialised(const std::string& in, bool& loaded, CVImportModel& model, std::string& error) {
  Reader r{in};
  uint64_t flag = 0, warnings = 0, left_out = 0, meshes = 0;
  if (!r.Count(flag) || !r.Text(error) || !r.Count(warnings)) return false;
  loaded = flag == 1;
  for (uint64_t i = 0; i < warnings; ++i) {
    std::string warning;
    if (!r.Text(warning)) return false;
    model.warnings.push_back(warning);
  }
  if (!r.Count(left_out) || !r.Records(model.lights) || !r.Count(meshes)) return false;
  model.lights_left_out = long(left_out);
  for (uint64_t i = 0; i < meshes; ++i) {
    CVImportMesh mesh;
    std::vector<CVImportMaterial> material;
    if (!r.Text(mesh.name) || !r.Records(material) || material.size() != 1 || !r.Records(mesh.points) ||
        !r.Records(mesh.faces)) {
      return false;
    }
    mesh.material = material[0];
    model.meshes.push_back(std::move(mesh));
  }
  return r.at == in.size();
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the parent sees a result cut short
    done += size_t(n);
  }
}

std::string ReadAll(int fd) {
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return bytes;
    bytes.append(buffer, size_t(n));
  }
}

[[noreturn]] void RunChild(const CVModelLoad& load, const std::string& path, const std::string& reader, int fd) {
  CVImportModel model;
  std::string error;
  bool loaded = false;
  try {
    loaded = load(model, error);
  } catch (const std::bad_alloc&) {
    model = CVImportModel{};
    error = "corvane-import: cannot read the model " + path + ": " + reader + " ran out of memory on it";
  } catch (const std::exception& e) {
    model = CVImportModel{};
    error = "corvane-import: cannot read the model " + path + ": " + reader + " failed: " + e.what();
  }
  WriteAll(fd, Serialised(loaded, model, error));
  close(fd);
#if defined(__SANITIZE_ADDRESS__)
  // _exit skips the leak check that an ordinary exit runs.
  __lsan_do_leak_check();
#endif
  _exit(0);
}

std::string HowItEnded(int status) {
  if (WIFSIGNALED(status)) {
    int signal = WTERMSIG(status);
    return "was stopped by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
  }
  if (WIFEXITED(status)) return "ended with status " + std::to_string(WEXITSTATUS(status));
  return "ended";
}

// The child's own error output, from the start of the file it went to.
std::string ErrorOutput(std::FILE* file) {
  if (file == nullptr) return "";
  std::rewind(file);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

std::string FirstLine(const std::string& text) {
  size_t start = text.find_first_not_of("\n");
  if (start == std::string::npos) return "";
  return text.substr(start, text.find('\n', start) - start);
}

}  // namespace

bool LoadInChildProcess(const CVModelLoad& load, const std::string& path, const std::string& reader,
                        CVImportModel& model, std::string& error) {
  model = CVImportModel{};
  int fds[2];
  if (pipe(fds) != 0) return load(model, error);  // no pipe: read in this process
  // What the child prints itself (the C library's last words when the reader
  // breaks its stack, a sanitizer's report) is kept apart, to be passed on.
  std::FILE* child_errors = std::tmpfile();
  // Output still buffered would be written twice, by both processes.
  std::fflush(nullptr);
  pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    if (child_errors != nullptr) std::fclose(child_errors);
    return load(model, error);
  }
  if (child == 0) {
    close(fds[0]);
    if (child_errors != nullptr) dup2(fileno(child_errors), STDERR_FILENO);
    RunChild(load, path, reader, fds[1]);
  }
  close(fds[1]);
  std::string bytes = ReadAll(fds[0]);
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::string printed = ErrorOutput(child_errors);
  bool loaded = false;
  if (Deserialised(bytes, loaded, model, error)) {
    std::fputs(printed.c_str(), stderr);
    return loaded;
  }
  model = CVImportModel{};
  std::string last_words = FirstLine(printed);
  error = "corvane-import: cannot read the model " + path + ": " + reader + " " + HowItEnded(status) +
          " while reading it" + (last_words.empty() ? "" : " (\"" + last_words + "\")") +
          "; the file is damaged or goes beyond what " + reader + " handles";
  // More than one line is a report worth seeing whole.
  size_t first_end = printed.find('\n');
  if (first_end != std::string::npos && first_end + 1 < printed.size()) std::fputs(printed.c_str(), stderr);
  return false;
}
