// The run: program-wide state and the stages that main runs in order.
#pragma once

#include <cstdint>
#include <string>

#include "console/console.h"
#include "scene/scene.h"
#include "sensor/image.h"
#include "sensor/sensor.h"
#include "transport/dataset.h"

// Program-wide state. Only the driver and the viewer read these.
extern uint32_t dataset_size;
extern float light_chance;
extern std::string filename;
extern bool wireframe;
extern vertex3f eyev, centerv, upv;
extern vertex3f ulv, urv, dlv, drv;
extern CV_scene scene;
extern CVDataSet dataset;
extern CVSensor sensor;
extern int roti;

// Exit statuses of the program.
constexpr int kExitImageWritten = 0;
constexpr int kExitNoMemory = 1;
constexpr int kExitInputRefused = 2;
constexpr int kExitImageNotWritten = 3;

constexpr const char* kImageFileName = "out.ppm";

// A sampling loop that has found no surface in this many consecutive steps
// gives up: every ray leaves the scene. A closed room hits on nearly every
// step, and an open scene with a handful of objects still hits within a few
// thousand; ten million misses in a row take seconds and mean the data set can
// never fill.
constexpr uint64_t kStepsWithoutHitLimit = 10000000;

// How the sampling ended.
enum SamplingEnd {
  kSamplingFull,          // the data set refused a sample: it is full
  kSamplingNoLight,       // the scene has no light: no path can start
  kSamplingEmpty,         // the first path missed or the capacity is 0
  kSamplingNoHits,        // kStepsWithoutHitLimit steps in a row found nothing
};

// The first sample of a new light path.
CVSample NewPathSample(vector3f ray, vertex3f hit, vector3f normal, int object);

// A sample continuing parent along ray, with the factors of its scattering.
CVSample ContinuedSample(CVSample parent, vector3f ray, vertex3f hit, vector3f normal, int object,
                         float lobe_factor, float reflectance_factor);

// Traces the first light path, shows the "Calculating samples:" heading and
// runs the sampling loop until the data set refuses a sample, or until
// miss_limit steps in a row have found nothing.
SamplingEnd FillDataSet(CV_scene scene, CVDataSet& dataset, float light_chance, counter& progress,
                        uint64_t miss_limit = kStepsWithoutHitLimit);

// A sensor value as a grey byte: value * 255 truncated, saturating at 0 and
// 255; NaN gives 0.
unsigned char PixelToByte(float value);

// The sensor's pixels, transposed, as the bytes of image (side by side pixels).
void SensorToImage(const CVSensor& sensor, myImage& image);

// Runs everything but the window: settings, scene, samples, sensor and
// out.ppm in the working directory. Returns the exit status; messages for the
// user have been printed to standard error.
int RunSimulation();

// Prints the kept input problems to standard error.
void PrintInputProblems();
