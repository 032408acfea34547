// The sensor's three stages on one thread, with the pixels found in the
// stored subdivision: the reference the threaded stages and the descent are
// checked against. Only tests and benchmarks link it.
#pragma once

#include "console/console.h"
#include "reference/sensortree.h"
#include "scene/scene.h"
#include "sensor/sensor.h"
#include "transport/dataset.h"

// What VisualizeDataSet does, on one thread, locating pixels in the stored
// subdivision (about 95 MB during the call). Returns 1, or 0 when memory
// could not be obtained (then pixels is null).
int VisualizeDataSetWithStoredTree(CVDataSet& dataset, CVSensor& sensor, CV_scene scene);

// Stage 1: sets `visible` of every sample, showing progress on
// kVisibilityPercentageRow.
void MarkVisibleSamples(CVDataSet& dataset, vertex3f eye, CV_scene scene, counter& progress);

// Stage 2: replaces the brightness of every visible sample, progress on
// kBrightnessPercentageRow.
void ComputeBrightness(CVDataSet& dataset, vertex3f eye, CV_scene scene, counter& progress);

// Stage 3: applies every visible sample's brightness to the pixel its line to
// the eye reaches, in sample order, progress on kProjectionPercentageRow.
void ProjectSamples(const CVDataSet& dataset, vertex3f eye, const CVSensorTree& tree, float* pixels, counter& progress);
