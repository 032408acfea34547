// The sensor's three stages on one thread, with the pixels found in the
// stored subdivision: the reference the threaded stages and the descent are
// checked against. Only tests and benchmarks link it.
#pragma once

#include "core/progress.h"
#include "reference/sensortree.h"
#include "scene/scene.h"
#include "sensor/sensor.h"
#include "transport/dataset.h"

// What VisualizeDataSet does, on one thread, locating pixels in the stored
// subdivision (about 95 MB during the call); reports no progress. Returns 1,
// or 0 when memory could not be obtained (then pixels is null).
int VisualizeDataSetWithStoredTree(CVDataSet& dataset, CVSensor& sensor, CV_scene scene);

// Stage 1: sets `visible` of every sample; kVisibilityPhase, advanced after
// every sample.
void MarkVisibleSamples(CVDataSet& dataset, vertex3f eye, CV_scene scene, Progress& progress);

// Stage 2: replaces the brightness of every visible sample; kBrightnessPhase.
void ComputeBrightness(CVDataSet& dataset, vertex3f eye, CV_scene scene, Progress& progress);

// Stage 3: applies every visible sample's brightness to the pixel its line to
// the eye reaches, in sample order; kProjectionPhase.
void ProjectSamples(const CVDataSet& dataset, vertex3f eye, const CVSensorTree& tree, float* pixels,
                    Progress& progress);
