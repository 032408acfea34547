#include "app/driver.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "config/settings.h"
#include "core/messages.h"
#include "core/mt19937.h"
#include "transport/sampling.h"

uint32_t dataset_size = 50000;
float light_chance = 0.5f;
std::string filename;
bool wireframe = false;
vertex3f eyev{0, 0, 0}, centerv{0, 0, 0}, upv{0, 0, 0};
vertex3f ulv{0, 0, 0}, urv{0, 0, 0}, dlv{0, 0, 0}, drv{0, 0, 0};
CV_scene scene{0, nullptr, 0, nullptr};
CVDataSet dataset{0, 0, nullptr};
CVSensor sensor{};
int roti = 0;

namespace {

constexpr uint32_t kSeed = 50;

std::string WorkingDirectory() {
  char buffer[4096];
  if (getcwd(buffer, sizeof buffer) == nullptr) return ".";
  return buffer;
}

}  // namespace

void PrintInputProblems() {
  for (const std::string& line : TakeInputProblems()) std::fprintf(stderr, "%s\n", line.c_str());
}

int RunSimulation() {
  counter progress;
  InitPercentageCounter(progress);
  init_genrand(kSeed);

  if (!ReadSettings(dataset_size, light_chance, filename, wireframe, eyev, centerv, upv, ulv, urv, dlv, drv)) {
    DeInitPercentageCounter(progress);
    PrintInputProblems();
    return kExitInputRefused;
  }
  if (CreateScene(filename, scene) == 0) {
    DeInitPercentageCounter(progress);
    PrintInputProblems();
    return kExitInputRefused;
  }
  if (!AllocateDataSet(dataset, dataset_size)) {
    DeInitPercentageCounter(progress);
    PrintInputProblems();
    std::fprintf(stderr, "corvane: could not obtain memory for %u samples (DATASETSIZE in %s)\n", dataset_size,
                 CONFIG_FILENAME.c_str());
    return kExitNoMemory;
  }

  SamplingEnd end = FillDataSet(scene, dataset, light_chance, progress);
  DeInitPercentageCounter(progress);
  if (end == kSamplingNoLight) {
    ReportInputProblem("corvane: the scene has no light, so no light path can start; the image is black");
  }
  if (end == kSamplingNoHits) {
    ReportInputProblem("corvane: " + std::to_string(kStepsWithoutHitLimit) +
                       " light paths in a row left the scene without meeting a surface; going on with the " +
                       std::to_string(dataset.count) + " of " + std::to_string(dataset.capacity) +
                       " samples found");
  }

  AllocateSensor(sensor, eyev, centerv, upv, ulv, urv, dlv, drv);
  int visualized = VisualizeDataSet(dataset, sensor, scene);
  PrintInputProblems();
  if (visualized == 0) {
    std::fprintf(stderr, "corvane: could not obtain memory for the sensor's pixels\n");
    return kExitNoMemory;
  }

  int side = 1 << sensor.level;
  myImage image(side, side);
  SensorToImage(sensor, image);
  int written = image.WriteImageToFile(kImageFileName);
  std::free(sensor.pixels);
  sensor.pixels = nullptr;
  if (written != 1) {
    std::fprintf(stderr, "corvane: could not write the image %s/%s\n", WorkingDirectory().c_str(), kImageFileName);
    return kExitImageNotWritten;
  }
  return kExitImageWritten;
}
