#include "sensor/tempfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Waits until the file's bytes are on the disk, so that the rename never
// exposes a file whose contents a crash could still lose.
bool SyncFile(const std::string& name) {
  int descriptor = open(name.c_str(), O_RDONLY);
  if (descriptor < 0) return false;
  bool synced = fsync(descriptor) == 0;
  if (close(descriptor) != 0) synced = false;
  return synced;
}

}  // namespace

std::string TemporaryFileName(const std::string& name) { return name + ".tmp" + std::to_string(long(getpid())); }

bool WriteViaTemporary(const std::string& name, const std::function<bool(const std::string& temporary)>& write) {
  std::string temporary = TemporaryFileName(name);
  if (write(temporary) && SyncFile(temporary) && std::rename(temporary.c_str(), name.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}
