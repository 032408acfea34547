// Queries per second of the reference scan and the hierarchy on the same rays,
// hierarchy build time and memory, and whole-run stage times, on a room with a
// tessellated sphere of N triangles. Prints tables; nothing passes or fails.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/raybench.h"
#include "config/settings.h"
#include "core/mt19937.h"
#include "rayquery/bvh.h"
#include "rayquery/rayquery.h"
#include "rayquery/rayscene.h"
#include "reference/rayscan.h"
#include "reference/sensordescent.h"
#include "sensor/image.h"
#include "sensor/sensor.h"
#include "transport/dataset.h"
#include "transport/sampling.h"

#define SPHERE_ROOM_NO_MAIN
#include "make_sphere_room.cpp"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The processor time of this thread: on a shared machine the query rates
// count only the time the queries actually ran.
std::string MakeDirectory(long n) {
  std::string dir = "/tmp/corvane_rayquery_bench_" + std::to_string(n);
  std::system(("mkdir -p " + dir).c_str());
  return dir;
}

// Rays leaving the light, and rays leaving the surfaces those hit on their front side.
void MakeRays(CV_scene scene, int count, std::vector<vector3f>& from_light, std::vector<vector3f>& from_surface) {
  std::mt19937 engine(1);
  while (int(from_surface.size()) < count) {
    vector3f ray{scene.lights[0].location, RandomDirection(engine)};
    if (int(from_light.size()) < count) from_light.push_back(ray);
    vertex3f hit;
    vector3f normal;
    int object = 0;
    if (IntersectionRayScene(ray, scene, hit, normal, object) != 1) continue;
    from_surface.push_back(LeavingRay(hit, normal, engine));
  }
}

void QueryTable(const std::vector<long>& sizes) {
  std::printf("Ray queries on a room with a sphere of N triangles (one core, queries per second of processor time)\n");
  std::printf("%9s %10s %9s | %12s %12s %8s | %12s %12s %8s | %6s\n", "N", "build ms", "MB", "light ref/s",
              "light acc/s", "ratio", "surf ref/s", "surf acc/s", "ratio", "differ");
  for (long n : sizes) {
    std::string dir = MakeDirectory(n);
    int written = WriteSphereRoom(n, dir, 1000);
    CV_scene scene{};
    CreateScene(dir + "/sphere_room.wrl", scene);
    BuildRayQuery(scene);
    const CV_object& ball = scene.objects[1];
    auto start = std::chrono::steady_clock::now();
    Acceleration* again = BuildAcceleration(ball.triangles, ball.triangle_count, ball.box_triangles);
    double build_ms = Seconds(start) * 1000;
    double megabytes = again == nullptr ? 0 : double(again->bytes) / 1e6;
    FreeAcceleration(again);

    std::vector<vector3f> light, surface;
    MakeRays(scene, 200000, light, surface);
    int done_ref_l = 0, done_acc_l = 0, done_ref_s = 0, done_acc_s = 0;
    double ref_l = QueryRate(scene, light, IntersectionRaySceneReference, 1.0, done_ref_l);
    double acc_l = QueryRate(scene, light, IntersectionRayScene, 2.0, done_acc_l);
    double ref_s = QueryRate(scene, surface, IntersectionRaySceneReference, 1.0, done_ref_s);
    double acc_s = QueryRate(scene, surface, IntersectionRayScene, 2.0, done_acc_s);
    int differ = Mismatches(scene, light, done_ref_l) + Mismatches(scene, surface, done_ref_s);
    std::printf("%9d %10.1f %9.1f | %12.0f %12.0f %8.0f | %12.0f %12.0f %8.0f | %6d\n", written, build_ms, megabytes,
                ref_l, acc_l, acc_l / ref_l, ref_s, acc_s, acc_s / ref_s, differ);
    std::fflush(stdout);
    FreeRayQuery(scene);
    FreeScene(scene);
  }
  std::printf("(reference rates measured on the rays answered within 1 s; \"differ\" compares those answers)\n\n");
}

struct StageTimes {
  double scene;
  double sampling;
  double visualizing;
  double image;
};

// The sensor stages of the plain design: one thread, the plain ray query,
// the plain descent for every pixel.
void VisualizePlainly(CVDataSet& set, CVSensor& view, CV_scene scene) {
  NoProgress progress;
  MarkVisibleSamples(set, view.eye, scene, 1u, progress, IntersectionRaySceneReference);
  ComputeBrightness(set, view.eye, scene, 1u, progress);
  size_t count = SensorCellCount(kSensorLevel);
  view.pixels = static_cast<float*>(std::malloc(count * sizeof(float)));
  std::vector<int32_t> pixel_of(size_t(set.count) + 1);
  for (size_t p = 0; p < count; ++p) view.pixels[p] = kEmptyPixel;
  ProjectVisibleSamples(set, view, view.pixels, pixel_of.data(), 1u, progress, SearchSensorPixelByDescent);
  ClearEmptyPixels(view.pixels, count);
  view.level = kSensorLevel;
}

// A whole run in stages, as RunSimulation makes it, with `samples` samples:
// the plain design, or the program's on `threads` threads (building, sampling
// and the sensor stages all use them, as in the program).
StageTimes WholeRun(const std::string& dir, long samples, bool reference, unsigned threads, std::string& image_bytes) {
  RayQuery query = reference ? IntersectionRaySceneReference : IntersectionRayScene;
  StageTimes times{};
  Settings settings;
  std::string cfg_dir = dir;
  if (chdir(cfg_dir.c_str()) != 0) return times;
  ReadSettings(settings);
  init_genrand(50);
  auto start = std::chrono::steady_clock::now();
  CV_scene run_scene{};
  CreateScene(settings.filename, run_scene);
  BuildRayQuery(run_scene, threads);
  times.scene = Seconds(start);
  CVDataSet set{0, 0, nullptr};
  AllocateDataSet(set, uint32_t(samples));
  NoProgress progress;
  start = std::chrono::steady_clock::now();
  FillDataSet(run_scene, set, settings.light_chance, progress, kStepsWithoutHitLimit, query, threads);
  times.sampling = Seconds(start);
  CVSensor view{};
  AllocateSensor(view, settings.camera);
  start = std::chrono::steady_clock::now();
  if (reference) {
    VisualizePlainly(set, view, run_scene);
  } else {
    VisualizeDataSet(set, view, run_scene, threads);
  }
  times.visualizing = Seconds(start);
  start = std::chrono::steady_clock::now();
  myImage image(1024, 1024);
  SensorToImage(view, image);
  image.WriteImageToFile("out.ppm");
  times.image = Seconds(start);
  image_bytes = std::string(reinterpret_cast<const char*>(image.data), size_t(1024) * 1024);
  std::free(view.pixels);
  FreeDataSet(set);
  FreeRayQuery(run_scene);
  FreeScene(run_scene);
  return times;
}

void RunTable() {
  std::string dir = MakeDirectory(20000);
  WriteSphereRoom(20000, dir, 200000);
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::printf(
      "Whole run, sphere of 20,000 triangles: the plain design on one thread against the program\n"
      "on %u threads, as it runs (seconds; target: the whole run 250x faster)\n",
      cores);
  std::printf("%-34s %8s %9s %9s %8s %9s\n", "", "scene", "sampling", "visible", "image", "total");
  std::string bytes_acc_small, bytes_ref_small, bytes_acc;
  StageTimes small_ref = WholeRun(dir, 2000, true, 1, bytes_ref_small);
  StageTimes small_acc = WholeRun(dir, 2000, false, cores, bytes_acc_small);
  StageTimes full_acc = WholeRun(dir, 200000, false, cores, bytes_acc);
  auto row = [](const char* label, StageTimes t) {
    std::printf("%-34s %8.3f %9.3f %9.3f %8.3f %9.3f\n", label, t.scene, t.sampling, t.visualizing, t.image,
                t.scene + t.sampling + t.visualizing + t.image);
  };
  row("plain design, 2,000 samples", small_ref);
  row("program, 2,000 samples", small_acc);
  row("program, 200,000 samples", full_acc);
  double ref_query = small_ref.sampling + small_ref.visualizing;
  double acc_query = small_acc.sampling + small_acc.visualizing;
  double ref_full = small_ref.scene + small_ref.image + ref_query * 100;
  double acc_full = full_acc.scene + full_acc.sampling + full_acc.visualizing + full_acc.image;
  std::printf("plain design at 200,000 samples (sampling and sensor stages extrapolated x100): %.1f s\n", ref_full);
  std::printf("speed-up of the whole run at 200,000 samples: %.0fx; at 2,000 samples: sampling+visibility %.0fx\n",
              ref_full / acc_full, ref_query / acc_query);
  std::printf("images at 2,000 samples %s\n", bytes_ref_small == bytes_acc_small ? "identical" : "DIFFER");
}

}  // namespace

// rayquery_bench [N ...] [--no-run]: the sphere sizes to measure (default
// 1000 10000 100000 1000000); --no-run leaves out the whole-run table.
int main(int argc, char** argv) {
  std::vector<long> sizes;
  bool whole_run = true;
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--no-run") == 0) {
      whole_run = false;
    } else {
      sizes.push_back(std::atol(argv[k]));
    }
  }
  if (sizes.empty()) sizes = {1000L, 10000L, 100000L, 1000000L};
  QueryTable(sizes);
  if (whole_run) RunTable();
  return 0;
}
