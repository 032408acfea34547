#include "reference/sensorstages.h"

#include <cstdlib>

#include "console/rows.h"

void MarkVisibleSamples(CVDataSet& dataset, vertex3f eye, CV_scene scene, counter& progress) {
  for (uint32_t i = 0; i < dataset.count; ++i) {
    ShowPercentage(kVisibilityPercentageRow, kProgressColumn, i + 1, dataset.count, progress);
    dataset.samples[i].visible = SampleVisibleFromEye(dataset.samples[i], eye, scene);
  }
}

void ComputeBrightness(CVDataSet& dataset, vertex3f eye, CV_scene scene, counter& progress) {
  for (uint32_t i = 0; i < dataset.count; ++i) {
    ShowPercentage(kBrightnessPercentageRow, kProgressColumn, i + 1, dataset.count, progress);
    CVSample& sample = dataset.samples[i];
    if (sample.visible) sample.brightness = BrightnessTowardsEye(sample, eye, scene);
  }
}

void ProjectSamples(const CVDataSet& dataset, vertex3f eye, const CVSensorTree& tree, float* pixels,
                    counter& progress) {
  for (uint32_t i = 0; i < dataset.count; ++i) {
    ShowPercentage(kProjectionPercentageRow, kProgressColumn, i + 1, dataset.count, progress);
    const CVSample& sample = dataset.samples[i];
    if (!sample.visible) continue;
    // Not normalised: the eye lies at parameter 1.
    vector3f L = VectorizeVertices(sample.position, eye);
    int p = FindSensorPixel(L, tree);
    if (p >= 0) ApplyPixelMaximum(pixels[p], sample.brightness);
  }
}

int VisualizeDataSetWithStoredTree(CVDataSet& dataset, CVSensor& sensor, CV_scene scene) {
  counter progress{};
  InitPercentageCounter(progress);
  DrawTextPos(kVisibilityHeadingRow, kProgressColumn, "Removing invalid samples:");
  MarkVisibleSamples(dataset, sensor.eye, scene, progress);
  ResetPercentageCounter(progress);

  InitPercentageCounter(progress);
  DrawTextPos(kBrightnessHeadingRow, kProgressColumn, "Calculating sensor data:");
  ComputeBrightness(dataset, sensor.eye, scene, progress);
  ResetPercentageCounter(progress);

  size_t pixel_count = SensorCellCount(kSensorLevel);
  float* pixels = static_cast<float*>(std::malloc(pixel_count * sizeof(float)));
  CVSensorTree tree;
  if (pixels == nullptr || !BuildSensorTree(sensor.ul, sensor.ur, sensor.dl, sensor.dr, tree)) {
    std::free(pixels);
    sensor.pixels = nullptr;
    DeInitPercentageCounter(progress);
    return 0;
  }
  for (size_t p = 0; p < pixel_count; ++p) pixels[p] = kEmptyPixel;

  InitPercentageCounter(progress);
  DrawTextPos(kProjectionHeadingRow, kProgressColumn, "Calculating image output:");
  ProjectSamples(dataset, sensor.eye, tree, pixels, progress);
  ResetPercentageCounter(progress);

  ClearEmptyPixels(pixels, pixel_count);
  FreeSensorTree(tree);
  sensor.pixels = pixels;
  sensor.level = kSensorLevel;
  DeInitPercentageCounter(progress);
  return 1;
}
