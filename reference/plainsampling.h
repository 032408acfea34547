// The sampling loop as it runs on one core, step after step: what the
// program's loop on any number of threads must reproduce to the byte.
#pragma once

#include <cstdint>

#include "core/progress.h"
#include "rayquery/rayscene.h"
#include "scene/scene.h"
#include "transport/dataset.h"
#include "transport/sampling.h"

// FillDataSet's first path, loop, ends and progress reports, one step at a
// time with nothing fetched or traced ahead.
SamplingEnd FillDataSetPlain(CV_scene scene, CVDataSet& dataset, float light_chance, Progress& progress,
                             uint64_t miss_limit = kStepsWithoutHitLimit, RayQuery query = IntersectionRayScene);
