#include "app/runreport.h"

#include <algorithm>
#include <cstdio>

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

}  // namespace

SensorTurn SensorTurnSeenFromEye(vertex3f eye, vertex3f ul, vertex3f ur, vertex3f dl) {
  vector3f normal = VectorMultiply(VectorizeVertices(dl, ul), VectorizeVertices(dl, ur));
  float towards_eye = ScalarMultiply(normal, VectorizeVertices(dl, eye));
  if (towards_eye < 0.0f) return kSensorClockwise;
  if (towards_eye > 0.0f) return kSensorCounterClockwise;
  return kSensorEdgeOn;  // also NaN
}

std::vector<std::string> UnseenSampleWarnings(uint32_t stored, const SensorCounts& counts, SensorTurn turn) {
  if (stored > 0 && counts.visible == 0) {
    return {"corvane: no sample is seen from the eye (" + std::to_string(stored) +
            " stored): they face away from it or lie behind a surface; the image is black"};
  }
  if (counts.visible > 0 && counts.projected == 0) {
    std::string seen = counts.visible == 1 ? " sample is" : " samples are";
    return {"corvane: " + std::to_string(counts.visible) + seen +
            " seen from the eye, but none reaches the sensor: " + TurnExplained(turn) + "; the image is black"};
  }
  return {};
}

std::vector<std::string> SensorShapeWarnings(const Camera& camera) {
  double3 ul = ToDouble3(camera.ul);
  double3 across = Sub(ToDouble3(camera.ur), ul);
  double3 down = Sub(ToDouble3(camera.dl), ul);
  double area = Length(Cross(across, down));
  // Corners all at the origin were never set: the missing settings are
  // reported already.
  bool unset = Length(ul) == 0 && Length(across) == 0 && Length(down) == 0 && Length(ToDouble3(camera.dr)) == 0;
  if (unset) return {};
  if (!(area > 0)) {
    return {
        "corvane: the sensor's upper left, upper right and lower left corners lie on one line, so the sensor has "
        "no area; SENSORPOSITION gives them as upper left, upper right, lower left, lower right"};
  }
  double3 expected = Add(ul, Add(across, down));
  double miss = Length(Sub(ToDouble3(camera.dr), expected));
  double side = std::max(Length(across), Length(down));
  if (!(miss <= kParallelogramTolerance * side)) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%.3g units (%.0f%% of its longer side)", miss, 100 * miss / side);
    return {
        std::string("corvane: the sensor's corners are not close to a parallelogram: the lower right corner lies ") +
        numbers +
        " from where the other three put it; check that SENSORPOSITION gives them as upper left, upper "
        "right, lower left, lower right, as seen from the eye"};
  }
  return {};
}

std::vector<std::string> RunSummary(uint32_t stored, const SensorCounts& counts, const PhaseSeconds& seconds) {
  return {"corvane: " + std::to_string(stored) + " samples stored, " + std::to_string(counts.visible) +
              " seen from the eye, " + std::to_string(counts.projected) + " of them on the sensor, " +
              std::to_string(counts.lit) + " pixels lit",
          "corvane: reading " + Seconds(seconds.reading) + ", sampling " + Seconds(seconds.sampling) + ", sensor " +
              Seconds(seconds.sensor) + ", writing " + Seconds(seconds.writing)};
}
