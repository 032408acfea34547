#include "scene/vrmlfields.h"

#include <cmath>
#include <string_view>

#include "core/linetext.h"
#include "scene/vrmlreader.h"

namespace {

// Blanks, commas and tabs end a value; made on first use, after the
// keywords exist.
const std::string& Separators() {
  static const std::string separators = P_SPC + P_COLON + P_TAB;
  return separators;
}

float& Holder(CV_line_values& values, int slot) {
  switch (slot) {
    case 0:
      return values.first;
    case 1:
      return values.second;
    case 2:
      return values.third;
    default:
      return values.fourth;
  }
}

}  // namespace

CV_line_values ParseKeywordLine(const std::string& line, const std::string& keyword, int value_count) {
  CV_line_values values{0, 0, 0, 0, 0};
  if (value_count < 1 || value_count > 4) return values;
  size_t at = line.find(keyword);
  if (at == std::string::npos) return values;
  size_t start = at + keyword.size() + 1;
  if (start >= line.size()) return values;

  // Closed tokens fill the slots before the last one; the last slot takes
  // only the token left open at the end, and only when the others are full.
  int closed_slots = value_count - 1;
  int closed = 0;
  std::string_view open = ScanTokens(std::string_view(line).substr(start), Separators(), [&](std::string_view token) {
    if (closed < closed_slots) Holder(values, closed) = FloatFromToken(token);
    closed++;
  });
  values.count = closed < closed_slots ? closed : closed_slots;
  if (!open.empty() && closed >= closed_slots) {
    Holder(values, value_count - 1) = FloatFromToken(open);
    values.count++;
  }
  return values;
}

CV_line_values ParseListLine(const std::string& line, bool skip_minus_one) {
  CV_line_values values{0, 0, 0, 0, 0};
  int closed = 0;
  // The open token at the end of a list line is dropped: a number counts only
  // when a separator follows it.
  ScanTokens(line, Separators(), [&](std::string_view token) {
    if (skip_minus_one && token == P_MINUSONE) return;
    Holder(values, closed < 3 ? closed : 2) = FloatFromToken(token);
    closed++;
  });
  values.count = closed < 3 ? closed : 3;
  return values;
}

bool FaceIndexFromValue(float value, int32_t& index) {
  if (!std::isfinite(value)) return false;
  // Truncation toward zero is defined only inside (-2^31 - 1, 2^31).
  if (!(double(value) > -2147483649.0 && double(value) < 2147483648.0)) return false;
  index = int32_t(value);
  return true;
}
