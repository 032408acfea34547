// A ceiling on the memory a model reader may take, so that a hostile file
// (a point count in the billions, a face list that never ends) stops the
// import at once with a message instead of taking the machine.
#pragma once

#include <cstdint>
#include <string>

#include "import/model.h"

// Half of the machine's physical memory: the ceiling when none is given.
uint64_t DefaultMemoryCeiling();

// Runs load with this process's address space limited to ceiling bytes (a
// child forked meanwhile inherits the limit), then gives the limit before it
// back. When an allocation failed against the ceiling and load gave no model,
// returns false with error saying that reading path needed more than ceiling
// bytes, followed by the reader's own error. Builds under AddressSanitizer,
// which reserves terabytes of address space for itself, run load unlimited.
bool LoadUnderCeiling(const CVModelLoad& load, uint64_t ceiling, const std::string& path, CVImportModel& model,
                      std::string& error);
