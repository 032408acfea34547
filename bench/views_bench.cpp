// Times the views of one trace of examples/room-1m on two threads: the
// first view and each further one (the brightness restored, the sensor
// aimed, the three sensor stages), and writing each view's PPM and PNG.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/views.h"
#include "config/settings.h"
#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "sensor/image.h"
#include "sensor/picture.h"
#include "sensor/sensor.h"
#include "transport/sampling.h"

namespace {

const std::string kExample = std::string(CORVANE_SOURCE_DIR) + "/examples/room-1m";
constexpr unsigned kViews = 8;
constexpr unsigned kThreads = 2;
constexpr double kTargetSeconds = 0.3;  // a further view of a 1,000,000-sample trace on 2 cores

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// CPU seconds used so far by every thread of this process.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main() {
  if (chdir(kExample.c_str()) != 0) {
    std::fprintf(stderr, "cannot enter %s\n", kExample.c_str());
    return 1;
  }
  Settings settings;
  CV_scene scene{0, nullptr, 0, nullptr};
  CVDataSet dataset{0, 0, nullptr};
  NoProgress progress;
  init_genrand(50);
  if (!ReadSettings(settings) || CreateScene(settings.filename, scene) == 0 ||
      !AllocateDataSet(dataset, settings.dataset_size)) {
    std::fprintf(stderr, "cannot read the example in %s\n", kExample.c_str());
    return 1;
  }
  BuildRayQuery(scene);
  Clock::time_point start = Clock::now();
  FillDataSet(scene, dataset, settings.light_chance, progress);
  double sampling = Seconds(start);

  AimOptions aim;
  aim.orbit = kViews;
  ViewPlan plan;
  std::string problem = PlanViews(aim, {}, settings.camera, plan);
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    return 1;
  }
  std::vector<float> sampled(dataset.count);
  for (uint32_t i = 0; i < dataset.count; ++i) sampled[i] = dataset.samples[i].brightness;
  char folder[] = "/tmp/corvane_views_bench_XXXXXX";
  if (mkdtemp(folder) == nullptr) return 1;
  const std::string ppm = std::string(folder) + "/view.ppm";
  const std::string png = std::string(folder) + "/view.png";

  std::vector<double> render;
  std::vector<double> cpu;
  std::vector<double> writing;
  for (unsigned v = 0; v < kViews; ++v) {
    start = Clock::now();
    double cpu_start = ProcessCpuSeconds();
    for (uint32_t i = 0; i < dataset.count; ++i) dataset.samples[i].brightness = sampled[i];
    CVSensor sensor{};
    AllocateSensor(sensor, ViewCamera(plan.views[v], dataset));
    if (VisualizeDataSet(dataset, sensor, scene, kThreads) != 1) return 1;
    render.push_back(Seconds(start));
    cpu.push_back(ProcessCpuSeconds() - cpu_start);
    start = Clock::now();
    myImage image(1024, 1024);
    SensorToImage(sensor, image);
    bool written = image.WriteImageToFile(ppm) == 1 && WritePicture(png, sensor, AutomaticExposure(sensor), "");
    writing.push_back(Seconds(start));
    std::free(sensor.pixels);
    if (!written) return 1;
  }
  std::remove(ppm.c_str());
  std::remove(png.c_str());
  rmdir(folder);

  double further = 0;
  double further_cpu = 0;
  double slowest = 0;
  for (unsigned v = 1; v < kViews; ++v) {
    further += render[v];
    further_cpu += cpu[v];
    slowest = std::max(slowest, render[v]);
  }
  further /= kViews - 1;
  further_cpu /= kViews - 1;
  double written = 0;
  for (double w : writing) written += w;
  written /= kViews;
  std::printf("views of one trace, examples/room-1m, %u samples, %u threads, %u views around the room\n", dataset.count,
              kThreads, kViews);
  std::printf("%-34s %8.3f s\n", "sampling (once)", sampling);
  std::printf("%-34s %8.3f s\n", "first view", render[0]);
  std::printf("%-34s %8.3f s   (target <= %.1f s; ratio %.2f)\n", "each further view, mean", further, kTargetSeconds,
              further / kTargetSeconds);
  std::printf("%-34s %8.3f s\n", "each further view, slowest", slowest);
  // On a shared machine the wall time says little; the CPU time over the
  // two cores is what the view takes on a machine of its own.
  std::printf("%-34s %8.3f s   (CPU seconds / %u: a view on idle cores; ratio %.2f)\n",
              "each further view, CPU / threads", further_cpu / kThreads, kThreads,
              further_cpu / kThreads / kTargetSeconds);
  std::printf("%-34s %8.2f\n", "cores obtained (CPU s per wall s)", further_cpu / further);
  std::printf("%-34s %8.3f s   (not in the target)\n", "writing a view's PPM and PNG, mean", written);
  return 0;
}
