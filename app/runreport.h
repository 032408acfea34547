// What a run tells about itself: the closing summary of -v.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sensor/sensor.h"

// Seconds the run spent in each phase.
struct PhaseSeconds {
  double reading = 0;   // settings and scene
  double sampling = 0;  // the light paths
  double sensor = 0;    // visibility, brightness and projection
  double writing = 0;   // the image files
};

// The closing summary of -v, lines without line ends.
std::vector<std::string> RunSummary(uint32_t stored, const SensorCounts& counts, const PhaseSeconds& seconds);
