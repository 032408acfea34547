#include "app/driver.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "app/interrupt.h"
#include "app/runreport.h"
#include "config/settings.h"
#include "console/consoleprogress.h"
#include "core/messages.h"
#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "sensor/exrimage.h"
#include "sensor/picture.h"
#include "sensor/tempfile.h"
#include "transport/sampling.h"

Settings settings;
CV_scene scene{0, nullptr, 0, nullptr};
CVDataSet dataset{0, 0, nullptr};
CVSensor sensor{};
int roti = 0;

namespace {

constexpr uint32_t kSeed = 50;

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

// The run's settings as the corvane.cfg that gives them, for the pictures.
std::string SettingsText() {
  const Camera& camera = settings.camera;
  std::string text = P_DATASETSIZE + "=" + std::to_string(settings.dataset_size) + ";\n";
  text += P_LIGHTCHANCE + "=" + FloatText(settings.light_chance) + ";\n";
  text += P_SCENEFILENAME + "=" + settings.filename + ";\n";
  text += P_WIREFRAME + "=" + (settings.wireframe ? "1" : "0") + ";\n";
  text += P_CAMERAPOSITION + "\n";
  for (vertex3f point : {camera.eye, camera.center, camera.up}) text += PointLine(point);
  text += P_SENSORPOSITION + "\n";
  for (vertex3f corner : {camera.ul, camera.ur, camera.dl, camera.dr}) text += PointLine(corner);
  return text;
}

// Starts the console (none with -q) and, before it, the interrupt handler,
// which removes the temporaries the run's files are written through.
void StartRun(const CommandLine& options, const RunFiles& files, ConsoleProgress& progress) {
  if (options.quiet) DoWithoutScreen();
  std::vector<std::string> temporaries;
  for (const std::string& name : {files.ppm, files.png, files.exr}) {
    if (!name.empty()) temporaries.push_back(TemporaryFileName(name));
  }
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
    ReportInputProblem("corvane: the scene has no light, so no light path can start; the image is black");
  }
  if (end == kSamplingNoHits) {
    ReportInputProblem("corvane: " + std::to_string(kStepsWithoutHitLimit) +
                       " light paths in a row left the scene without meeting a surface; going on with the " +
                       std::to_string(dataset.count) + " of " + std::to_string(dataset.capacity) + " samples found");
  }
}

// The threads of the sampling loop and the sensor stages.
unsigned StageThreads(const CommandLine& options) {
  if (options.threads > 0) return options.threads;
  unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

// The sensor stages, their counts kept for the summary, and the warnings
// about samples that never reach the image. False when memory ran out.
bool RunSensor(const CommandLine& options, ConsoleProgress& progress, SensorCounts& counts) {
  AllocateSensor(sensor, settings.camera);
  int visualized =
      VisualizeDataSet(dataset, sensor, scene, StageThreads(options), IntersectionRayScene, progress, counts);
  EndConsole(progress);
  if (visualized == 0) return false;
  SensorTurn turn = SensorTurnSeenFromEye(sensor.eye, sensor.ul, sensor.ur, sensor.dl);
  for (const std::string& warning : UnseenSampleWarnings(dataset.count, counts, turn)) ReportInputProblem(warning);
  return true;
}

bool WriteGreyImage(const std::string& name) {
  int side = 1 << sensor.level;
  myImage image(side, side);
  SensorToImage(sensor, image);
  return image.WriteImageToFile(name) == 1;
}

// Writes out.ppm and the pictures asked for, each through a temporary, and
// frees the pixels. Returns the exit status.
int WriteImages(const CommandLine& options, const RunFiles& files) {
  int status = kExitImageWritten;
  auto refuse = [&status](const char* what, const std::string& name) {
    std::fprintf(stderr, "corvane: could not write the %s %s\n", what, ShownPath(name).c_str());
    status = kExitImageNotWritten;
  };
  if (!WriteGreyImage(files.ppm)) refuse("image", files.ppm);
  const std::string settings_text = SettingsText();
  if (!files.png.empty()) {
    double exposure = options.exposure_given ? options.exposure : AutomaticExposure(sensor);
    if (!WritePicture(files.png, sensor, exposure, settings_text)) refuse("picture", files.png);
  }
  if (!files.exr.empty() && !WriteSensorExr(files.exr, sensor, settings_text)) refuse("sensor values", files.exr);
  std::free(sensor.pixels);
  sensor.pixels = nullptr;
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

}  // namespace

std::string ShownPath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  return WorkingDirectory() + "/" + name;
}

std::string WrittenFilesText(const RunFiles& files) {
  std::vector<std::string> parts{"the image is " + ShownPath(files.ppm)};
  if (!files.png.empty()) parts.push_back("the picture " + ShownPath(files.png));
  if (!files.exr.empty()) parts.push_back("the sensor values " + ShownPath(files.exr));
  std::string text = parts[0];
  for (size_t k = 1; k < parts.size(); ++k) text += (k + 1 == parts.size() ? " and " : ", ") + parts[k];
  return text;
}

bool EnterSceneFolder(const CommandLine& options, RunFiles& files) {
  files = RunFiles{options.output.empty() ? kImageFileName : options.output, options.png, options.exr};
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
  if (chdir(options.scene_dir.c_str()) != 0) {
    std::fprintf(stderr, "corvane: cannot enter the scene folder %s: %s\n", options.scene_dir.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

void PrintInputProblems() {
  for (const std::string& line : TakeInputProblems()) std::fprintf(stderr, "%s\n", line.c_str());
}

int RunSimulation(const CommandLine& options, const RunFiles& files) {
  PhaseSeconds seconds;
  Clock::time_point start = Clock::now();
  ConsoleProgress progress;
  StartRun(options, files, progress);
  init_genrand(kSeed);

  if (!ReadSettings(settings, options.overrides) || CreateScene(settings.filename, scene) == 0) {
    EndConsole(progress);
    PrintInputProblems();
    return kExitInputRefused;
  }
  BuildRayQuery(scene);
  for (const std::string& warning : SensorShapeWarnings(settings.camera)) ReportInputProblem(warning);
  if (!AllocateDataSet(dataset, settings.dataset_size)) {
    EndConsole(progress);
    PrintInputProblems();
    std::fprintf(stderr, "corvane: could not obtain memory for %u samples (DATASETSIZE in %s)\n", settings.dataset_size,
                 CONFIG_FILENAME.c_str());
    return kExitNoMemory;
  }
  seconds.reading = Lap(start);

  SamplingEnd end = FillDataSet(scene, dataset, settings.light_chance, progress, kStepsWithoutHitLimit,
                                IntersectionRayScene, StageThreads(options));
  DeInitPercentageCounter(progress.percentages);
  ReportSamplingEnd(end);
  seconds.sampling = Lap(start);

  SensorCounts counts;
  bool sensed = RunSensor(options, progress, counts);
  seconds.sensor = Lap(start);
  PrintProblemsUnlessQuiet(options);
  if (!sensed) {
    std::fprintf(stderr, "corvane: could not obtain memory for the sensor's pixels\n");
    return kExitNoMemory;
  }

  int status = WriteImages(options, files);
  seconds.writing = Lap(start);
  if (options.verbose) {
    for (const std::string& line : RunSummary(dataset.count, counts, seconds)) {
      std::fprintf(stderr, "%s\n", line.c_str());
    }
  }
  return status;
}
