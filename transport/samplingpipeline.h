// The sampling loop on several threads, giving the data set of the loop that
// runs one step after the other, to the byte.
//
// This thread runs ahead through the steps, making each step's draws from a
// recorded stretch of the generator's words and choosing its parent from the
// samples stored so far, on two assumptions: every step still outstanding will
// hit (so the data set's count grows by one a step), and every glossy lobe
// accepts its first candidate (so a continued step takes six words, a new path
// four). A choice that would read a sample still outstanding waits until that
// sample is committed. The scattering and the ray query of each step run on
// any thread: the other threads take two steps at a time, and with nothing to
// trace they page in the data set's next stretch. Steps are committed strictly
// in order; a step whose query missed is committed and everything traced after
// it is taken back (its choices' absorbed flags restored, its words drawn
// again); a step whose scattering wanted more words than recorded is taken
// back with everything after it and traced here, in order. Every miss halves
// the number of steps traced ahead and every hit adds one; at one step, the
// steps are traced here. When misses keep it at one step for half of a few
// thousand steps, the loop of one thread runs for a stretch while the other
// threads sleep, and then the pipeline tries again.
#pragma once

#include <cstdint>

#include "core/progress.h"
#include "rayquery/rayscene.h"
#include "scene/scene.h"
#include "transport/dataset.h"
#include "transport/sampling.h"

// FillDataSet's loop after the first path (dataset.count >= 1), on `threads`
// threads (this one among them). Leaves the generator where the loop on one
// thread leaves it.
SamplingEnd TraceInPipeline(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                            uint64_t miss_limit, RayQuery query, unsigned threads);

// What the pipeline did, for measuring it: steps committed, and steps traced
// ahead but taken back.
struct PipelineCounts {
  uint64_t committed;
  uint64_t taken_back;
  uint64_t retraced;      // steps traced again in order after a glossy redraw
  uint64_t traced_twice;  // steps the committing thread traced rather than wait
  uint64_t in_order;      // steps traced in order while misses kept the reach at one
  uint64_t parked;        // steps the loop ran in order while the other threads slept
};

// The counts of this thread's last TraceInPipeline.
PipelineCounts LastPipelineCounts();
