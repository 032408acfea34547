// Reading Open Inventor and VRML (1.0 and 97) files, plain or gzip-compressed,
// through Coin into an imported model: the same records the Assimp loader
// makes, so that placement, framing, winding and writing are shared.
#pragma once

#include <cstdint>
#include <string>

#include "import/model.h"

// True when the file is for Coin: its name ends in .wrl, .wrz, .vrml or .iv
// (any case), or Coin recognises its header (an Inventor or VRML header, also
// inside a gzip-compressed file). Every other file goes to Assimp.
bool IsCoinModel(const std::string& path);

// Reads the model at path with Coin, in a process of its own, into model as
// AddSceneGraph makes it; Coin's own messages become warnings. Files beyond
// what Coin takes (WithinCoinLimits) are refused before Coin sees them.
// The process is held to memory_ceiling bytes (LoadUnderCeiling). Returns
// false, with error set to a whole message, when Coin cannot read the file,
// stops on it, passes the ceiling, or it holds no triangle.
bool LoadCoinModel(const std::string& path, bool z_up, uint64_t memory_ceiling, CVImportModel& model,
                   std::string& error);
