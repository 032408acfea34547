// The samples file: a data set as the sampling loop left it, so that other
// views of the same trace skip the sampling. Little-endian on disk; the
// layout is described in docs/samples-file.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/progress.h"
#include "transport/dataset.h"
#include "transport/sampling.h"

constexpr char kSamplesMagic[8] = {'C', 'V', 'S', 'A', 'M', 'P', 'L', 'E'};
constexpr uint32_t kSamplesVersion = 1;
constexpr size_t kSamplesHeaderSize = 56;
// A record is the sample's bytes in memory, padding written as 0.
constexpr size_t kSampleRecordSize = 76;

// What a trace depends on besides the seed: the scene file's bytes and the
// settings DATASETSIZE and LIGHTCHANCE. The camera and the sensor do not
// shape it, so one file serves every view of the scene.
struct TraceOrigin {
  uint64_t scene_hash;     // Hash64 of the scene file's bytes
  uint64_t settings_hash;  // TraceSettingsHash of the two settings
  uint32_t capacity;       // DATASETSIZE
};

// Hash64 of the named file's bytes; a file that cannot be read counts as
// empty, as the scene reader then builds an empty scene.
uint64_t SceneFileHash(const std::string& name);

// Hash64 of DATASETSIZE and of LIGHTCHANCE's bits, four little-endian bytes each.
uint64_t TraceSettingsHash(uint32_t dataset_size, float light_chance);

// Writes dataset's samples and how its sampling ended to the file path.
// False when the file could not be written whole.
bool WriteSamplesFile(const std::string& path, const CVDataSet& dataset, SamplingEnd end, TraceOrigin origin);

// Reads the file path into dataset, whose capacity must be origin's, and
// sets end; every sample's object must be below object_count. Reports the
// records read to progress. Returns why the file was refused ("it was made
// for another scene"), or empty when it was read; after a refusal the set
// holds no samples.
std::string ReadSamplesFile(const std::string& path, TraceOrigin origin, int object_count, CVDataSet& dataset,
                            SamplingEnd& end, Progress& progress);
