#include "app/driver.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "config/settings.h"
#include "core/messages.h"
#include "core/mt19937.h"
#include "scene/rayscene.h"
#include "transport/emission.h"
#include "transport/scattering.h"

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

CVSample NewPathSample(vector3f ray, vertex3f hit, vector3f normal, int object) {
  CVSample sample{};
  sample.object = int16_t(object);
  sample.reserved = 0;
  sample.position = hit;
  sample.incoming = ray;
  sample.normal = normal;
  sample.weight = 1.0f;
  sample.brightness = 1.0f;
  sample.absorbed = false;
  sample.visible = false;
  return sample;
}

CVSample ContinuedSample(CVSample parent, vector3f ray, vertex3f hit, vector3f normal, int object,
                         float lobe_factor, float reflectance_factor) {
  CVSample sample = NewPathSample(ray, hit, normal, object);
  sample.reserved = parent.reserved;
  sample.weight = reflectance_factor * parent.weight;
  sample.brightness = lobe_factor * parent.brightness;
  return sample;
}

SamplingEnd FillDataSet(CV_scene scene, CVDataSet& dataset, float light_chance, counter& progress,
                        uint64_t miss_limit) {
  if (scene.light_count < 1) {
    DrawTextPos(1, 1, "Calculating samples:");
    return kSamplingNoLight;
  }

  vector3f ray = LSShootFromLights(scene);
  vertex3f hit;
  vector3f normal;
  int object = 0;
  if (IntersectionRayScene(ray, scene, hit, normal, object) == 1) {
    InsertIntoDataSet(dataset, NewPathSample(ray, hit, normal, object));
  }
  DrawTextPos(1, 1, "Calculating samples:");
  if (dataset.count == 0) return kSamplingEmpty;

  uint64_t steps_without_hit = 0;
  for (;;) {
    ShowPercentage(2, 1, dataset.count, dataset.capacity, progress);
    float r = float(genrand_real3());
    bool built = false;
    CVSample sample;
    if (r < light_chance) {
      ray = LSShootFromLights(scene);
      if (IntersectionRayScene(ray, scene, hit, normal, object) == 1) {
        sample = NewPathSample(ray, hit, normal, object);
        built = true;
      }
    } else {
      CVSample parent = GetSampleFromDataSet(dataset);
      CV_object surface = scene.objects[parent.object];
      float lobe_factor = 0;
      float reflectance_factor = 0;
      vector3f scattered;
      MaterialNewRay(parent.incoming, parent.normal, parent.position, surface.diffuse, surface.specular,
                     surface.exponent, lobe_factor, scattered, reflectance_factor);
      ray = NormalizeVector(scattered);
      if (IntersectionRayScene(ray, scene, hit, normal, object) == 1) {
        sample = ContinuedSample(parent, ray, hit, normal, object, lobe_factor, reflectance_factor);
        built = true;
      }
    }
    if (built) {
      steps_without_hit = 0;
      if (!InsertIntoDataSet(dataset, sample)) return kSamplingFull;
    } else if (++steps_without_hit >= miss_limit) {
      return kSamplingNoHits;
    }
  }
}

unsigned char PixelToByte(float value) {
  if (!(value > 0.0f)) return 0;  // NaN and negative values are black
  double scaled = double(value) * 255.0;
  if (scaled >= 255.0) return 255;
  return (unsigned char)scaled;
}

void SensorToImage(const CVSensor& sensor, myImage& image) {
  size_t count = size_t(std::pow(4.0, double(sensor.level)));
  int side = int(std::sqrt(double(count)));
  for (int i = 0; i < side; i++) {
    for (int j = 0; j < side; j++) {
      image.data[i + j * image.width] = PixelToByte(sensor.pixels[size_t(i) * side + j]);
    }
  }
}

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

  size_t count = size_t(std::pow(4.0, double(sensor.level)));
  int side = int(std::sqrt(double(count)));
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
