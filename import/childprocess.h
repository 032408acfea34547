// Running a model loader in a child process, so that a library that crashes,
// aborts or runs out of stack on a damaged file ends the import with a message
// instead of taking the importer down.
#pragma once

#include <string>

#include "import/model.h"

// Runs load in a forked child and copies what it made (the model, or the
// error, and the warnings) back through a pipe. When the child ends without
// handing over a whole result, returns false with error naming path, the
// reader (as "Coin") and how the child ended. An exception that leaves load
// ends the child with a message too. The child ends with _exit, so that
// nothing the parent registered to run at exit runs twice. Without a pipe or
// a child process, load runs in this process.
bool LoadInChildProcess(const CVModelLoad& load, const std::string& path, const std::string& reader,
                        CVImportModel& model, std::string& error);
