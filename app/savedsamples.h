// The run's data set through a samples file: traced, or loaded from one
// that --samples names; saved for later runs when --save-samples names one.
#pragma once

#include <string>

#include "config/settings.h"
#include "core/progress.h"
#include "scene/scene.h"
#include "transport/dataset.h"
#include "transport/samplesfile.h"
#include "transport/sampling.h"

// What shaped the trace of a run with these settings.
TraceOrigin RunTraceOrigin(const Settings& settings);

// Fills dataset by tracing light paths in scene on `threads` threads or,
// when load names a file, by loading it in the sampling phase of progress.
// Returns how the sampling ended; refusal receives why the file was refused,
// else stays empty.
SamplingEnd FillOrLoadDataSet(const std::string& load, const Settings& settings, CV_scene scene, CVDataSet& dataset,
                              Progress& progress, std::string& refusal, unsigned threads);

// Writes dataset, as the sampling left it, to name through a temporary.
// False when it could not be written; an earlier file is then left as it was.
bool SaveDataSet(const std::string& name, const Settings& settings, const CVDataSet& dataset, SamplingEnd end);
