// A whole small run from the fuzzer, without console and window: the input is
// the settings file, a line "=====", and the scene file. The data set is
// capped at kMaxSamples; the image is written to memory.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/settings.h"
#include "core/messages.h"
#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "sensor/image.h"
#include "sensor/sensor.h"
#include "tests/fuzz/fuzz_files.h"
#include "transport/sampling.h"

namespace {

constexpr uint32_t kMaxSamples = 200;
constexpr uint32_t kSeed = 50;
const std::string kSeparator = "\n=====\n";
const std::string kSceneName = "scene.wrl";

// The sampling loop gives up after this many misses in a row: the program's
// own limit (kStepsWithoutHitLimit, ten million steps) takes seconds per input.
constexpr uint64_t kMissLimit = 20000;

void Run(const std::string& settings_text, const std::string& scene_text) {
  WriteFuzzFile(CONFIG_FILENAME, settings_text.data(), settings_text.size());
  WriteFuzzFile(kSceneName, scene_text.data(), scene_text.size());

  Settings settings;
  if (!ReadSettings(settings)) return;
  // Names of other directories could reach devices that never end (/dev/zero)
  // or files of the machine; the fuzzer's own scene stands in for them.
  if (settings.filename.find('/') != std::string::npos) settings.filename = kSceneName;

  CV_scene world{0, nullptr, 0, nullptr};
  if (CreateScene(settings.filename, world) == 0) return;
  BuildRayQuery(world);
  uint32_t capacity = std::min(settings.dataset_size, kMaxSamples);

  CVDataSet samples{0, 0, nullptr};
  if (!AllocateDataSet(samples, capacity)) std::abort();
  NoProgress progress;
  init_genrand(kSeed);
  FillDataSet(world, samples, settings.light_chance, progress, kMissLimit);
  if (samples.count > samples.capacity) std::abort();

  CVSensor view{};
  AllocateSensor(view, settings.camera);
  if (VisualizeDataSet(samples, view, world) == 1) {
    size_t count = size_t(1) << (2 * view.level);
    int side = 1 << view.level;
    if (count != size_t(side) * size_t(side)) std::abort();
    myImage image(side, side);
    SensorToImage(view, image);
    char* buffer = nullptr;
    size_t length = 0;
    std::FILE* memory = open_memstream(&buffer, &length);
    if (memory == nullptr) std::abort();
    bool written = image.WriteImageToStream(memory);
    std::fclose(memory);
    std::string header = "P6 " + std::to_string(side) + " " + std::to_string(side) + " 255\n";
    if (!written || length != header.size() + count * 3) std::abort();
    std::free(buffer);
    std::free(view.pixels);
  }

  FreeDataSet(samples);
  FreeRayQuery(world);
  FreeScene(world);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  InTemporaryDirectory here;
  std::string input(reinterpret_cast<const char*>(bytes), size);
  size_t split = input.find(kSeparator);
  std::string settings_text = split == std::string::npos ? input : input.substr(0, split + 1);
  std::string scene_text = split == std::string::npos ? "" : input.substr(split + kSeparator.size());
  Run(settings_text, scene_text);
  TakeInputProblems();
  return 0;
}
