#include "app/driver.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/interrupt.h"
#include "app/runreport.h"
#include "app/savedsamples.h"
#include "app/views.h"
#include "config/settings.h"
#include "console/consoleprogress.h"
#include "core/aim.h"
#include "core/messages.h"
#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "sensor/exrimage.h"
#include "sensor/picture.h"
#include "sensor/pooling.h"
#include "sensor/tempfile.h"
#include "transport/sampling.h"

Settings settings;
CV_scene scene{0, nullptr, 0, nullptr};
CVDataSet dataset{0, 0, nullptr};
CVSensor sensor{};
int roti = 0;

namespace {

constexpr uint32_t kSeed = 50;

// What the window's pictures take from the run.
struct WindowPictures {
  double fov = NAN;       // the run's field of view, NaN when it has none
  double exposure = 1.0;  // the run's PNG factor
  std::string name;       // numbered after this name
  unsigned numbered = 0;  // numbers the run itself used
  unsigned side = 0;      // --png-size
};
WindowPictures window_pictures;

using Clock = std::chrono::steady_clock;

std::string WorkingDirectory() {
  char buffer[4096];
  if (getcwd(buffer, sizeof buffer) == nullptr) return ".";
  return buffer;
}

// Seconds since start; start moves to now, so that phases follow each other.
double Lap(Clock::time_point& start) {
  Clock::time_point now = Clock::now();
  double seconds = std::chrono::duration<double>(now - start).count();
  start = now;
  return seconds;
}

// The shortest text that reads back as the same float.
std::string FloatText(float value) {
  char text[32];
  std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
  return std::string(text, end.ptr);
}

std::string PointLine(vertex3f point) {
  return FloatText(point.x) + " " + FloatText(point.y) + " " + FloatText(point.z) + ";\n";
}

// The camera's lines of corvane.cfg: CAMERAPOSITION and SENSORPOSITION.
std::string CameraText(const Camera& camera) {
  std::string text = P_CAMERAPOSITION + "\n";
  for (vertex3f point : {camera.eye, camera.center, camera.up}) text += PointLine(point);
  text += P_SENSORPOSITION + "\n";
  for (vertex3f corner : {camera.ul, camera.ur, camera.dl, camera.dr}) text += PointLine(corner);
  return text;
}

// The run's settings as the corvane.cfg that gives them, for the pictures.
std::string SettingsText() {
  std::string text = P_DATASETSIZE + "=" + std::to_string(settings.dataset_size) + ";\n";
  text += P_LIGHTCHANCE + "=" + FloatText(settings.light_chance) + ";\n";
  text += P_SCENEFILENAME + "=" + settings.filename + ";\n";
  text += P_WIREFRAME + "=" + (settings.wireframe ? "1" : "0") + ";\n";
  return text + CameraText(settings.camera);
}

// The files of view `number` (from 1) of a sequence.
RunFiles NumberedFiles(const RunFiles& files, unsigned number) {
  auto numbered = [number](const std::string& name) { return name.empty() ? name : NumberedName(name, number); };
  RunFiles view = files;
  view.ppm = numbered(files.ppm);
  view.png = numbered(files.png);
  view.exr = numbered(files.exr);
  view.numbered = 0;
  return view;
}

// Starts the console (none with -q) and, before it, the interrupt handler,
// which removes the temporaries the run's files are written through.
void StartRun(const CommandLine& options, const RunFiles& files, ConsoleProgress& progress) {
  if (options.quiet) DoWithoutScreen();
  std::vector<std::string> temporaries;
  for (unsigned view = files.numbered > 0 ? 1 : 0; view <= files.numbered; ++view) {
    RunFiles written = view > 0 ? NumberedFiles(files, view) : files;
    for (const std::string& name : {written.ppm, written.png, written.exr}) {
      if (!name.empty()) temporaries.push_back(TemporaryFileName(name));
    }
  }
  if (!files.saved_samples.empty()) temporaries.push_back(TemporaryFileName(files.saved_samples));
  EndRunOnInterrupt(temporaries);
  InitPercentageCounter(progress.percentages);
  if (ConsoleActive()) RememberScreen();
}

// Ends the console for good: from now on messages reach the terminal.
void EndConsole(ConsoleProgress& progress) {
  DeInitPercentageCounter(progress.percentages);
  ForgetScreen();
}

void ReportSamplingEnd(SamplingEnd end) {
  if (end == kSamplingNoLight) {
    ReportEmptyImageReason(
        "corvane: the scene has no light, so no light path can start and the image is black; a light is a "
        "PointLight with its location, color and intensity lines");
  }
  if (end == kSamplingEmpty && dataset.capacity > 0) {
    ReportEmptyImageReason(
        "corvane: the first light path met no surface, and a run starts only from a first hit, so no sample was "
        "traced and the image is black; a light that lies on a surface or outside the scene does this: move it "
        "into the room");
  }
  if (end == kSamplingNoHits) {
    ReportInputProblem("corvane: " + std::to_string(kStepsWithoutHitLimit) +
                       " light paths in a row left the scene without meeting a surface; going on with the " +
                       std::to_string(dataset.count) + " of " + std::to_string(dataset.capacity) + " samples found");
  }
}

// The reasons for an empty image that the settings alone give.
void ReportEmptySettings() {
  if (settings.filename.empty() && access(CONFIG_FILENAME.c_str(), F_OK) != 0) {
    ReportEmptyImageReason("corvane: " + WorkingDirectory() + " holds no " + CONFIG_FILENAME +
                           " and no scene was named, so the image is black; run corvane in a scene folder (one that "
                           "holds corvane.cfg and its .wrl file) or name one: corvane FOLDER");
  }
}

void ReportEmptyDataSet() {
  if (settings.dataset_size == 0) {
    ReportEmptyImageReason("corvane: " + P_DATASETSIZE +
                           " is 0, so no sample is traced and the image is black; give the number of samples in " +
                           CONFIG_FILENAME + ", as in " + P_DATASETSIZE + "=1000000;");
  }
}

unsigned RunThreads(const CommandLine& options) {
  if (options.threads > 0) return options.threads;
  unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

// What the sensor stages leave to say: the warnings about the sensor's shape,
// and the reasons, if any, why no sample reaches its image.
struct SensorWords {
  std::vector<std::string> shape;
  std::vector<std::string> reasons;
};

SensorWords WordsAboutSensor(const SensorCounts& counts) {
  SensorTurn turn = SensorTurnSeenFromEye(sensor.eye, sensor.ul, sensor.ur, sensor.dl);
  SensorWords words;
  words.shape = SensorShapeWarnings(settings.camera);
  words.reasons = UnseenSampleWarnings(dataset.count, counts, turn, words.shape);
  // A shape that leaves the sensor empty is said once, as the reason.
  if (!words.reasons.empty() && counts.visible > 0) words.shape.clear();
  return words;
}

// The warnings of one view of a sequence about its sensor's shape and the
// samples that never reach its image, each with `view` put after its
// "corvane: ".
void ReportViewWarnings(const SensorCounts& counts, const std::string& view) {
  SensorWords words = WordsAboutSensor(counts);
  std::vector<std::string> warnings = words.shape;
  warnings.insert(warnings.end(), words.reasons.begin(), words.reasons.end());
  for (std::string warning : warnings) ReportInputProblem(warning.insert(std::string("corvane: ").size(), view));
}

// The sensor stages, their counts kept for the summary, and the warnings
// about samples that never reach the image. False when memory ran out.
bool RunSensor(const CommandLine& options, ConsoleProgress& progress, SensorCounts& counts) {
  AllocateSensor(sensor, settings.camera);
  int visualized =
      VisualizeDataSet(dataset, sensor, scene, RunThreads(options), IntersectionRayScene, progress, counts);
  EndConsole(progress);
  if (visualized == 0) return false;
  SensorWords words = WordsAboutSensor(counts);
  for (const std::string& warning : words.shape) ReportInputProblem(warning);
  for (const std::string& reason : words.reasons) ReportEmptyImageReason(reason);
  return true;
}

// The subdivision level whose side is the PNG's, a power of two.
int PictureLevel(unsigned side) {
  int level = 0;
  while ((1u << level) < side) ++level;
  return level;
}

// Writes the grey image; lit tells whether any of its pixels is above 0.
bool WriteGreyImage(const std::string& name, bool& lit) {
  int side = 1 << sensor.level;
  myImage image(side, side);
  SensorToImage(sensor, image);
  unsigned char* end = image.data + size_t(side) * size_t(side);
  lit = std::any_of(image.data, end, [](unsigned char byte) { return byte != 0; });
  return image.WriteImageToFile(name) == 1;
}

// The PNG's pixels: the sensor's, pooled to side pixels a side into pooled.
CVSensor PictureOf(unsigned side, std::vector<float>& pooled) {
  CVSensor picture = sensor;
  picture.level = PictureLevel(side);
  pooled = PooledPixels(sensor, picture.level);
  picture.pixels = pooled.data();
  return picture;
}

// The PNG's factor: --exposure, or the automatic one of its pixels; kept for
// the window's pictures too.
double Exposure(const CommandLine& options) {
  if (options.exposure_given) return options.exposure;
  std::vector<float> pooled;
  return AutomaticExposure(PictureOf(options.png_size, pooled));
}

// Exposure when a PNG is asked for or the window may make pictures; nothing
// reads it otherwise, and pooling the pixels for it takes a run without
// either a few milliseconds.
double ExposureIfPictures(const CommandLine& options, const RunFiles& files) {
  bool pictures = !files.png.empty() || !options.no_window;
  return pictures ? Exposure(options) : options.exposure;
}

// Writes out.ppm and the pictures asked for, each through a temporary, the
// PNG with the factor exposure, and frees the pixels. Appends a line to
// failures for each file not written and returns the exit status.
int WriteImages(const CommandLine& options, const RunFiles& files, double exposure,
                std::vector<std::string>& failures) {
  int status = kExitImageWritten;
  bool lit = false;
  auto refuse = [&status, &failures](const char* what, const std::string& name) {
    failures.push_back(std::string("corvane: could not write the ") + what + " " + ShownPath(name));
    status = kExitImageNotWritten;
  };
  if (!WriteGreyImage(files.ppm, lit)) refuse("image", files.ppm);
  const std::string settings_text = SettingsText();
  if (!files.png.empty()) {
    std::vector<float> pooled;
    CVSensor picture = PictureOf(options.png_size, pooled);
    if (!WritePicture(files.png, picture, exposure, settings_text)) refuse("picture", files.png);
  }
  if (!files.exr.empty() && !WriteSensorExr(files.exr, sensor, settings_text)) refuse("sensor values", files.exr);
  std::free(sensor.pixels);
  sensor.pixels = nullptr;
  if (status == kExitImageWritten && !lit) status = kExitImageEmpty;
  return status;
}

// Prints the kept problems after a refusal, a failure or a run that speaks;
// a quiet run that succeeds forgets its warnings.
void PrintProblemsUnlessQuiet(const CommandLine& options) {
  if (options.quiet) {
    TakeInputProblems();
    return;
  }
  PrintInputProblems();
}

// Reads the --views file and plans the views with the settings' camera;
// false after reporting why a view cannot be made.
bool PlanRunViews(const CommandLine& options, const std::vector<ViewLine>& lines, ViewPlan& plan) {
  std::string problem = PlanViews(options.aim, lines, settings.camera, plan);
  if (problem.empty()) return true;
  ReportInputProblem("corvane: " + problem);
  return false;
}

// -v's lines about an aimed view: its camera as corvane.cfg gives it.
std::string AimedCameraText(const std::string& view) {
  return "corvane: " + view + "camera and sensor, as corvane.cfg gives them:\n" + CameraText(settings.camera);
}

void PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::fprintf(stderr, "%s\n", line.c_str());
}

// Renders every view of the plan into its numbered files, each from the data
// set as sampling left it: the sensor stages change only `visible`, which
// they set for every sample, and `brightness`, which a copy restores (four
// bytes a sample rather than a copy of the whole set). All PNGs share the
// first view's exposure unless --exposure is given, so that a sequence does
// not flicker. Ends the console and returns the exit status.
int RunViews(const CommandLine& options, const RunFiles& files, const ViewPlan& plan, ConsoleProgress& progress,
             PhaseSeconds& seconds, Clock::time_point& start) {
  std::vector<float> sampled;
  try {
    sampled.resize(dataset.count);
  } catch (const std::bad_alloc&) {
    EndConsole(progress);
    PrintInputProblems();
    std::fprintf(stderr, "corvane: could not obtain memory to keep the samples' brightness between views\n");
    return kExitNoMemory;
  }
  for (uint32_t i = 0; i < dataset.count; ++i) sampled[i] = dataset.samples[i].brightness;
  int status = kExitImageWritten;
  bool lit = false;  // some view's image has a lit pixel
  std::vector<std::string> failures;
  std::vector<std::string> cameras;
  SensorCounts counts;
  double exposure = options.exposure;
  unsigned count = unsigned(plan.views.size());
  for (unsigned v = 0; v < count; ++v) {
    for (uint32_t i = 0; v > 0 && i < dataset.count; ++i) dataset.samples[i].brightness = sampled[i];
    progress.ShowView(v + 1, count);
    settings.camera = ViewCamera(plan.views[v], dataset);
    AllocateSensor(sensor, settings.camera);
    if (VisualizeDataSet(dataset, sensor, scene, RunThreads(options), IntersectionRayScene, progress, counts) == 0) {
      EndConsole(progress);
      PrintProblemsUnlessQuiet(options);
      std::fprintf(stderr, "corvane: could not obtain memory for the sensor's pixels\n");
      return kExitNoMemory;
    }
    const std::string view = "view " + std::to_string(v + 1) + ": ";
    ReportViewWarnings(counts, view);
    seconds.sensor += Lap(start);
    RunFiles numbered = NumberedFiles(files, v + 1);
    if (v == 0) exposure = window_pictures.exposure = ExposureIfPictures(options, numbered);
    int written = WriteImages(options, numbered, exposure, failures);
    if (written == kExitImageNotWritten) status = kExitImageNotWritten;
    if (written == kExitImageWritten) lit = true;
    if (options.verbose) cameras.push_back(AimedCameraText(view));
    seconds.writing += Lap(start);
  }
  EndConsole(progress);
  PrintProblemsUnlessQuiet(options);
  PrintLines(failures);
  if (options.verbose) {
    for (const std::string& text : cameras) std::fputs(text.c_str(), stderr);
    PrintLines(RunSummary(dataset.count, counts, seconds));
  }
  if (status == kExitImageWritten && !lit) {
    ReportEmptyImageReason("corvane: no view of the sequence lights a pixel, so every image is black");
    status = kExitImageEmpty;
  }
  return status;
}

// Says that --save-samples failed; the images were written all the same.
int SamplesNotWritten(const RunFiles& files) {
  std::fprintf(stderr, "corvane: could not write the samples %s\n", ShownPath(files.saved_samples).c_str());
  return kExitImageNotWritten;
}

}  // namespace

std::string ShownPath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  return WorkingDirectory() + "/" + name;
}

std::string WrittenFilesText(const RunFiles& files) {
  bool many = files.numbered > 1;
  auto shown = [&files, many](const std::string& name) {
    if (files.numbered == 0) return ShownPath(name);
    std::string first = ShownPath(NumberedName(name, 1));
    return many ? first + " to " + ShownPath(NumberedName(name, files.numbered)) : first;
  };
  std::vector<std::string> parts{(many ? "the images are " : "the image is ") + shown(files.ppm)};
  if (!files.png.empty()) parts.push_back((many ? "the pictures " : "the picture ") + shown(files.png));
  if (!files.exr.empty()) parts.push_back("the sensor values " + shown(files.exr));
  if (!files.saved_samples.empty()) parts.push_back("the samples " + ShownPath(files.saved_samples));
  std::string text = parts[0];
  for (size_t k = 1; k < parts.size(); ++k) text += (k + 1 == parts.size() ? " and " : ", ") + parts[k];
  return text;
}

bool EnterSceneFolder(const CommandLine& options, RunFiles& files) {
  files = RunFiles{options.output.empty() ? kImageFileName : options.output,
                   options.png,
                   options.exr,
                   options.aim.views,
                   0,
                   options.save_samples,
                   options.samples};
  if (options.scene_dir.empty()) return true;
  char start[4096];
  if (getcwd(start, sizeof start) == nullptr) {
    std::fprintf(stderr, "corvane: cannot tell the working directory: %s\n", std::strerror(errno));
    return false;
  }
  auto from_start = [&start](const std::string& name) {
    return name.empty() || name[0] == '/' ? name : std::string(start) + "/" + name;
  };
  if (!options.output.empty()) files.ppm = from_start(options.output);
  files.png = from_start(options.png);
  files.exr = from_start(options.exr);
  files.saved_samples = from_start(options.save_samples);
  files.loaded_samples = from_start(options.samples);
  files.views = from_start(options.aim.views);
  if (chdir(options.scene_dir.c_str()) != 0) {
    std::fprintf(stderr, "corvane: cannot enter the scene folder %s: %s\n", options.scene_dir.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

std::string RenderWindowView(const Camera& camera) {
  const double fov = window_pictures.fov;
  if (std::isnan(fov)) return "corvane: the run has no field of view for the window's picture; give --fov";
  std::string problem = AimProblem(camera, fov);
  if (!problem.empty()) return "corvane: the window's view makes no picture: " + problem;
  unsigned number = window_pictures.numbered + 1;
  while (number <= kMostViews && std::filesystem::exists(NumberedName(window_pictures.name, number))) ++number;
  if (number > kMostViews) return "corvane: every numbered name of " + ShownPath(window_pictures.name) + " is taken";
  const std::string name = NumberedName(window_pictures.name, number);

  // The window shows the run's own view: keep it. The stages never read the
  // brightness they replace, so the picture does not depend on it.
  const CVSensor shown = sensor;
  const Camera run_camera = settings.camera;
  std::vector<float> brightness;
  std::vector<bool> visible;
  try {
    brightness.resize(dataset.count);
    visible.resize(dataset.count);
  } catch (const std::bad_alloc&) {
    return "corvane: could not obtain memory to keep the window's samples while the picture is made";
  }
  for (uint32_t i = 0; i < dataset.count; ++i) {
    brightness[i] = dataset.samples[i].brightness;
    visible[i] = dataset.samples[i].visible;
  }
  settings.camera = ViewCamera(View{camera, true, fov}, dataset);
  AllocateSensor(sensor, settings.camera);
  bool sensed = VisualizeDataSet(dataset, sensor, scene) == 1;
  std::vector<float> pooled;
  bool written =
      sensed && WritePicture(name, PictureOf(window_pictures.side, pooled), window_pictures.exposure, SettingsText());
  std::free(sensor.pixels);
  sensor = shown;
  settings.camera = run_camera;
  for (uint32_t i = 0; i < dataset.count; ++i) {
    dataset.samples[i].brightness = brightness[i];
    dataset.samples[i].visible = visible[i];
  }
  if (!sensed) return "corvane: could not obtain memory for the sensor's pixels of the window's picture";
  if (!written) return "corvane: could not write the picture " + ShownPath(name);
  return "corvane: the window's view is in " + ShownPath(name);
}

void PrintInputProblems() {
  for (const std::string& line : TakeInputProblems()) std::fprintf(stderr, "%s\n", line.c_str());
}

int RunSimulation(const CommandLine& options, RunFiles& files) {
  PhaseSeconds seconds;
  Clock::time_point start = Clock::now();
  std::vector<ViewLine> view_lines;
  std::string problem;
  if (!files.views.empty() && !ReadViewsFile(files.views, view_lines, problem)) {
    std::fprintf(stderr, "corvane: %s\n", problem.c_str());
    return kExitInputRefused;
  }
  files.numbered = options.aim.orbit > 0 ? options.aim.orbit : unsigned(view_lines.size());
  ConsoleProgress progress;
  StartRun(options, files, progress);
  init_genrand(kSeed);

  ViewPlan plan;
  bool settings_read = ReadSettings(settings, options.overrides);
  if (settings_read) ReportEmptySettings();
  if (!settings_read || !PlanRunViews(options, view_lines, plan) || CreateScene(settings.filename, scene) == 0) {
    EndConsole(progress);
    PrintInputProblems();
    return kExitInputRefused;
  }
  BuildRayQuery(scene, RunThreads(options));
  ReportEmptyDataSet();
  if (!AllocateDataSet(dataset, settings.dataset_size)) {
    EndConsole(progress);
    PrintInputProblems();
    std::fprintf(stderr, "corvane: could not obtain memory for %u samples (DATASETSIZE in %s)\n", settings.dataset_size,
                 CONFIG_FILENAME.c_str());
    return kExitNoMemory;
  }
  seconds.reading = Lap(start);

  std::string refusal;
  SamplingEnd end =
      FillOrLoadDataSet(files.loaded_samples, settings, scene, dataset, progress, refusal, RunThreads(options));
  if (!refusal.empty()) {
    EndConsole(progress);
    PrintInputProblems();
    std::fprintf(stderr, "corvane: cannot use the samples file %s: %s\n", ShownPath(files.loaded_samples).c_str(),
                 refusal.c_str());
    return kExitInputRefused;
  }
  DeInitPercentageCounter(progress.percentages);
  ReportSamplingEnd(end);
  // Saved now: the sensor stages change each sample's visible and brightness.
  bool samples_saved = files.saved_samples.empty() || SaveDataSet(files.saved_samples, settings, dataset, end);
  seconds.sampling = Lap(start);

  window_pictures.fov = plan.fov;
  window_pictures.name =
      files.png.empty() ? std::filesystem::path(files.ppm).replace_extension(".png").string() : files.png;
  window_pictures.numbered = files.numbered;
  window_pictures.side = options.png_size;
  if (plan.sequence) {
    int status = RunViews(options, files, plan, progress, seconds, start);
    return samples_saved ? status : SamplesNotWritten(files);
  }
  settings.camera = ViewCamera(plan.views[0], dataset);
  SensorCounts counts;
  bool sensed = RunSensor(options, progress, counts);
  seconds.sensor = Lap(start);
  PrintProblemsUnlessQuiet(options);
  if (!sensed) {
    std::fprintf(stderr, "corvane: could not obtain memory for the sensor's pixels\n");
    return kExitNoMemory;
  }

  std::vector<std::string> failures;
  window_pictures.exposure = ExposureIfPictures(options, files);
  int status = WriteImages(options, files, window_pictures.exposure, failures);
  PrintLines(failures);
  if (!samples_saved) status = SamplesNotWritten(files);
  seconds.writing = Lap(start);
  if (status == kExitImageEmpty) {
    ReportEmptyImageReason("corvane: " + std::to_string(counts.projected) +
                           " samples reach the sensor, but none is bright enough to light a pixel, so the image is "
                           "black; surfaces whose diffuseColor is 0 0 0 reflect no light to the eye");
  }
  if (options.verbose) {
    if (!files.loaded_samples.empty()) {
      std::fprintf(stderr, "corvane: %u samples loaded from %s\n", dataset.count,
                   ShownPath(files.loaded_samples).c_str());
    }
    if (plan.views[0].aimed) std::fputs(AimedCameraText("").c_str(), stderr);
    PrintLines(RunSummary(dataset.count, counts, seconds));
  }
  return status;
}
