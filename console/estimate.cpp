#include "console/estimate.h"

#include <cmath>
#include <cstdio>

namespace {

// Whole numbers held in a double, without a fraction and without the range
// limit of a conversion to an integer type.
std::string WholeText(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

}  // namespace

std::string GroupedCount(uint32_t count) {
  std::string digits = std::to_string(count);
  std::string text;
  for (size_t k = 0; k < digits.size(); ++k) {
    if (k > 0 && (digits.size() - k) % 3 == 0) text += ',';
    text += digits[k];
  }
  return text;
}

std::string RateText(double per_second) {
  const char* const prefixes[] = {" ", " k", " M", " G"};
  int prefix = 0;
  // 999.5 would round to "1000": the next prefix shows it as "1.00".
  while (per_second >= 999.5 && prefix < 3) {
    per_second /= 1000.0;
    ++prefix;
  }
  int decimals = per_second < 9.995 ? 2 : (per_second < 99.95 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text, "%.*f%s/s", decimals, per_second, prefixes[prefix]);
  return text;
}

std::string TimeLeftText(double seconds) {
  if (seconds < 1.0) return "less than a second left";
  double whole_seconds = std::round(seconds);
  if (whole_seconds < 60.0) return "about " + WholeText(whole_seconds) + " s left";
  if (whole_seconds < 3600.0) {
    double minutes = std::floor(whole_seconds / 60.0);
    double rest = whole_seconds - 60.0 * minutes;
    std::string text = "about " + WholeText(minutes) + " min";
    if (rest > 0.0) text += " " + WholeText(rest) + " s";
    return text + " left";
  }
  double whole_minutes = std::round(seconds / 60.0);
  double hours = std::floor(whole_minutes / 60.0);
  double rest = whole_minutes - 60.0 * hours;
  std::string text = "about " + WholeText(hours) + " h";
  if (rest > 0.0) text += " " + WholeText(rest) + " min";
  return text + " left";
}

double SecondsLeft(uint32_t done, uint32_t total, double seconds) {
  if (done >= total) return 0.0;
  return seconds * (double(total - done) / double(done));
}

std::string SamplingEstimate(uint32_t done, uint32_t total, double seconds) {
  std::string text =
      "Samples: " + GroupedCount(done) + " of " + GroupedCount(total) + " - " + RateText(double(done) / seconds);
  if (done == 0) return text;
  return text + " - " + TimeLeftText(SecondsLeft(done, total, seconds));
}

std::string SensorEstimate(uint32_t done, uint32_t total, double seconds) {
  if (done == 0) return "";
  return "Sensor stage: " + TimeLeftText(SecondsLeft(done, total, seconds));
}
