#include "sensor/sensor.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <thread>
#include <vector>

#include "core/check.h"
#include "core/raytriangle.h"
#include "rayquery/rayscene.h"
#include "sensor/pixelsearch.h"
#include "transport/scattering.h"

namespace {

// The cosine between the two directions, each made unit first.
float CosineBetween(vector3f a, vector3f b) { return ScalarMultiply(NormalizeVector(a), NormalizeVector(b)); }

// |acos| of that cosine, rounded to float.
float AngleBetween(vector3f a, vector3f b) { return float(std::fabs(ClampedAcos(double(CosineBetween(a, b))))); }

// How often the calling thread looks at the others' progress once it has no
// samples left of its own.
constexpr std::chrono::milliseconds kProgressPoll(2);

// Runs work(begin, end) for every chunk of kSamplesPerChunk samples from 0
// to count - 1 on up to `threads` threads, the calling thread among them,
// each taking the next chunk in turn. Only the calling thread reports to
// progress: the number of samples finished, which only grows and ends at
// count. When a thread cannot be started, those that run do its share.
// Each thread runs its chunks on a copy of work that it made itself: what
// work holds by value is then read from that thread's own stack, never from
// a line that another thread writes (a shared line would pass between the
// cores on every sample). The copy is made once per thread, not per chunk:
// work may hold a sizeable table (the projection's corner grid).
template <typename Work>
void ForEachChunk(uint32_t count, unsigned threads, Progress& progress, const Work& work) {
  if (count == 0) return;
  std::atomic<uint32_t> next_chunk{0};
  std::atomic<uint32_t> finished{0};
  uint32_t chunks = (count - 1) / kSamplesPerChunk + 1;
  // Takes chunks until none is left; returns after finishing one, so that the
  // calling thread can show progress in between.
  auto work_on_next_chunk = [&](const Work& own) {
    uint32_t chunk = next_chunk.fetch_add(1, std::memory_order_relaxed);
    if (chunk >= chunks) return false;
    uint32_t begin = chunk * kSamplesPerChunk;
    uint32_t end = count - begin > kSamplesPerChunk ? begin + kSamplesPerChunk : count;
    CORVANE_CHECK(begin < end && end <= count);
    own(begin, end);
    finished.fetch_add(end - begin, std::memory_order_release);
    return true;
  };

  unsigned helpers = threads > chunks ? chunks - 1 : (threads == 0 ? 0 : threads - 1);
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < helpers; ++t) {
    try {
      workers.emplace_back([&]() {
        const Work own = work;
        while (work_on_next_chunk(own)) {
        }
      });
    } catch (const std::exception&) {
      break;  // no more threads: the running ones share the work
    }
  }
  const Work own = work;
  while (work_on_next_chunk(own)) {
    progress.Advance(finished.load(std::memory_order_acquire), count);
  }
  while (finished.load(std::memory_order_acquire) < count) {
    progress.Advance(finished.load(std::memory_order_acquire), count);
    std::this_thread::sleep_for(kProgressPoll);
  }
  for (std::thread& worker : workers) worker.join();
  progress.Advance(count, count);
}

// Runs work(i) for every sample i as ForEachChunk does.
template <typename Work>
void ForEachSample(uint32_t count, unsigned threads, Progress& progress, const Work& work) {
  ForEachChunk(count, threads, progress, [work](uint32_t begin, uint32_t end) {
    for (uint32_t i = begin; i < end; ++i) work(i);
  });
}

}  // namespace

int AllocateSensor(CVSensor& sensor, const Camera& camera) {
  sensor.eye = camera.eye;
  sensor.center = camera.center;
  sensor.up = camera.up;
  sensor.ul = camera.ul;
  sensor.ur = camera.ur;
  sensor.dl = camera.dl;
  sensor.dr = camera.dr;
  return 1;
}

size_t SensorCellCount(int level) { return size_t(1) << (2 * level); }

bool CellHitByLine(vector3f line, const CVSensorCell& cell) {
  float t = 0.0f;
  vertex3f hit{0, 0, 0};
  if (IntersectionRayTriangle(line, CV_triangle{cell.dl, cell.ul, cell.ur}, t, hit) == kRayFrontAhead) return true;
  return IntersectionRayTriangle(line, CV_triangle{cell.dl, cell.ur, cell.dr}, t, hit) == kRayFrontAhead;
}

void SplitSensorCell(const CVSensorCell& cell, CVSensorCell quarters[4]) {
  vertex3f up = MiddleVertex(cell.ul, cell.ur);
  vertex3f left = MiddleVertex(cell.ul, cell.dl);
  vertex3f right = MiddleVertex(cell.ur, cell.dr);
  vertex3f down = MiddleVertex(cell.dl, cell.dr);
  vertex3f middle = MiddleVertex(left, right);
  quarters[0] = CVSensorCell{0, cell.ul, up, left, middle, {-1, -1, -1, -1}};
  quarters[1] = CVSensorCell{0, up, cell.ur, middle, right, {-1, -1, -1, -1}};
  quarters[2] = CVSensorCell{0, left, middle, cell.dl, down, {-1, -1, -1, -1}};
  quarters[3] = CVSensorCell{0, middle, right, down, cell.dr, {-1, -1, -1, -1}};
}

bool SampleVisibleFromEye(CVSample sample, vertex3f eye, CV_scene scene, RayQuery query) {
  vector3f E = NormalizeVector(VectorizeVertices(sample.position, eye));
  // A NaN product (degenerate normal, sample at the eye) is not below 0: the
  // scene decides.
  if (ScalarMultiply(NormalizeVector(sample.normal), E) < 0.0f) return false;
  // Object 0 never hides a sample.
  return !MeetsAnotherObjectFirst(E, scene, 0, query);
}

float BrightnessTowardsEye(CVSample sample, vertex3f eye, CV_scene scene) {
  // Without its object there is no material: the sample reflects nothing.
  if (sample.object < 0 || sample.object >= scene.object_count) return 0.0f;
  const CV_object& material = scene.objects[sample.object];
  vector3f V = VectorizeVertices(sample.position, eye);
  vector3f R = FermatReflection2(sample.incoming, sample.normal, sample.position);
  float alpha_cosine = CosineBetween(V, R);
  float beta = AngleBetween(sample.incoming, sample.normal);
  float f = PhongBRDFAtCosine(material.diffuse, material.specular, alpha_cosine, material.exponent);
  // Formed in double and rounded once.
  return float(double(sample.weight) * std::fabs(double(f) * std::cos(double(beta))));
}

void ApplyPixelMaximum(float& pixel, float brightness) {
  // Not "max": a NaN stored first stays, and a NaN arriving later is not greater.
  if (pixel == kEmptyPixel || brightness > pixel) pixel = brightness;
}

void ClearEmptyPixels(float* pixels, size_t count) {
  for (size_t p = 0; p < count; ++p) {
    if (pixels[p] == kEmptyPixel) pixels[p] = 0.0f;
  }
}

uint32_t MarkVisibleSamples(CVDataSet& dataset, vertex3f eye, CV_scene scene, unsigned threads, Progress& progress,
                            RayQuery query) {
  CVSample* samples = dataset.samples;
  std::atomic<uint32_t> visible{0};
  progress.Begin(kVisibilityPhase);
  // Counted while the samples are at hand: a pass of its own would read the
  // whole data set again on one thread.
  std::atomic<uint32_t>* total = &visible;
  ForEachChunk(dataset.count, threads, progress, [samples, eye, scene, query, total](uint32_t begin, uint32_t end) {
    uint32_t seen = 0;
    for (uint32_t i = begin; i < end; ++i) {
      samples[i].visible = SampleVisibleFromEye(samples[i], eye, scene, query);
      seen += samples[i].visible ? 1 : 0;
    }
    total->fetch_add(seen, std::memory_order_relaxed);
  });
  progress.End();
  return visible.load(std::memory_order_relaxed);
}

void ComputeBrightness(CVDataSet& dataset, vertex3f eye, CV_scene scene, unsigned threads, Progress& progress) {
  CVSample* samples = dataset.samples;
  progress.Begin(kBrightnessPhase);
  ForEachSample(dataset.count, threads, progress, [samples, eye, scene](uint32_t i) {
    if (samples[i].visible) samples[i].brightness = BrightnessTowardsEye(samples[i], eye, scene);
  });
  progress.End();
}

uint32_t ProjectVisibleSamples(const CVDataSet& dataset, const CVSensor& sensor, float* pixels, int32_t* pixel_of,
                               unsigned threads, Progress& progress, PixelSearch search) {
  const CVSample* samples = dataset.samples;
  vertex3f eye = sensor.eye;
  CVSensorProjection projection = PrepareSensorProjection(sensor.ul, sensor.ur, sensor.dl, sensor.dr);
  progress.Begin(kProjectionPhase);
  ForEachSample(dataset.count, threads, progress, [samples, eye, projection, pixel_of, search](uint32_t i) {
    pixel_of[i] = kSensorNoPixel;
    if (!samples[i].visible) return;
    // Not normalised: the eye lies at parameter 1.
    vector3f L = VectorizeVertices(samples[i].position, eye);
    pixel_of[i] = search(L, projection);
    CORVANE_CHECK(pixel_of[i] == kSensorNoPixel ||
                  (pixel_of[i] >= 0 && size_t(pixel_of[i]) < SensorCellCount(kSensorLevel)));
  });
  uint32_t projected = 0;
  for (uint32_t i = 0; i < dataset.count; ++i) {
    if (pixel_of[i] == kSensorNoPixel) continue;
    ApplyPixelMaximum(pixels[pixel_of[i]], samples[i].brightness);
    projected++;
  }
  progress.End();
  return projected;
}

int VisualizeDataSet(CVDataSet& dataset, CVSensor& sensor, CV_scene scene) {
  unsigned cores = std::thread::hardware_concurrency();
  return VisualizeDataSet(dataset, sensor, scene, cores > 0 ? cores : 1);
}

int VisualizeDataSet(CVDataSet& dataset, CVSensor& sensor, CV_scene scene, unsigned threads, RayQuery query) {
  NoProgress progress;
  SensorCounts counts;
  return VisualizeDataSet(dataset, sensor, scene, threads, query, progress, counts);
}

int VisualizeDataSet(CVDataSet& dataset, CVSensor& sensor, CV_scene scene, unsigned threads, RayQuery query,
                     Progress& progress, SensorCounts& counts) {
  counts = SensorCounts{};
  counts.visible = MarkVisibleSamples(dataset, sensor.eye, scene, threads, progress, query);

  ComputeBrightness(dataset, sensor.eye, scene, threads, progress);

  size_t pixel_count = SensorCellCount(kSensorLevel);
  float* pixels = static_cast<float*>(std::malloc(pixel_count * sizeof(float)));
  // One more than needed, so that an empty data set does not ask for 0 bytes.
  int32_t* pixel_of = static_cast<int32_t*>(std::malloc((size_t(dataset.count) + 1) * sizeof(int32_t)));
  if (pixels == nullptr || pixel_of == nullptr) {
    std::free(pixels);
    std::free(pixel_of);
    sensor.pixels = nullptr;
    return 0;
  }
  for (size_t p = 0; p < pixel_count; ++p) pixels[p] = kEmptyPixel;

  counts.projected = ProjectVisibleSamples(dataset, sensor, pixels, pixel_of, threads, progress);
  std::free(pixel_of);
  ClearEmptyPixels(pixels, pixel_count);
  for (size_t p = 0; p < pixel_count; ++p) counts.lit += pixels[p] > 0.0f ? 1 : 0;
  sensor.pixels = pixels;
  sensor.level = kSensorLevel;
  return 1;
}
