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

// Runs everything but the window: settings, scene, samples, sensor and
// out.ppm in the working directory. Returns the exit status; messages for the
// user have been printed to standard error.
int RunSimulation();

// Prints the kept input problems to standard error.
void PrintInputProblems();
