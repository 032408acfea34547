// What a run tells about itself: the warnings about samples that never reach
// the image, and the closing summary of -v. Both read the sensor's counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/camera.h"
#include "core/vecmath.h"
#include "sensor/sensor.h"

// How the sensor's corners dl, ul, ur run as seen from the eye.
enum SensorTurn {
  kSensorClockwise,         // as they must: lines from the samples meet the sensor's front
  kSensorCounterClockwise,  // the sensor shows its back to the samples
  kSensorEdgeOn,            // the eye lies in the sensor's plane, or the corners on one line
};

// From the sign of the normal of the triangle (dl, ul, ur) against the
// direction from dl to the eye: clockwise when the normal points away from it.
SensorTurn SensorTurnSeenFromEye(vertex3f eye, vertex3f ul, vertex3f ur, vertex3f dl);

// The reason of a run whose stored samples are none of them seen from the
// eye, or are seen but none reaches a pixel; nothing otherwise. The first of
// the sensor's shape warnings, if any, is given as the cause of the second.
std::vector<std::string> UnseenSampleWarnings(uint32_t stored, const SensorCounts& counts, SensorTurn turn,
                                              const std::vector<std::string>& shape_warnings = {});

// The share of the sensor's longer side by which the lower right corner may
// miss the place the other three corners give it before a warning says so.
constexpr double kParallelogramTolerance = 0.01;

// The warnings about sensor corners that read as nonsense: corners that span
// no area, or that are not close to a parallelogram (naming the two that look
// swapped), and a sensor behind the eye; nothing otherwise. The corners are
// used as they are all the same.
std::vector<std::string> SensorShapeWarnings(const Camera& camera);

// Seconds the run spent in each phase.
struct PhaseSeconds {
  double reading = 0;   // settings and scene
  double sampling = 0;  // the light paths
  double sensor = 0;    // visibility, brightness and projection
  double writing = 0;   // the image files
};

// The closing summary of -v, lines without line ends.
std::vector<std::string> RunSummary(uint32_t stored, const SensorCounts& counts, const PhaseSeconds& seconds);
