// Files written beside their target and renamed into place, so that a reader
// sees either the earlier file or the whole new one.
#pragma once

#include <functional>
#include <string>

// The temporary that stands in for name while it is written: name, ".tmp"
// and the process id, beside the target so that the rename stays within one
// file system.
std::string TemporaryFileName(const std::string& name);

// Calls write(temporary) to fill a temporary file, flushes it to the disk and
// renames it to name. Returns true when all of that succeeded; otherwise
// removes the temporary, and an earlier file called name is left as it was.
bool WriteViaTemporary(const std::string& name, const std::function<bool(const std::string& temporary)>& write);
