// The command line's options that aim the camera and ask for several views:
// --fov, --eye, --look-at, --up, --views and --orbit.
#pragma once

#include <string>

#include "core/vecmath.h"

// Most views of one run: the pictures are numbered with four digits.
constexpr unsigned kMostViews = 9999;

struct AimOptions {
  bool fov_given = false;
  double fov = 0;  // --fov: degrees across the square sensor
  bool eye_given = false;
  vertex3f eye{0, 0, 0};  // --eye: replaces CAMERAPOSITION's first line
  bool look_at_given = false;
  vertex3f look_at{0, 0, 0};  // --look-at: replaces its second line
  bool up_given = false;
  vertex3f up{0, 0, 0};  // --up: replaces its third line
  std::string views;     // --views: the file of views; empty: none
  unsigned orbit = 0;    // --orbit: views around the point looked at; 0: none
};

// Each applies an option's value and returns what is wrong with it, or
// nothing; `written` is the option as the user typed it.
std::string ApplyFov(const std::string& written, const std::string& value, AimOptions& aim);
std::string ApplyEye(const std::string& written, const std::string& value, AimOptions& aim);
std::string ApplyLookAt(const std::string& written, const std::string& value, AimOptions& aim);
std::string ApplyUp(const std::string& written, const std::string& value, AimOptions& aim);
std::string ApplyViews(const std::string& written, const std::string& value, AimOptions& aim);
std::string ApplyOrbit(const std::string& written, const std::string& value, AimOptions& aim);

// What keeps the options from going together, or nothing: --views with
// --orbit.
std::string AimConflict(const AimOptions& aim);

// A finite number that is the whole of text, read by strtod; false otherwise.
bool WholeNumber(const std::string& text, double& number);
