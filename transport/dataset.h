// The fixed-capacity set of samples: every point where a light path struck a
// surface, with the choice of the sample to continue and its Russian roulette.
#pragma once

#include <cstdint>

#include "core/check.h"
#include "core/vecmath.h"

struct CVSample {
  int16_t object;     // index of the scene object hit
  uint8_t reserved;   // 0 for a new path; inherited by continued samples
  vertex3f position;  // the hit point
  vector3f incoming;  // the ray that arrived: origin where it left, its direction
  vector3f normal;    // the triangle's normal ray (origin at its first corner, unnormalised)
  float weight;       // product of reflectance factors; the roulette's survival probability
  float brightness;   // product of lobe factors; later the brightness seen from the eye
  bool absorbed;      // the roulette ended the path here
  bool visible;       // seen from the eye
};

struct CVDataSet {
  uint32_t capacity;
  uint32_t count;
  CVSample* samples;
};

// Sets the capacity, empties the set and allocates the slots. Returns false
// (with no slots, capacity 0) when the memory cannot be obtained.
bool AllocateDataSet(CVDataSet& dataset, uint32_t capacity);

// Releases the slots.
void FreeDataSet(CVDataSet& dataset);

// Appends a copy with `absorbed` cleared; false, changing nothing, when full.
// Here, so that the sampling loops store the sample without copying it twice.
inline bool InsertIntoDataSet(CVDataSet& dataset, CVSample sample) {
  CORVANE_CHECK(dataset.count <= dataset.capacity);
  if (dataset.count >= dataset.capacity) return false;
  sample.absorbed = false;
  dataset.samples[dataset.count] = sample;
  dataset.count++;
  return true;
}

// The slots are paged in a stretch at a time, a stretch ahead of the samples
// stored (see core/paging.h): stretch 0 before the first sample, and the
// stretch after each one that a stored sample opens.
constexpr size_t kPagedStretchBytes = size_t(2) << 20;

// The stretch due once `count` samples are stored: the one after the stretch
// that slot count - 1 opened, or 0 when that slot opened none.
uint64_t StretchDueAfter(uint32_t count);

// Pages in the slots of a stretch (none past the capacity).
void PageInStretch(const CVDataSet& dataset, uint64_t stretch);

// Chooses a sample to continue, with exactly two genrand_real2 draws, and
// returns a copy of it; marks at most one sample absorbed in the shared slots.
// Requires count >= 1.
CVSample GetSampleFromDataSet(CVDataSet dataset);

// What a choice did to the shared slots, so that it can be taken back.
struct DataSetPick {
  uint32_t chosen;     // the slot whose absorbed flag the choice may have changed
  bool chosen_was;     // that flag before the choice
  uint32_t continued;  // the slot of the sample returned
};

// GetSampleFromDataSet when only the first `known` slots may be read or
// marked (the later ones are still being traced): the same two draws and the
// same choice, recorded in pick. False, with every flag as it was, when the
// choice would need a slot at or after `known`. Requires count >= 1.
bool PickFromKnownSlots(CVDataSet dataset, uint32_t known, DataSetPick& pick);

// One genrand_real2 draw: true when it is at most the sample's weight.
bool RussianRoulette(CVSample sample);
