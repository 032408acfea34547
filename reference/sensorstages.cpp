#include "reference/sensorstages.h"

#include <cstdlib>

void MarkVisibleSamples(CVDataSet& dataset, vertex3f eye, CV_scene scene, Progress& progress) {
  progress.Begin(kVisibilityPhase);
  for (uint32_t i = 0; i < dataset.count; ++i) {
    progress.Advance(i + 1, dataset.count);
    dataset.samples[i].visible = SampleVisibleFromEye(dataset.samples[i], eye, scene);
  }
  progress.End();
}

void ComputeBrightness(CVDataSet& dataset, vertex3f eye, CV_scene scene, Progress& progress) {
  progress.Begin(kBrightnessPhase);
  for (uint32_t i = 0; i < dataset.count; ++i) {
    progress.Advance(i + 1, dataset.count);
    CVSample& sample = dataset.samples[i];
    if (sample.visible) sample.brightness = BrightnessTowardsEye(sample, eye, scene);
  }
  progress.End();
}

void ProjectSamples(const CVDataSet& dataset, vertex3f eye, const CVSensorTree& tree, float* pixels,
                    Progress& progress) {
  progress.Begin(kProjectionPhase);
  for (uint32_t i = 0; i < dataset.count; ++i) {
    progress.Advance(i + 1, dataset.count);
    const CVSample& sample = dataset.samples[i];
    if (!sample.visible) continue;
    // Not normalised: the eye lies at parameter 1.
    vector3f L = VectorizeVertices(sample.position, eye);
    int p = FindSensorPixel(L, tree);
    if (p >= 0) ApplyPixelMaximum(pixels[p], sample.brightness);
  }
  progress.End();
}

int VisualizeDataSetWithStoredTree(CVDataSet& dataset, CVSensor& sensor, CV_scene scene) {
  NoProgress progress;
  MarkVisibleSamples(dataset, sensor.eye, scene, progress);
  ComputeBrightness(dataset, sensor.eye, scene, progress);

  size_t pixel_count = SensorCellCount(kSensorLevel);
  float* pixels = static_cast<float*>(std::malloc(pixel_count * sizeof(float)));
  CVSensorTree tree;
  if (pixels == nullptr || !BuildSensorTree(sensor.ul, sensor.ur, sensor.dl, sensor.dr, tree)) {
    std::free(pixels);
    sensor.pixels = nullptr;
    return 0;
  }
  for (size_t p = 0; p < pixel_count; ++p) pixels[p] = kEmptyPixel;

  ProjectSamples(dataset, sensor.eye, tree, pixels, progress);

  ClearEmptyPixels(pixels, pixel_count);
  FreeSensorTree(tree);
  sensor.pixels = pixels;
  sensor.level = kSensorLevel;
  return 1;
}
