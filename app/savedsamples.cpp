#include "app/savedsamples.h"

#include "sensor/tempfile.h"

TraceOrigin RunTraceOrigin(const Settings& settings) {
  return TraceOrigin{SceneFileHash(settings.filename), TraceSettingsHash(settings.dataset_size, settings.light_chance),
                     settings.dataset_size};
}

SamplingEnd FillOrLoadDataSet(const std::string& load, const Settings& settings, CV_scene scene, CVDataSet& dataset,
                              Progress& progress, std::string& refusal, unsigned threads) {
  refusal.clear();
  if (load.empty()) {
    return FillDataSet(scene, dataset, settings.light_chance, progress, kStepsWithoutHitLimit, IntersectionRayScene,
                       threads);
  }
  SamplingEnd end = kSamplingFull;
  progress.Begin(kSamplingPhase);
  refusal = ReadSamplesFile(load, RunTraceOrigin(settings), scene.object_count, dataset, end, progress);
  progress.End();
  return end;
}

bool SaveDataSet(const std::string& name, const Settings& settings, const CVDataSet& dataset, SamplingEnd end) {
  TraceOrigin origin = RunTraceOrigin(settings);
  return WriteViaTemporary(
      name, [&](const std::string& temporary) { return WriteSamplesFile(temporary, dataset, end, origin); });
}
