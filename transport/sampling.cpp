#include "transport/sampling.h"

#include "core/check.h"
#include "core/hints.h"
#include "core/mt19937.h"
#include "transport/emission.h"
#include "transport/samplingpipeline.h"
#include "transport/scattering.h"

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

CVSample ContinuedSample(CVSample parent, vector3f ray, vertex3f hit, vector3f normal, int object, float lobe_factor,
                         float reflectance_factor) {
  CVSample sample = NewPathSample(ray, hit, normal, object);
  sample.reserved = parent.reserved;
  sample.weight = reflectance_factor * parent.weight;
  sample.brightness = lobe_factor * parent.brightness;
  return sample;
}

PathRay NewPathRay(CV_scene scene) {
  PathRay path{};
  path.ray = LSShootFromLights(scene);
  path.continued = false;
  return path;
}

PathRay ContinuedPathRay(CV_scene scene, CVSample parent) {
  CORVANE_CHECK(parent.object >= 0 && parent.object < scene.object_count);
  CV_object surface = scene.objects[parent.object];
  PathRay path{};
  path.continued = true;
  path.parent = parent;
  vector3f scattered;
  MaterialNewRay(parent.incoming, parent.normal, parent.position, surface.diffuse, surface.specular, surface.exponent,
                 path.lobe_factor, scattered, path.reflectance_factor);
  path.ray = NormalizeVector(scattered);
  return path;
}

bool TracePathRay(CV_scene scene, const PathRay& path, RayQuery query, CVSample& sample) {
  vertex3f hit;
  vector3f normal;
  int object = 0;
  if (query(path.ray, scene, hit, normal, object) != 1) return false;
  sample = path.continued
               ? ContinuedSample(path.parent, path.ray, hit, normal, object, path.lobe_factor, path.reflectance_factor)
               : NewPathSample(path.ray, hit, normal, object);
  return true;
}

bool TraceNewPath(CV_scene scene, RayQuery query, CVSample& sample) {
  return TracePathRay(scene, NewPathRay(scene), query, sample);
}

bool TraceContinuedPath(CV_scene scene, CVSample parent, RayQuery query, CVSample& sample) {
  return TracePathRay(scene, ContinuedPathRay(scene, parent), query, sample);
}

namespace {

// This step's draws are made, so the next step's branch and choice are the
// generator's next two words: when they choose a stored sample, its slot is
// fetched while this step's ray is traced. The guess assumes that ray hits;
// a wrong guess costs one fetch.
void FetchNextChoice(const CVDataSet& dataset, float light_chance) {
  uint32_t branch = 0;
  uint32_t choice = 0;
  if (!PeekWord(0, branch) || !PeekWord(1, choice)) return;
  if (float(Real3OfWord(branch)) < light_chance) return;
  size_t start = size_t(Real2OfWord(choice) * double(dataset.count + 1));
  if (start >= dataset.count) return;
  PrefetchForReading(&dataset.samples[start]);
  PrefetchForReading(&dataset.samples[start].visible);
}

}  // namespace

std::optional<SamplingEnd> TraceInOrder(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                                        uint64_t miss_limit, RayQuery query, uint64_t most_steps,
                                        InOrderStretch& stretch) {
  while (stretch.steps < most_steps) {
    stretch.steps++;
    progress.Advance(dataset.count, dataset.capacity);
    float r = float(genrand_real3());
    PathRay path = r < light_chance ? NewPathRay(scene) : ContinuedPathRay(scene, GetSampleFromDataSet(dataset));
    FetchNextChoice(dataset, light_chance);
    CVSample sample;
    bool built = TracePathRay(scene, path, query, sample);
    if (built) {
      stretch.steps_without_hit = 0;
      if (!InsertIntoDataSet(dataset, sample)) return kSamplingFull;
      if (uint64_t due = StretchDueAfter(dataset.count)) PageInStretch(dataset, due);
    } else if (++stretch.steps_without_hit >= miss_limit) {
      return kSamplingNoHits;
    }
  }
  return std::nullopt;
}

namespace {

// FillDataSet up to the end of its phase, which every way out shares.
SamplingEnd TraceLightPaths(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                            uint64_t miss_limit, RayQuery query, unsigned threads) {
  if (scene.light_count < 1) {
    progress.Begin(kSamplingPhase);
    return kSamplingNoLight;
  }

  CVSample first;
  PageInStretch(dataset, 0);
  if (TraceNewPath(scene, query, first)) InsertIntoDataSet(dataset, first);
  if (uint64_t due = StretchDueAfter(dataset.count)) PageInStretch(dataset, due);
  progress.Begin(kSamplingPhase);
  if (dataset.count == 0) return kSamplingEmpty;

  if (threads > 1) return TraceInPipeline(scene, dataset, light_chance, progress, miss_limit, query, threads);
  InOrderStretch stretch;
  return *TraceInOrder(scene, dataset, light_chance, progress, miss_limit, query, UINT64_MAX, stretch);
}

}  // namespace

SamplingEnd FillDataSet(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress, uint64_t miss_limit,
                        RayQuery query, unsigned threads) {
  SamplingEnd end = TraceLightPaths(scene, dataset, light_chance, progress, miss_limit, query, threads);
  progress.End();
  return end;
}
