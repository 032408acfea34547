#include "app/runreport.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

std::string TurnExplained(SensorTurn turn) {
  const std::string rule =
      "its corners dl, ul, ur (the third, first and second lines of SENSORPOSITION) must run "
      "clockwise as seen from the eye";
  if (turn == kSensorCounterClockwise) return rule + ", and they run counter-clockwise";
  if (turn == kSensorEdgeOn) return rule + ", but the eye lies in the sensor's plane or the corners on one line";
  return rule + ", as they do, so the sensor lies outside the lines from the samples to the eye";
}

// How far the lower right corner lies from where the other three put it.
double ParallelogramMiss(const double3 corners[4]) {
  double3 expected = Add(corners[1], Sub(corners[2], corners[0]));
  return Length(Sub(corners[3], expected));
}

double LongerSide(const double3 corners[4]) {
  return std::max(Length(Sub(corners[1], corners[0])), Length(Sub(corners[2], corners[0])));
}

// Names the two corners whose exchange gives a parallelogram that runs
// clockwise as seen from the eye, the sensor the corners were meant to be.
std::string SwapAdvice(vertex3f eye, const double3 given[4]) {
  static const char* const kNames[4] = {"upper left", "upper right", "lower left", "lower right"};
  for (int a = 0; a < 4; ++a) {
    for (int b = a + 1; b < 4; ++b) {
      double3 corners[4] = {given[0], given[1], given[2], given[3]};
      std::swap(corners[a], corners[b]);
      if (!(ParallelogramMiss(corners) <= kParallelogramTolerance * LongerSide(corners))) continue;
      vertex3f ul{float(corners[0].x), float(corners[0].y), float(corners[0].z)};
      vertex3f ur{float(corners[1].x), float(corners[1].y), float(corners[1].z)};
      vertex3f dl{float(corners[2].x), float(corners[2].y), float(corners[2].z)};
      if (SensorTurnSeenFromEye(eye, ul, ur, dl) != kSensorClockwise) continue;
      return std::string("the ") + kNames[a] + " and " + kNames[b] +
             " corners look swapped: SENSORPOSITION gives them as upper left, upper right, lower left, lower "
             "right, as seen from the eye";
    }
  }
  return "check that SENSORPOSITION gives them as upper left, upper right, lower left, lower right, as seen from "
         "the eye";
}

}  // namespace

SensorTurn SensorTurnSeenFromEye(vertex3f eye, vertex3f ul, vertex3f ur, vertex3f dl) {
  vector3f normal = VectorMultiply(VectorizeVertices(dl, ul), VectorizeVertices(dl, ur));
  float towards_eye = ScalarMultiply(normal, VectorizeVertices(dl, eye));
  if (towards_eye < 0.0f) return kSensorClockwise;
  if (towards_eye > 0.0f) return kSensorCounterClockwise;
  return kSensorEdgeOn;  // also NaN
}

std::vector<std::string> UnseenSampleWarnings(uint32_t stored, const SensorCounts& counts, SensorTurn turn,
                                              const std::vector<std::string>& shape_warnings) {
  if (stored > 0 && counts.visible == 0) {
    return {"corvane: no sample is seen from the eye (" + std::to_string(stored) +
            " stored): they face away from it or lie behind a surface; the image is black; move the eye (the "
            "first line of CAMERAPOSITION) to where it sees the lit side of the surfaces"};
  }
  if (counts.visible > 0 && counts.projected == 0) {
    std::string seen = counts.visible == 1 ? " sample is" : " samples are";
    // The sensor's shape, when it is wrong, is the likelier cause.
    const std::string prefix = "corvane: ";
    std::string why = shape_warnings.empty() ? TurnExplained(turn) : shape_warnings.front().substr(prefix.size());
    return {"corvane: " + std::to_string(counts.visible) + seen +
            " seen from the eye, but none reaches the sensor: " + why + "; the image is black"};
  }
  return {};
}

std::vector<std::string> SensorShapeWarnings(const Camera& camera) {
  const double3 corners[4] = {ToDouble3(camera.ul), ToDouble3(camera.ur), ToDouble3(camera.dl), ToDouble3(camera.dr)};
  // Corners all at the origin were never set: the missing settings are
  // reported already.
  if (std::all_of(corners, corners + 4, [](double3 corner) { return Length(corner) == 0; })) return {};
  if (!(Length(Cross(Sub(corners[1], corners[0]), Sub(corners[2], corners[0]))) > 0)) {
    return {
        "corvane: the sensor's upper left, upper right and lower left corners lie on one line, so the sensor has "
        "no area; SENSORPOSITION gives them as upper left, upper right, lower left, lower right"};
  }
  std::vector<std::string> warnings;
  double miss = ParallelogramMiss(corners);
  if (!(miss <= kParallelogramTolerance * LongerSide(corners))) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%.3g units (%.0f%% of its longer side)", miss,
                  100 * miss / LongerSide(corners));
    warnings.push_back(
        std::string("corvane: the sensor's corners are not close to a parallelogram: the lower right corner lies ") +
        numbers + " from where the other three put it; " + SwapAdvice(camera.eye, corners));
  }
  double3 eye = ToDouble3(camera.eye);
  double3 sight = Sub(ToDouble3(camera.center), eye);
  double3 middle = Scale(0.25, Add(Add(corners[0], corners[1]), Add(corners[2], corners[3])));
  if (Length(sight) > 0 && Dot(Sub(middle, eye), sight) <= 0) {
    warnings.push_back(
        "corvane: the sensor lies behind the eye: the eye (the first line of CAMERAPOSITION) is between the "
        "sensor and the point it looks at (the second line), so the picture comes out upside down or empty; "
        "put SENSORPOSITION between the eye and the scene");
  }
  return warnings;
}

std::vector<std::string> RunSummary(uint32_t stored, const SensorCounts& counts, const PhaseSeconds& seconds) {
  return {"corvane: " + std::to_string(stored) + " samples stored, " + std::to_string(counts.visible) +
              " seen from the eye, " + std::to_string(counts.projected) + " of them on the sensor, " +
              std::to_string(counts.lit) + " pixels lit",
          "corvane: reading " + Seconds(seconds.reading) + ", sampling " + Seconds(seconds.sampling) + ", sensor " +
              Seconds(seconds.sensor) + ", writing " + Seconds(seconds.writing)};
}
