#include "transport/sampling.h"

#include "core/check.h"
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

bool TraceNewPath(CV_scene scene, RayQuery query, CVSample& sample) {
  vector3f ray = LSShootFromLights(scene);
  vertex3f hit;
  vector3f normal;
  int object = 0;
  if (query(ray, scene, hit, normal, object) != 1) return false;
  sample = NewPathSample(ray, hit, normal, object);
  return true;
}

bool TraceContinuedPath(CV_scene scene, CVSample parent, RayQuery query, CVSample& sample) {
  CORVANE_CHECK(parent.object >= 0 && parent.object < scene.object_count);
  CV_object surface = scene.objects[parent.object];
  float lobe_factor = 0;
  float reflectance_factor = 0;
  vector3f scattered;
  MaterialNewRay(parent.incoming, parent.normal, parent.position, surface.diffuse, surface.specular, surface.exponent,
                 lobe_factor, scattered, reflectance_factor);
  vector3f ray = NormalizeVector(scattered);
  vertex3f hit;
  vector3f normal;
  int object = 0;
  if (query(ray, scene, hit, normal, object) != 1) return false;
  sample = ContinuedSample(parent, ray, hit, normal, object, lobe_factor, reflectance_factor);
  return true;
}

namespace {

// The loop one step after the other on this thread.
SamplingEnd TraceInOrder(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                         uint64_t miss_limit, RayQuery query) {
  uint64_t steps_without_hit = 0;
  for (;;) {
    progress.Advance(dataset.count, dataset.capacity);
    float r = float(genrand_real3());
    CVSample sample;
    bool built = r < light_chance ? TraceNewPath(scene, query, sample)
                                  : TraceContinuedPath(scene, GetSampleFromDataSet(dataset), query, sample);
    if (built) {
      steps_without_hit = 0;
      if (!InsertIntoDataSet(dataset, sample)) return kSamplingFull;
    } else if (++steps_without_hit >= miss_limit) {
      return kSamplingNoHits;
    }
  }
}

// FillDataSet up to the end of its phase, which every way out shares.
SamplingEnd TraceLightPaths(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                            uint64_t miss_limit, RayQuery query, unsigned threads) {
  if (scene.light_count < 1) {
    progress.Begin(kSamplingPhase);
    return kSamplingNoLight;
  }

  CVSample first;
  if (TraceNewPath(scene, query, first)) InsertIntoDataSet(dataset, first);
  progress.Begin(kSamplingPhase);
  if (dataset.count == 0) return kSamplingEmpty;

  if (threads > 1) return TraceInPipeline(scene, dataset, light_chance, progress, miss_limit, query, threads);
  return TraceInOrder(scene, dataset, light_chance, progress, miss_limit, query);
}

}  // namespace

SamplingEnd FillDataSet(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress, uint64_t miss_limit,
                        RayQuery query, unsigned threads) {
  SamplingEnd end = TraceLightPaths(scene, dataset, light_chance, progress, miss_limit, query, threads);
  progress.End();
  return end;
}
