#include "app/views.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/aim.h"

namespace {

constexpr double kFullTurnDegrees = 360.0;

vertex3f PointAt(const std::vector<double>& numbers, size_t first) {
  return vertex3f{float(numbers[first]), float(numbers[first + 1]), float(numbers[first + 2])};
}

// The line without its comment, commas read as blanks; false after setting
// problem when a word is not a number.
bool LineNumbers(std::string line, std::vector<double>& numbers, std::string& problem) {
  line = line.substr(0, line.find('#'));
  for (char& c : line) c = c == ',' ? ' ' : c;
  std::istringstream words(line);
  std::string word;
  while (words >> word) {
    double number = 0;
    if (!WholeNumber(word, number)) {
      problem = "'" + word + "' is not a finite number";
      return false;
    }
    numbers.push_back(number);
  }
  return true;
}

View FromLine(const ViewLine& line, const Camera& camera) {
  View view;
  view.camera = camera;
  const std::vector<double>& n = line.numbers;
  if (n.size() == kCornerViewNumbers) {
    view.camera.ul = PointAt(n, 0);
    view.camera.ur = PointAt(n, 3);
    view.camera.dl = PointAt(n, 6);
    view.camera.dr = PointAt(n, 9);
    return view;
  }
  view.camera.eye = PointAt(n, 0);
  view.camera.center = PointAt(n, 3);
  view.camera.up = PointAt(n, 6);
  view.aimed = true;
  view.fov = n[9];
  return view;
}

}  // namespace

bool ReadViewsFile(const std::string& name, std::vector<ViewLine>& lines, std::string& problem) {
  std::ifstream file(name);
  if (!file) {
    problem = "cannot read the views file " + name;
    return false;
  }
  std::string text;
  for (int number = 1; std::getline(file, text); ++number) {
    ViewLine line{{}, name + ":" + std::to_string(number)};
    std::string wrong;
    if (!LineNumbers(text, line.numbers, wrong)) {
      problem = line.place + ": " + wrong;
      return false;
    }
    if (line.numbers.empty()) continue;
    if (line.numbers.size() != kAimedViewNumbers && line.numbers.size() != kCornerViewNumbers) {
      problem = line.place + ": the line has " + std::to_string(line.numbers.size()) +
                " numbers; a view has 10 (eye, point looked at, up, field of view) or 12 (the sensor's corners)";
      return false;
    }
    if (lines.size() == kMostViews) {
      problem = name + " has more than " + std::to_string(kMostViews) + " views";
      return false;
    }
    lines.push_back(line);
  }
  if (lines.empty()) {
    problem = "the views file " + name + " holds no view";
    return false;
  }
  return true;
}

std::string PlanViews(const AimOptions& aim, const std::vector<ViewLine>& lines, Camera& camera, ViewPlan& plan) {
  // The default is taken from corvane.cfg's own eye, before the options move it.
  plan.fov = aim.fov_given ? aim.fov : SpannedFieldOfView(camera);
  if (aim.eye_given) camera.eye = aim.eye;
  if (aim.look_at_given) camera.center = aim.look_at;
  if (aim.up_given) camera.up = aim.up;
  plan.views.clear();
  plan.sequence = !lines.empty() || aim.orbit > 0;
  for (const ViewLine& line : lines) {
    plan.views.push_back(FromLine(line, camera));
    const View& view = plan.views.back();
    std::string problem = view.aimed ? AimProblem(view.camera, view.fov) : "";
    if (!problem.empty()) return line.place + ": " + problem;
  }
  if (!lines.empty()) return "";
  bool aims = aim.fov_given || aim.eye_given || aim.look_at_given || aim.up_given || aim.orbit > 0;
  if (!aims) {
    plan.views.push_back(View{camera, false, 0});
    return "";
  }
  if (std::isnan(plan.fov)) {
    return "corvane.cfg's sensor spans no angle as seen from the eye, so the view needs --fov";
  }
  std::string problem = AimProblem(camera, plan.fov);
  if (!problem.empty()) return problem;
  unsigned count = aim.orbit > 0 ? aim.orbit : 1;
  for (unsigned k = 0; k < count; ++k) {
    double degrees = kFullTurnDegrees * double(k) / double(count);
    plan.views.push_back(View{TurnedAboutUp(camera, degrees), true, plan.fov});
  }
  return "";
}

Camera ViewCamera(const View& view, const CVDataSet& dataset) {
  if (!view.aimed) return view.camera;
  ViewFrame frame = MakeViewFrame(view.camera, view.fov);
  double nearest = INFINITY;
  for (uint32_t i = 0; i < dataset.count; ++i) {
    double depth = DepthInView(frame, dataset.samples[i].position);
    if (depth < nearest) nearest = depth;
  }
  Camera camera = view.camera;
  PlaceSensor(frame, SensorDepth(frame, camera, nearest), camera);
  return camera;
}

Camera WindowCamera(const Camera& first, double turn, double yaw, double pitch, double zoom) {
  double3 center = ToDouble3(first.center);
  double3 up = ToDouble3(first.up);
  double3 right = Cross(Sub(center, ToDouble3(first.eye)), up);
  double3 eye = Scale(1.0 / zoom, Sub(ToDouble3(first.eye), center));
  // The window leaves out the turns that have no axis; so does the camera.
  if (Length(right) > 0.0) {
    eye = TurnedAbout(eye, right, -pitch);
    up = TurnedAbout(up, right, -pitch);
  }
  if (Length(ToDouble3(first.up)) > 0.0) {
    for (double degrees : {-yaw, -turn}) {
      eye = TurnedAbout(eye, ToDouble3(first.up), degrees);
      up = TurnedAbout(up, ToDouble3(first.up), degrees);
    }
  }
  Camera camera = first;
  camera.eye = ToVertex3f(Add(center, eye));
  camera.up = ToVertex3f(up);
  return camera;
}

std::string NumberedName(const std::string& name, unsigned number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "-%04u", number);
  size_t slash = name.rfind('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = name.rfind('.');
  // A dot that starts the name (".hidden") is no extension's.
  bool extension = dot != std::string::npos && dot > base;
  if (!extension) return name + digits;
  return name.substr(0, dot) + digits + name.substr(dot);
}
