// How far the long stages of a run are. The sampling loop and the sensor
// stages report their counts to a Progress that the caller passes in; the
// driver passes the console's, tests and tools one that shows nothing.
#pragma once

#include <cstdint>

// The stages that report progress, in the order a run takes them.
enum ProgressPhase {
  kSamplingPhase,    // light paths fill the data set
  kVisibilityPhase,  // which samples the eye sees
  kBrightnessPhase,  // the visible samples' brightness towards the eye
  kProjectionPhase,  // the pixel each visible sample reaches
};

// Receives one phase at a time: Begin, any number of Advance, End. Only one
// thread calls it.
class Progress {
 public:
  virtual ~Progress() = default;
  // The phase starts; nothing of it is done yet.
  virtual void Begin(ProgressPhase phase) = 0;
  // done of the phase's total units are finished.
  virtual void Advance(uint32_t done, uint32_t total) = 0;
  // The phase that began last has ended.
  virtual void End() = 0;
};

// Progress that nobody watches.
class NoProgress final : public Progress {
 public:
  void Begin(ProgressPhase) override {}
  void Advance(uint32_t, uint32_t) override {}
  void End() override {}
};
