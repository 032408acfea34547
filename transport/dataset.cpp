// The sample data set: appending hits and choosing the sample to continue.
#include "transport/dataset.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/check.h"
#include "core/mt19937.h"
#include "core/paging.h"

namespace {

// The slot after i, wrapping to slot 0 after the last stored sample.
size_t NextSlot(size_t i, size_t count) { return i + 1 == count ? 0 : i + 1; }

// A walk that reached a slot it may not read.
constexpr size_t kUnknownSlot = SIZE_MAX;

// The first slot after `from` (walking on, wrapping around) that is not
// absorbed, or `from` itself when the walk comes back to it; kUnknownSlot
// when the walk meets a slot at or after `known` first.
size_t LiveSlotAfter(const CVSample* samples, size_t from, size_t count, size_t known) {
  size_t slot = NextSlot(from, count);
  while (slot != from) {
    if (slot >= known) return kUnknownSlot;
    if (!samples[slot].absorbed) break;
    slot = NextSlot(slot, count);
  }
  return slot;
}

}  // namespace

bool AllocateDataSet(CVDataSet& dataset, uint32_t capacity) {
  dataset.capacity = 0;
  dataset.count = 0;
  dataset.samples = nullptr;
  if (capacity == 0) return true;
  void* slots = std::malloc(size_t(capacity) * sizeof(CVSample));
  if (slots == nullptr) return false;
  dataset.samples = static_cast<CVSample*>(slots);
  dataset.capacity = capacity;
  // Continued paths read the slots at random, and the sensor stages read
  // them all.
  AskForLargePages(slots, size_t(capacity) * sizeof(CVSample));
  return true;
}

void FreeDataSet(CVDataSet& dataset) {
  std::free(dataset.samples);
  dataset.samples = nullptr;
  dataset.capacity = 0;
  dataset.count = 0;
}

uint64_t StretchDueAfter(uint32_t count) {
  if (count == 0) return 0;
  uint64_t start = uint64_t(count - 1) * sizeof(CVSample);
  uint64_t stretch = start / kPagedStretchBytes;
  bool opened = count == 1 || (start - sizeof(CVSample)) / kPagedStretchBytes != stretch;
  return opened ? stretch + 1 : 0;
}

void PageInStretch(const CVDataSet& dataset, uint64_t stretch) {
  uint64_t size = uint64_t(dataset.capacity) * sizeof(CVSample);
  uint64_t begin = stretch * kPagedStretchBytes;
  if (begin >= size) return;
  PageInForWriting(reinterpret_cast<char*>(dataset.samples) + begin,
                   size_t(std::min(size - begin, uint64_t(kPagedStretchBytes))));
}

bool PickFromKnownSlots(CVDataSet dataset, uint32_t known, DataSetPick& pick) {
  // Both draws happen on every call, whatever is found: the sequence of draws
  // decides the rest of the run.
  double r1 = genrand_real2();
  size_t count = dataset.count;
  CVSample* samples = dataset.samples;
  CORVANE_CHECK(count >= 1 && count <= dataset.capacity && known <= count);

  size_t start = size_t(r1 * double(count));
  if (start >= count) start = count - 1;  // r1 < 1, but keep the index inside the set regardless
  if (start >= known) {
    genrand_real2();
    return false;
  }

  size_t chosen = samples[start].absorbed ? LiveSlotAfter(samples, start, count, known) : start;
  if (chosen == kUnknownSlot) {
    genrand_real2();
    return false;
  }
  pick.chosen = uint32_t(chosen);
  pick.chosen_was = samples[chosen].absorbed;
  pick.continued = uint32_t(chosen);
  bool revived = samples[chosen].absorbed;  // every sample is absorbed: chosen is the start slot
  if (revived) samples[chosen].absorbed = false;

  double r2 = genrand_real2();
  if (revived || r2 <= double(samples[chosen].weight)) return true;

  // The roulette ends the path at the chosen slot; the next live sample is
  // continued instead, without a roulette of its own.
  samples[chosen].absorbed = true;
  size_t next = LiveSlotAfter(samples, chosen, count, known);
  if (next == kUnknownSlot) {
    samples[chosen].absorbed = false;
    return false;
  }
  if (next == chosen) {
    samples[chosen].absorbed = false;  // it was the last live sample
  }
  pick.continued = uint32_t(next);
  return true;
}

CVSample GetSampleFromDataSet(CVDataSet dataset) {
  if (dataset.count == 0 || dataset.samples == nullptr) {
    genrand_real2();
    genrand_real2();
    return CVSample{};  // nothing stored: an all-zero sample rather than a read out of bounds
  }
  DataSetPick pick;
  PickFromKnownSlots(dataset, dataset.count, pick);
  return dataset.samples[pick.continued];
}

bool RussianRoulette(CVSample sample) {
  double r = genrand_real2();
  return r <= double(sample.weight);
}
