#include "app/aimoptions.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Three numbers separated by commas, each rounded to float where it is kept.
std::string ApplyPoint(const std::string& written, const std::string& value, bool& given, vertex3f& point) {
  double xyz[3];
  size_t start = 0;
  for (int k = 0; k < 3; ++k) {
    size_t comma = k < 2 ? value.find(',', start) : value.size();
    if (comma == std::string::npos || !WholeNumber(value.substr(start, comma - start), xyz[k])) {
      return "option " + written + " wants three numbers X,Y,Z, not " + Quoted(value);
    }
    start = comma + 1;
  }
  given = true;
  point = vertex3f{float(xyz[0]), float(xyz[1]), float(xyz[2])};
  return "";
}

}  // namespace

bool WholeNumber(const std::string& text, double& number) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  number = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(number);
}

std::string ApplyFov(const std::string& written, const std::string& value, AimOptions& aim) {
  double degrees = 0;
  if (!WholeNumber(value, degrees) || !(degrees > 0 && degrees < 180)) {
    return "option " + written + " wants an angle in degrees between 0 and 180, not " + Quoted(value);
  }
  aim.fov_given = true;
  aim.fov = degrees;
  return "";
}

std::string ApplyEye(const std::string& written, const std::string& value, AimOptions& aim) {
  return ApplyPoint(written, value, aim.eye_given, aim.eye);
}

std::string ApplyLookAt(const std::string& written, const std::string& value, AimOptions& aim) {
  return ApplyPoint(written, value, aim.look_at_given, aim.look_at);
}

std::string ApplyUp(const std::string& written, const std::string& value, AimOptions& aim) {
  return ApplyPoint(written, value, aim.up_given, aim.up);
}

std::string ApplyViews(const std::string& written, const std::string& value, AimOptions& aim) {
  if (value.empty()) return "option " + written + " wants a file name, not an empty one";
  aim.views = value;
  return "";
}

std::string ApplyOrbit(const std::string& written, const std::string& value, AimOptions& aim) {
  unsigned long count = 0;
  bool digits = !value.empty() && value.size() <= 9;  // nine digits cannot overflow the count
  for (char c : value) digits = digits && c >= '0' && c <= '9';
  if (digits) count = std::strtoul(value.c_str(), nullptr, 10);
  if (!digits || count < 1 || count > kMostViews) {
    return "option " + written + " wants a number of views from 1 to " + std::to_string(kMostViews) + ", not " +
           Quoted(value);
  }
  aim.orbit = unsigned(count);
  return "";
}

std::string AimConflict(const AimOptions& aim) {
  if (!aim.views.empty() && aim.orbit > 0) return "--views and --orbit both ask for the views; give one of them";
  return "";
}
