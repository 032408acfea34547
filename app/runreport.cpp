#include "app/runreport.h"

#include <cstdio>

namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

}  // namespace

std::vector<std::string> RunSummary(uint32_t stored, const SensorCounts& counts, const PhaseSeconds& seconds) {
  return {"corvane: " + std::to_string(stored) + " samples stored, " + std::to_string(counts.visible) +
              " seen from the eye, " + std::to_string(counts.projected) + " of them on the sensor, " +
              std::to_string(counts.lit) + " pixels lit",
          "corvane: reading " + Seconds(seconds.reading) + ", sampling " + Seconds(seconds.sampling) + ", sensor " +
              Seconds(seconds.sensor) + ", writing " + Seconds(seconds.writing)};
}
