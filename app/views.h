// The views a run renders from its one trace: corvane.cfg's sensor, one
// aimed camera, or a numbered sequence from --views or --orbit.
#pragma once

#include <string>
#include <vector>

#include "app/aimoptions.h"
#include "core/camera.h"
#include "transport/dataset.h"

struct View {
  Camera camera;       // eye, point looked at and up; the corners too unless aimed
  bool aimed = false;  // the corners follow from fov and the samples in view
  double fov = 0;      // degrees across the sensor, when aimed
};

// The numbers of one line of a views file, and the line's place
// ("views.txt:3") for messages.
struct ViewLine {
  std::vector<double> numbers;
  std::string place;
};

// A views file has one view per line, its numbers separated by blanks or
// commas: ten numbers (eye, point looked at, up, field of view in degrees)
// aim a camera; twelve (the sensor's upper left, upper right, lower left and
// lower right corners) keep the run's eye, point looked at and up. "#"
// starts a comment; blank lines count for nothing.
constexpr size_t kAimedViewNumbers = 10;
constexpr size_t kCornerViewNumbers = 12;

// Reads the views file name. False, with the reason in problem, when it
// cannot be read, a line is not a view, or it holds no view or more than
// kMostViews.
bool ReadViewsFile(const std::string& name, std::vector<ViewLine>& lines, std::string& problem);

struct ViewPlan {
  std::vector<View> views;
  bool sequence = false;  // each view writes numbered files
  double fov = 0;         // the run's field of view: --fov, or what corvane.cfg's sensor spans (NaN: none)
};

// Applies --eye, --look-at and --up to camera and plans the run's views:
// the lines of --views, the --orbit views turned about the up direction
// through the point looked at, one aimed view when an aiming option is
// given, else corvane.cfg's own. Returns what keeps a view from being
// aimed, or nothing.
std::string PlanViews(const AimOptions& aim, const std::vector<ViewLine>& lines, Camera& camera, ViewPlan& plan);

// The view's camera; an aimed view's sensor stands in front of the nearest
// sample in view (kSensorDepthShare of its depth).
Camera ViewCamera(const View& view, const CVDataSet& dataset);

// The camera that sees what the window shows: first's, turned as the window
// turns the scene about the point looked at (by turn degrees about the up
// direction, then the user's yaw about it, pitch about the right direction
// and zoom), so that the eye moves the opposite way. Computed in double,
// rounded to float once.
Camera WindowCamera(const Camera& first, double turn, double yaw, double pitch, double zoom);

// name with "-" and the four-digit number before its extension:
// "out.ppm", 3 gives "out-0003.ppm"; a name without one gets them at the end.
std::string NumberedName(const std::string& name, unsigned number);
