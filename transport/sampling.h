// The sampling loop: light paths traced from the lights into the data set.
#pragma once

#include <cstdint>
#include <optional>

#include "core/progress.h"
#include "core/vecmath.h"
#include "rayquery/rayscene.h"
#include "scene/scene.h"
#include "transport/dataset.h"

// A sampling loop that has found no surface in this many consecutive steps
// gives up: every ray leaves the scene. A closed room hits on nearly every
// step, and an open scene with a handful of objects still hits within a few
// thousand; ten million misses in a row take seconds and mean the data set can
// never fill.
constexpr uint64_t kStepsWithoutHitLimit = 10000000;

// How the sampling ended.
enum SamplingEnd {
  kSamplingFull,     // the data set refused a sample: it is full
  kSamplingNoLight,  // the scene has no light: no path can start
  kSamplingEmpty,    // the first path missed or the capacity is 0
  kSamplingNoHits,   // kStepsWithoutHitLimit steps in a row found nothing
};

// The first sample of a new light path.
CVSample NewPathSample(vector3f ray, vertex3f hit, vector3f normal, int object);

// A sample continuing parent along ray, with the factors of its scattering.
CVSample ContinuedSample(CVSample parent, vector3f ray, vertex3f hit, vector3f normal, int object, float lobe_factor,
                         float reflectance_factor);

// A step's ray before it is traced: for a continued path, also its parent
// and the factors of its scattering.
struct PathRay {
  vector3f ray;
  bool continued;
  CVSample parent;
  float lobe_factor;
  float reflectance_factor;
};

// A new light path's first ray: three draws.
PathRay NewPathRay(CV_scene scene);

// The parent scattered at its surface: the draws of MaterialNewRay.
PathRay ContinuedPathRay(CV_scene scene, CVSample parent);

// Traces the ray with query: true and the sample it makes when it hits.
bool TracePathRay(CV_scene scene, const PathRay& path, RayQuery query, CVSample& sample);

// NewPathRay traced: true and its sample when it hits.
bool TraceNewPath(CV_scene scene, RayQuery query, CVSample& sample);

// ContinuedPathRay traced: true and the continued sample when it hits.
bool TraceContinuedPath(CV_scene scene, CVSample parent, RayQuery query, CVSample& sample);

// Misses in a row, carried from one stretch of the loop to the next, and
// the steps run so far.
struct InOrderStretch {
  uint64_t steps_without_hit = 0;
  uint64_t steps = 0;
};

// Runs the loop one step after the other on this thread, drawing from the
// generator, until it ends or stretch.steps reaches most_steps; the end if
// it reached one.
std::optional<SamplingEnd> TraceInOrder(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                                        uint64_t miss_limit, RayQuery query, uint64_t most_steps,
                                        InOrderStretch& stretch);

// Traces the first light path, begins kSamplingPhase and runs the sampling
// loop until the data set refuses a sample, or until miss_limit steps in a row
// have found nothing; before each step it reports the data set's fill to
// progress. Every ray is traced with query. With more than one thread the
// steps are traced ahead on all of them (see transport/samplingpipeline.h);
// the data set, the progress reports and the generator's state at the end are
// the same for every thread count.
SamplingEnd FillDataSet(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                        uint64_t miss_limit = kStepsWithoutHitLimit, RayQuery query = IntersectionRayScene,
                        unsigned threads = 1);
