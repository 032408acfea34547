// The whole run of corvane-import: options, model, placement, checks, files.
#pragma once

#include <ostream>
#include <string>
#include <vector>

enum CVImportStatus {
  kImportWritten = 0,
  kImportModelUnusable = 1,  // unreadable, no triangles, or too many objects
  kImportBadOptions = 2,
  kImportNotWritten = 3,
};

// Runs the importer on the arguments (without the program name): writes the
// scene file and corvane.cfg, a summary to out, warnings and errors to err
// (one line each, starting "corvane-import: "). Returns a CVImportStatus.
int RunImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
