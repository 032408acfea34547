// Times the three sensor stages on one thread and on every core for the
// default example, and measures the peak memory of a whole run without a
// display, with the descent and with the stored subdivision.
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "reference/sensordescent.h"
#include "reference/sensorstages.h"
#include "reference/sensortree.h"
#include "sensor/image.h"
#include "sensor/sensor.h"
#include "transport/sampling.h"

#define SPHERE_ROOM_NO_MAIN
#include "make_sphere_room.cpp"

namespace {

const std::string kExample = std::string(CORVANE_SOURCE_DIR) + "/examples/room";
constexpr int kRepeats = 3;

// A fresh copy of the example in a temporary directory.
std::string CopyOfExample() {
  char pattern[] = "/tmp/corvane_sensor_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  std::string dir = pattern;
  std::string command = "cp -R '" + kExample + "/.' '" + dir + "'";
  if (std::system(command.c_str()) != 0) std::exit(1);
  return dir;
}

void RemoveDirectory(const std::string& dir) {
  std::string command = "rm -rf '" + dir + "'";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
}

// Peak resident memory in MB of a finished child, or -1.
double ChildPeakMegabytes(pid_t child) {
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return double(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in kilobytes
}

// The real program in a copy of the example, without a display.
double ProgramPeakMegabytes() {
  std::string dir = CopyOfExample();
  pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(3);
    unsetenv("DISPLAY");
    std::FILE* quiet = std::freopen("/dev/null", "w", stdout);
    (void)quiet;
    quiet = std::freopen("/dev/null", "w", stderr);
    execl(CORVANE_BINARY, CORVANE_BINARY, static_cast<char*>(nullptr));
    _exit(4);
  }
  double peak = ChildPeakMegabytes(child);
  RemoveDirectory(dir);
  return peak;
}

// The run's steps (settings, scene, samples, sensor, image) in a forked child
// of this still small process, with the sensor stages of the descent or of
// the stored subdivision.
double InProcessRunPeakMegabytes(bool stored_tree) {
  std::string dir = CopyOfExample();
  pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0) _exit(3);
    Settings settings;
    CV_scene room{0, nullptr, 0, nullptr};
    CVDataSet samples{0, 0, nullptr};
    CVSensor view{};
    NoProgress progress;
    init_genrand(50);
    if (!ReadSettings(settings)) _exit(5);
    if (CreateScene(settings.filename, room) == 0 || !AllocateDataSet(samples, settings.dataset_size)) _exit(6);
    BuildRayQuery(room);
    FillDataSet(room, samples, settings.light_chance, progress);
    AllocateSensor(view, settings.camera);
    int done =
        stored_tree ? VisualizeDataSetWithStoredTree(samples, view, room) : VisualizeDataSet(samples, view, room);
    if (done != 1) _exit(7);
    myImage image(1024, 1024);
    SensorToImage(view, image);
    _exit(image.WriteImageToFile("out.ppm") == 1 ? 0 : 8);
  }
  double peak = ChildPeakMegabytes(child);
  RemoveDirectory(dir);
  return peak;
}

// CPU seconds used so far by every thread of this process.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct StageTimes {
  double visibility = 1e30, brightness = 1e30, projection = 1e30;
  double cpu_per_wall = 0;  // CPU seconds per wall second over all repeats
  std::vector<float> pixels;
};

// Best of kRepeats for each stage on `threads` threads, each repeat on a
// fresh copy of the samples.
StageTimes TimeStages(const std::vector<CVSample>& original, const CVSensor& sensor_points, CV_scene scene_copy,
                      unsigned threads) {
  StageTimes best;
  size_t pixel_count = SensorCellCount(kSensorLevel);
  std::vector<float> pixels(pixel_count);
  std::vector<int32_t> pixel_of(original.size() + 1);
  NoProgress progress;
  double cpu = 0, wall = 0;
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    std::vector<CVSample> samples = original;
    double cpu_start = ProcessCpuSeconds();
    auto wall_start = std::chrono::steady_clock::now();
    CVDataSet set{uint32_t(samples.size()), uint32_t(samples.size()), samples.data()};
    auto start = std::chrono::steady_clock::now();
    MarkVisibleSamples(set, sensor_points.eye, scene_copy, threads, progress);
    best.visibility = std::min(best.visibility, Seconds(start));
    start = std::chrono::steady_clock::now();
    ComputeBrightness(set, sensor_points.eye, scene_copy, threads, progress);
    best.brightness = std::min(best.brightness, Seconds(start));
    std::fill(pixels.begin(), pixels.end(), kEmptyPixel);
    start = std::chrono::steady_clock::now();
    ProjectVisibleSamples(set, sensor_points, pixels.data(), pixel_of.data(), threads, progress);
    best.projection = std::min(best.projection, Seconds(start));
    cpu += ProcessCpuSeconds() - cpu_start;
    wall += Seconds(wall_start);
  }
  best.cpu_per_wall = cpu / wall;
  best.pixels = pixels;
  return best;
}

// Stage 3 on the stored subdivision on one thread, its building included.
double TimeStoredTreeProjection(std::vector<CVSample> samples, const CVSensor& s, CV_scene scene_copy) {
  CVDataSet set{uint32_t(samples.size()), uint32_t(samples.size()), samples.data()};
  NoProgress progress;
  MarkVisibleSamples(set, s.eye, scene_copy, 1u, progress);
  ComputeBrightness(set, s.eye, scene_copy, 1u, progress);
  std::vector<float> pixels(SensorCellCount(kSensorLevel), kEmptyPixel);
  double best = 1e30;
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    auto start = std::chrono::steady_clock::now();
    CVSensorTree tree;
    if (!BuildSensorTree(s.ul, s.ur, s.dl, s.dr, tree)) return -1;
    ProjectSamples(set, s.eye, tree, pixels.data(), progress);
    FreeSensorTree(tree);
    best = std::min(best, Seconds(start));
  }
  return best;
}

// The samples and sensor of a run of the scene in dir, without its stages.
bool SamplesOf(const std::string& dir, std::vector<CVSample>& samples, CVSensor& sensor, CV_scene& scene) {
  Settings settings;
  if (chdir(dir.c_str()) != 0 || !ReadSettings(settings) || CreateScene(settings.filename, scene) == 0) return false;
  BuildRayQuery(scene);
  CVDataSet filled{0, 0, nullptr};
  if (!AllocateDataSet(filled, settings.dataset_size)) return false;
  init_genrand(50);
  NoProgress progress;
  FillDataSet(scene, filled, settings.light_chance, progress);
  samples.assign(filled.samples, filled.samples + filled.count);
  FreeDataSet(filled);
  AllocateSensor(sensor, settings.camera);
  return true;
}

// The pixel search alone over the visible samples' lines, and stage 3 with
// it (the pixel maxima and the threads' bookkeeping added), on one thread,
// best of kRepeats each, the projection's preparation included. The two
// searches must find the same pixels.
void PixelSearchRow(const char* label, const std::string& dir) {
  std::vector<CVSample> samples;
  CVSensor sensor{};
  CV_scene scene{0, nullptr, 0, nullptr};
  if (!SamplesOf(dir, samples, sensor, scene)) {
    std::printf("%-30s cannot read %s\n", label, dir.c_str());
    return;
  }
  CVDataSet set{uint32_t(samples.size()), uint32_t(samples.size()), samples.data()};
  NoProgress progress;
  MarkVisibleSamples(set, sensor.eye, scene, 1u, progress);
  ComputeBrightness(set, sensor.eye, scene, 1u, progress);
  std::vector<vector3f> lines;
  for (const CVSample& sample : samples) {
    if (sample.visible) lines.push_back(VectorizeVertices(sample.position, sensor.eye));
  }
  std::vector<float> pixels(SensorCellCount(kSensorLevel));
  std::vector<int32_t> found[2] = {std::vector<int32_t>(samples.size() + 1), std::vector<int32_t>(samples.size() + 1)};
  std::vector<int32_t> alone[2] = {std::vector<int32_t>(lines.size()), std::vector<int32_t>(lines.size())};
  const PixelSearch searches[2] = {SearchSensorPixelByDescent, FindSensorPixelByProjection};
  double search[2] = {1e30, 1e30}, stage[2] = {1e30, 1e30};
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    for (int k = 0; k < 2; ++k) {
      auto start = std::chrono::steady_clock::now();
      CVSensorProjection projection = PrepareSensorProjection(sensor.ul, sensor.ur, sensor.dl, sensor.dr);
      for (size_t n = 0; n < lines.size(); ++n) alone[k][n] = searches[k](lines[n], projection);
      search[k] = std::min(search[k], Seconds(start));
      std::fill(pixels.begin(), pixels.end(), kEmptyPixel);
      start = std::chrono::steady_clock::now();
      ProjectVisibleSamples(set, sensor, pixels.data(), found[k].data(), 1u, progress, searches[k]);
      stage[k] = std::min(stage[k], Seconds(start));
    }
  }
  double per = 1e6 / double(lines.size());
  bool same = found[0] == found[1] && alone[0] == alone[1];
  std::printf("%-30s %8zu %8.3f %8.3f %6.1f | %8.3f %8.3f %6.1f   %s\n", label, lines.size(), search[0] * per,
              search[1] * per, search[0] / search[1], stage[0] * per, stage[1] * per, stage[0] / stage[1],
              same ? "same pixels" : "PIXELS DIFFER");
  FreeRayQuery(scene);
  FreeScene(scene);
}

}  // namespace

int main() {
  // Memory first, while this process is small: forked children start with its pages.
  double program_peak = ProgramPeakMegabytes();
  double descent_peak = InProcessRunPeakMegabytes(false);
  double stored_peak = InProcessRunPeakMegabytes(true);

  CV_scene room{0, nullptr, 0, nullptr};
  std::vector<CVSample> samples;
  CVSensor points{};
  std::string dir = CopyOfExample();
  if (!SamplesOf(dir, samples, points, room)) {
    std::fprintf(stderr, "cannot read the example in %s\n", dir.c_str());
    return 1;
  }

  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  StageTimes one = TimeStages(samples, points, room, 1);
  StageTimes all = TimeStages(samples, points, room, cores);
  double stored = TimeStoredTreeProjection(samples, points, room);
  bool same = one.pixels.size() == all.pixels.size() &&
              std::memcmp(one.pixels.data(), all.pixels.data(), one.pixels.size() * sizeof(float)) == 0;

  std::printf("sensor stages, examples/room, %zu samples (best of %d)\n", samples.size(), kRepeats);
  std::printf("%-28s %12s %12s %8s\n", "stage", "1 thread s", "threads s", "ratio");
  const char* names[] = {"visibility", "brightness", "pixel search + maxima"};
  double t1[] = {one.visibility, one.brightness, one.projection};
  double tn[] = {all.visibility, all.brightness, all.projection};
  double sum1 = 0, sumn = 0;
  for (int s = 0; s < 3; ++s) {
    std::printf("%-28s %12.4f %12.4f %8.2f\n", names[s], t1[s], tn[s], t1[s] / tn[s]);
    sum1 += t1[s];
    sumn += tn[s];
  }
  std::printf("%-28s %12.4f %12.4f %8.2f   (%u threads; target >= 1.7 on 2 cores)\n", "all three", sum1, sumn,
              sum1 / sumn, cores);
  std::printf("%-28s %12.2f %12.2f   (CPU seconds per wall second: the cores actually obtained)\n", "parallelism",
              one.cpu_per_wall, all.cpu_per_wall);
  std::printf("%-28s %12.4f   (stored subdivision built and searched, 1 thread)\n", "pixel search, stored tree",
              stored);
  std::printf("pixels on %u threads equal to 1 thread: %s\n\n", cores, same ? "yes" : "NO");

  std::printf("peak resident memory of a whole default run without a display (ru_maxrss)\n");
  std::printf("%-52s %8.1f MB   (target <= 25)\n", "the program", program_peak);
  std::printf("%-52s %8.1f MB\n", "the run's steps in a forked child", descent_peak);
  std::printf("%-52s %8.1f MB\n", "the run's steps in a forked child, stored tree", stored_peak);
  std::printf("%-52s %8.1f MB\n", "stored tree allocation (1,398,101 cells)",
              double(1398101) * sizeof(CVSensorCell) / (1024.0 * 1024.0));

  if (chdir("/") == 0) RemoveDirectory(dir);

  std::printf("\npixel search, one thread, microseconds per visible sample (target: projection >= 20x the descent)\n");
  std::printf("%-30s %8s %8s %8s %6s | %8s %8s %6s\n", "", "", "search", "", "", "stage 3", "", "");
  std::printf("%-30s %8s %8s %8s %6s | %8s %8s %6s\n", "scene", "visible", "descent", "project", "ratio", "descent",
              "project", "ratio");
  std::string copy = CopyOfExample();
  PixelSearchRow("examples/room, 50,000 samples", copy);
  std::string sphere = copy + "/sphere";
  if (std::system(("mkdir -p '" + sphere + "'").c_str()) == 0 && WriteSphereRoom(20000, sphere, 200000) > 0) {
    PixelSearchRow("sphere room, 200,000 samples", sphere);
  }
  if (chdir("/") == 0) RemoveDirectory(copy);
  return 0;
}
