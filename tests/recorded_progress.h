// A Progress that keeps every report, with the thread that made it, for the
// tests of the stages that report.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

#include "core/progress.h"

struct ProgressReport {
  enum Kind { kBegin, kAdvance, kEnd } kind;
  ProgressPhase phase;  // the phase that began last
  uint32_t done;
  uint32_t total;
  std::thread::id thread;
};

class RecordedProgress final : public Progress {
 public:
  void Begin(ProgressPhase phase) override {
    phase_ = phase;
    Keep(ProgressReport::kBegin, 0, 0);
  }
  void Advance(uint32_t done, uint32_t total) override { Keep(ProgressReport::kAdvance, done, total); }
  void End() override { Keep(ProgressReport::kEnd, 0, 0); }

  std::vector<ProgressReport> reports;

 private:
  void Keep(ProgressReport::Kind kind, uint32_t done, uint32_t total) {
    reports.push_back(ProgressReport{kind, phase_, done, total, std::this_thread::get_id()});
  }
  ProgressPhase phase_ = kSamplingPhase;
};
