#include "reference/plainsampling.h"

#include "core/check.h"
#include "core/mt19937.h"
#include "transport/emission.h"
#include "transport/scattering.h"

namespace {

// FillDataSet up to the end of its phase, which every way out shares.
SamplingEnd TraceLightPaths(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                            uint64_t miss_limit, RayQuery query) {
  if (scene.light_count < 1) {
    progress.Begin(kSamplingPhase);
    return kSamplingNoLight;
  }

  vector3f ray = LSShootFromLights(scene);
  vertex3f hit;
  vector3f normal;
  int object = 0;
  if (query(ray, scene, hit, normal, object) == 1) {
    InsertIntoDataSet(dataset, NewPathSample(ray, hit, normal, object));
  }
  progress.Begin(kSamplingPhase);
  if (dataset.count == 0) return kSamplingEmpty;

  uint64_t steps_without_hit = 0;
  for (;;) {
    progress.Advance(dataset.count, dataset.capacity);
    float r = float(genrand_real3());
    bool built = false;
    CVSample sample;
    if (r < light_chance) {
      ray = LSShootFromLights(scene);
      if (query(ray, scene, hit, normal, object) == 1) {
        sample = NewPathSample(ray, hit, normal, object);
        built = true;
      }
    } else {
      CVSample parent = GetSampleFromDataSet(dataset);
      CORVANE_CHECK(parent.object >= 0 && parent.object < scene.object_count);
      CV_object surface = scene.objects[parent.object];
      float lobe_factor = 0;
      float reflectance_factor = 0;
      vector3f scattered;
      MaterialNewRay(parent.incoming, parent.normal, parent.position, surface.diffuse, surface.specular,
                     surface.exponent, lobe_factor, scattered, reflectance_factor);
      ray = NormalizeVector(scattered);
      if (query(ray, scene, hit, normal, object) == 1) {
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

}  // namespace

SamplingEnd FillDataSetPlain(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                             uint64_t miss_limit, RayQuery query) {
  SamplingEnd end = TraceLightPaths(scene, dataset, light_chance, progress, miss_limit, query);
  progress.End();
  return end;
}
