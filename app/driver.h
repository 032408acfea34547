// The run: program-wide state and the stages that main runs in order.
#pragma once

#include <cstdint>
#include <string>

#include "app/options.h"
#include "config/settings.h"
#include "scene/scene.h"
#include "sensor/image.h"
#include "sensor/sensor.h"
#include "transport/dataset.h"

// Program-wide state. Only the driver and the viewer read these.
extern Settings settings;
extern CV_scene scene;
extern CVDataSet dataset;
extern CVSensor sensor;
extern int roti;

// Exit statuses of the program.
constexpr int kExitImageWritten = 0;
constexpr int kExitNoMemory = 1;
constexpr int kExitInputRefused = 2;
constexpr int kExitImageNotWritten = 3;
constexpr int kExitImageEmpty = 4;  // written, but no pixel is lit

constexpr const char* kImageFileName = "out.ppm";

// The files a run writes, and the samples it reads, named as seen from the
// scene folder.
struct RunFiles {
  std::string ppm;        // the grey image: out.ppm, or -o
  std::string png;        // --png, or empty
  std::string exr;        // --exr, or empty
  std::string views;      // --views, the file read, or empty
  unsigned numbered = 0;  // views of a sequence, which numbers each file (NumberedName); 0: none

  std::string saved_samples;   // --save-samples, or empty
  std::string loaded_samples;  // --samples, or empty: the run traces its own
};

// Names the run's files and enters the scene folder of the command line, if
// any: -o, --png, --exr, --save-samples and --samples name files relative to
// the folder the program was started in, the default out.ppm lies in the
// scene folder. False after a message when the folder cannot be entered.
bool EnterSceneFolder(const CommandLine& options, RunFiles& files);

// Runs everything but the window in the working directory: settings with the
// -D overrides, scene, samples, sensor and the files, once per view of a
// sequence (then files.numbered counts them). Returns the exit status;
// messages for the user have been printed to standard error, but for the
// reason of an image with no lit pixel (kExitImageEmpty; in a sequence, of
// every view), which is left to TakeEmptyImageReason, so that it can end the
// output.
int RunSimulation(const CommandLine& options, RunFiles& files);

// Renders the picture seen from camera (its eye, point looked at and up, with
// the run's field of view) into the next free numbered PNG named after the
// run's picture (or its image, as .png), with the run's exposure, and leaves
// the samples and the sensor as the window shows them. Returns the line
// that says where the picture went, or why there is none.
std::string RenderWindowView(const Camera& camera);

// name as a user finds it: a relative name with the working directory in front.
std::string ShownPath(const std::string& name);

// The files a run wrote, as paths a person can open: "the image is
// /r/out.ppm", followed by "the picture ...", "the sensor values ..." and
// "the samples ..." when --png, --exr and --save-samples asked for them; a
// sequence names its first and last files ("the images are /r/out-0001.ppm
// to /r/out-0036.ppm").
std::string WrittenFilesText(const RunFiles& files);

// Prints the kept input problems to standard error.
void PrintInputProblems();
