// Times the sampling stage on one and on two threads for the large room, a
// room with a tessellated sphere and the spider, checks that both give the
// same data set, and prints the speed-up, the CPU seconds per wall second
// (the machine may not give the second thread a core of its own), how many
// steps traced ahead were taken back, and the cost of a step's two parts. An
// open scene where half the steps miss compares the one-thread loop with
// the plain loop of the reference library. Beside each speed-up: that of
// the same kind of steps traced apart, which no pipeline can beat.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "core/hints.h"
#include "core/mt19937.h"
#include "rayquery/rayquery.h"
#include "reference/plainsampling.h"
#include "transport/sampling.h"
#include "transport/samplingpipeline.h"

#define SPHERE_ROOM_NO_MAIN
#include "make_sphere_room.cpp"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Seconds the host of a virtual machine has taken its cores from it so far
// (the steal column of /proc/stat, all cores); 0 where it is not told.
double StolenSeconds() {
  std::FILE* stat = std::fopen("/proc/stat", "r");
  if (stat == nullptr) return 0;
  unsigned long long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
  int read = std::fscanf(stat, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &user, &nice, &system, &idle, &iowait,
                         &irq, &softirq, &steal);
  std::fclose(stat);
  long ticks = sysconf(_SC_CLK_TCK);
  return read == 8 && ticks > 0 ? double(steal) / double(ticks) : 0;
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Loaded {
  Settings settings;
  CV_scene scene{};
};

// The settings and scene of the folder, read as the program reads them.
bool Load(const std::string& dir, Loaded& loaded) {
  if (chdir(dir.c_str()) != 0 || !ReadSettings(loaded.settings)) return false;
  if (CreateScene(loaded.settings.filename, loaded.scene) == 0) return false;
  BuildRayQuery(loaded.scene);
  return true;
}

struct Timed {
  double wall;
  double cpu;
  double stolen;  // by the host, from either core, meanwhile
  std::string bytes;
  PipelineCounts counts;
};

using Fill = SamplingEnd (*)(CV_scene, CVDataSet&, float, Progress&, uint64_t, RayQuery, unsigned);

SamplingEnd Plain(CV_scene scene, CVDataSet& set, float chance, Progress& progress, uint64_t limit, RayQuery query,
                  unsigned) {
  return FillDataSetPlain(scene, set, chance, progress, limit, query);
}

Timed TimeSampling(const Loaded& loaded, unsigned threads, Fill fill) {
  CVDataSet set{0, 0, nullptr};
  AllocateDataSet(set, loaded.settings.dataset_size);
  std::memset(static_cast<void*>(set.samples), 0, size_t(set.capacity) * sizeof(CVSample));
  init_genrand(50);
  NoProgress progress;
  double cpu = CpuSeconds();
  double stolen = StolenSeconds();
  auto start = std::chrono::steady_clock::now();
  fill(loaded.scene, set, loaded.settings.light_chance, progress, kStepsWithoutHitLimit, IntersectionRayScene, threads);
  Timed timed{Since(start), CpuSeconds() - cpu, StolenSeconds() - stolen, {}, LastPipelineCounts()};
  timed.bytes.assign(reinterpret_cast<const char*>(set.samples), size_t(set.count) * sizeof(CVSample));
  FreeDataSet(set);
  return timed;
}

// The scene's data set as the loop on one thread fills it.
CVDataSet FilledDataSet(const Loaded& loaded) {
  CVDataSet set{0, 0, nullptr};
  AllocateDataSet(set, loaded.settings.dataset_size);
  init_genrand(50);
  NoProgress progress;
  FillDataSet(loaded.scene, set, loaded.settings.light_chance, progress);
  return set;
}

// One step's parallel part from its two draws: a new path, or one continued
// from the slot that `pick` (in [0, 1)) falls on. True when it hit.
bool TraceStepPart(const Loaded& loaded, const CVDataSet& set, float r, double pick) {
  CVSample sample;
  uint32_t slot = uint32_t(pick * double(set.count));
  return r < loaded.settings.light_chance
             ? TraceNewPath(loaded.scene, IntersectionRayScene, sample)
             : TraceContinuedPath(loaded.scene, set.samples[slot], IntersectionRayScene, sample);
}

// CPU seconds of one step's parallel part (scattering and query), averaged over
// steps from a filled data set with the scene's light chance.
double ParallelPartOfAStep(const Loaded& loaded) {
  CVDataSet set = FilledDataSet(loaded);
  const int steps = 200000;
  double start = CpuSeconds();
  int hits = 0;
  for (int k = 0; k < steps; k++) {
    float r = float(genrand_real3());
    hits += TraceStepPart(loaded, set, r, genrand_real2());
  }
  double seconds = (CpuSeconds() - start) / steps;
  FreeDataSet(set);
  std::printf("%s", hits < 0 ? "?" : "");  // keeps the traced steps from being left out
  return seconds;
}

// What this machine gives two threads for this very work: the parallel part
// of `steps` steps from a filled data set, traced on one thread and then
// split between two that share nothing but the scene and the set. Returns the
// wall seconds on two threads per wall second on one (the best of three
// each, interleaved); the pipeline cannot beat it.
double IndependentSpeedUp(const Loaded& loaded) {
  CVDataSet set = FilledDataSet(loaded);
  const int steps = 400000;
  // Each step's two words, then the words its scattering draws (each thread
  // reads its own copy, so that neither touches the generator).
  std::vector<uint32_t> words(size_t(steps) * 2);
  for (uint32_t& word : words) word = genrand_int32();
  std::vector<uint32_t> scattering(size_t(steps) * 8);
  for (uint32_t& word : scattering) word = genrand_int32();
  auto trace = [&](int first, int last) {
    RecordedWords recorded{scattering.data(), scattering.size(), 0, 0};
    DrawFromRecordedWords(&recorded);
    int hits = 0;
    for (int k = first; k < last; k++) {
      recorded.taken = 8 * size_t(k);
      float r = float(Real3OfWord(words[2 * size_t(k)]));
      hits += TraceStepPart(loaded, set, r, Real2OfWord(words[2 * size_t(k) + 1]));
    }
    DrawFromRecordedWords(nullptr);
    return hits;
  };
  double one = 1e30, two = 1e30;
  for (int round = 0; round < 3; round++) {
    auto start = std::chrono::steady_clock::now();
    int hits = trace(0, steps);
    one = std::min(one, Since(start));
    start = std::chrono::steady_clock::now();
    int other_hits = 0;
    std::thread other([&] { other_hits = trace(steps / 2, steps); });
    hits -= trace(0, steps / 2);
    other.join();
    two = std::min(two, Since(start));
    std::printf("%s", hits != other_hits ? "?" : "");  // keeps the traced steps from being left out
  }
  FreeDataSet(set);
  return one / two;
}

// CPU seconds of one step's serial part: its draws, the choice of a parent
// and the storing of a sample, without scattering or query, over the
// second half of a filled data set (each continued step stores a copy of
// its parent, each new path a copy of the first sample). With fetch_ahead
// the slot each step will choose is fetched 32 steps early, as the loop on
// several threads does; the words are recorded first either way.
double SerialPartOfAStep(const Loaded& loaded, bool fetch_ahead) {
  CVDataSet set = FilledDataSet(loaded);
  NoProgress progress;
  uint32_t half = set.count / 2;
  set.count = half;
  std::vector<uint32_t> words(size_t(half) * 6 + 6 * 40);
  for (uint32_t& word : words) word = genrand_int32();
  RecordedWords recorded{words.data(), words.size(), 0, 0};
  const float chance = loaded.settings.light_chance;
  // The first word of the step 32 ahead of this one, and that step's count.
  size_t ahead = 0;
  uint32_t ahead_count = half;
  auto fetch_next = [&] {
    if (float(Real3OfWord(words[ahead])) < chance) {
      ahead += 4;
    } else {
      size_t start = size_t(Real2OfWord(words[ahead + 1]) * double(ahead_count));
      if (start < set.count) PrefetchForReading(&set.samples[start]);
      ahead += 6;
    }
    ahead_count++;
  };
  if (fetch_ahead) {
    for (int k = 0; k < 32; k++) fetch_next();
  }
  double start = CpuSeconds();
  DrawFromRecordedWords(&recorded);
  for (uint32_t k = 0; k < half; k++) {
    progress.Advance(set.count, set.capacity);
    float r = float(genrand_real3());
    CVSample sample = r < chance ? set.samples[0] : GetSampleFromDataSet(set);
    for (int w = 0; w < 3; w++) genrand_int32();
    InsertIntoDataSet(set, sample);
    if (fetch_ahead) fetch_next();
  }
  DrawFromRecordedWords(nullptr);
  double seconds = (CpuSeconds() - start) / half;
  FreeDataSet(set);
  return seconds;
}

// The time a cache line takes to go from one thread to another and back,
// in ns: the two threads pass a count back and forth. The pipeline passes
// lines between its threads on every step, and a virtual machine's cores
// may be placed near each other or far apart for a while (this has been
// seen to change the round trip fourfold from one process to the next).
double LineRoundTripNanoseconds() {
  constexpr long kRoundTrips = 100000;
  alignas(64) std::atomic<long> ball{0};
  auto play = [&ball](long first) {
    for (long i = first; i < 2 * kRoundTrips; i += 2) {
      while (ball.load(std::memory_order_acquire) != i) {
      }
      ball.store(i + 1, std::memory_order_release);
    }
  };
  auto start = std::chrono::steady_clock::now();
  std::thread other(play, 1);
  play(0);
  other.join();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / kRoundTrips * 1e9;
}

void Measure(const std::string& name, const std::string& dir) {
  Loaded loaded;
  if (!Load(dir, loaded)) {
    std::printf("%-12s could not be read from %s\n", name.c_str(), dir.c_str());
    return;
  }
  Timed plain = TimeSampling(loaded, 1, Plain);
  double round_trip_before = LineRoundTripNanoseconds();
  // The best of three each, interleaved: a short run on a shared machine may
  // start before the second core is running at full speed.
  Timed one = TimeSampling(loaded, 1, FillDataSet);
  Timed two = TimeSampling(loaded, 2, FillDataSet);
  for (int round = 1; round < 3; round++) {
    Timed again_one = TimeSampling(loaded, 1, FillDataSet);
    if (again_one.wall < one.wall) one = again_one;
    Timed again_two = TimeSampling(loaded, 2, FillDataSet);
    if (again_two.wall < two.wall) two = again_two;
  }
  double round_trip_after = LineRoundTripNanoseconds();
  double ceiling = IndependentSpeedUp(loaded);
  double steps = double(two.counts.committed);
  double parallel = ParallelPartOfAStep(loaded);
  double serial = SerialPartOfAStep(loaded, false);
  double serial_fetched = SerialPartOfAStep(loaded, true);
  std::printf(
      "%-12s %8u samples  1 thread %6.2f s (%.2f cpu/wall, %.2f s stolen)  2 threads %6.2f s (%.2f cpu/wall, "
      "%.2f s stolen)  speed-up %.2fx (independent steps %.2fx)  %s\n",
      name.c_str(), loaded.settings.dataset_size, one.wall, one.cpu / one.wall, one.stolen, two.wall,
      two.cpu / two.wall, two.stolen, one.wall / two.wall, ceiling,
      plain.bytes == one.bytes && one.bytes == two.bytes ? "same data set" : "DATA SETS DIFFER");
  std::printf(
      "%-12s CPU per step: plain loop %.0f ns, 1 thread %.0f ns, 2 threads %.0f ns; apart: draws, choice "
      "and storing %.0f ns (%.0f ns with the choice fetched ahead), scattering and query %.0f ns\n",
      "", plain.cpu / steps * 1e9, one.cpu / steps * 1e9, two.cpu / steps * 1e9, serial * 1e9, serial_fetched * 1e9,
      parallel * 1e9);
  std::printf(
      "%-12s per committed step: %.4f steps taken back, %.4f traced again in order, %.4f traced twice, %.4f traced "
      "in order, %.4f run in order with one thread awake\n",
      "", double(two.counts.taken_back) / steps, double(two.counts.retraced) / steps,
      double(two.counts.traced_twice) / steps, double(two.counts.in_order) / steps, double(two.counts.parked) / steps);
  // The committing thread does the serial part (its choices fetched ahead)
  // and, in the worst case, all the cost of handing steps out; everything
  // else, with the work of steps taken back, spreads over the N threads.
  double handing = std::max(0.0, (two.cpu - one.cpu) / steps);
  double step_one = one.cpu / steps;
  double committing = serial_fetched + handing;
  double spread = step_one + handing + parallel * double(two.counts.taken_back) / steps;
  std::printf("%-12s model (committing thread %.0f ns a step, the rest %.0f ns spread): speed-up", "", committing * 1e9,
              (spread - committing) * 1e9);
  for (int n : {2, 8, 16, 64}) std::printf("  %d cores %.1fx", n, step_one / std::max(committing, spread / n));
  std::printf("\n%-12s a line's round trip between two threads: %.0f ns before the runs, %.0f ns after\n", "",
              round_trip_before, round_trip_after);
  FreeRayQuery(loaded.scene);
  FreeScene(loaded.scene);
}

// A ceiling over a light: every continued ray leaves downwards.
void MeasureOpenScene(const std::string& dir) {
  std::FILE* f = std::fopen((dir + "/open.wrl").c_str(), "w");
  std::fprintf(f,
               "#VRML V2.0 utf8\nPointLight {\nlocation 0 10 0\ncolor 1 1 1\nintensity 1\n}\n"
               "Transform {\ntranslation 0 0 0\nrotation 0 1 0 0\ndiffuseColor 0.5 0.2 10\ngeometry\npoint [\n"
               "-1000 20 -1000,\n1000 20 -1000,\n1000 20 1000,\n-1000 20 1000,\n]\ncoordIndex [\n"
               "0, 1, 2, -1,\n0, 2, 3, -1,\n]\n}\n");
  std::fclose(f);
  std::FILE* cfg = std::fopen((dir + "/corvane.cfg").c_str(), "w");
  std::fprintf(cfg,
               "DATASETSIZE=2000000;\nLIGHTCHANCE=0.5;\nSCENEFILENAME=open.wrl;\nWIREFRAME=0;\nCAMERAPOSITION\n"
               "0 100 700;\n0 100 0;\n0 1 0;\nSENSORPOSITION\n110 210 110;\n110 -10 110;\n-110 210 110;\n"
               "-110 -10 110;\n");
  std::fclose(cfg);
  Loaded loaded;
  if (!Load(dir, loaded)) return;
  Timed plain = TimeSampling(loaded, 1, Plain);
  Timed one = TimeSampling(loaded, 1, FillDataSet);
  Timed two = TimeSampling(loaded, 2, FillDataSet);
  std::printf(
      "%-12s %8u samples  CPU: plain loop %6.2f s, 1 thread %6.2f s (%+.1f%%, wall %.2f s), 2 threads %6.2f s "
      "(wall %.2f s, %.0f%% of steps in order with one thread awake)  %s\n",
      "open ceiling", loaded.settings.dataset_size, plain.cpu, one.cpu, (one.cpu / plain.cpu - 1) * 100, one.wall,
      two.cpu, two.wall, 100.0 * double(two.counts.parked) / double(two.counts.committed),
      plain.bytes == one.bytes && one.bytes == two.bytes ? "same data set" : "DATA SETS DIFFER");
  FreeRayQuery(loaded.scene);
  FreeScene(loaded.scene);
}

}  // namespace

// Names on the command line choose the scenes to measure; none measures
// them all.
int main(int argc, char** argv) {
  const std::vector<std::string> scenes = {"room-1m", "sphere", "spider", "open"};
  const std::vector<std::string> asked(argv + 1, argv + argc);
  for (const std::string& name : asked) {
    if (std::find(scenes.begin(), scenes.end(), name) == scenes.end()) {
      std::string known;
      for (size_t k = 0; k < scenes.size(); ++k) {
        known += (k == 0 ? "" : k + 1 == scenes.size() ? " and " : ", ") + scenes[k];
      }
      std::fprintf(stderr, "sampling_bench: no scene \"%s\"; the scenes are %s\n", name.c_str(), known.c_str());
      return 2;
    }
  }
  auto chosen = [&asked](const char* name) {
    return asked.empty() || std::find(asked.begin(), asked.end(), name) != asked.end();
  };
  std::printf(
      "sampling stage, 1 and 2 threads, the best of three runs each; cpu/wall below the thread count\n"
      "means the machine did not give every thread a core of its own (other work ran on it); time\n"
      "stolen is time the host of a virtual machine took its cores for other work meanwhile (the\n"
      "steal column of /proc/stat); the independent steps, traced apart on two threads with\n"
      "nothing between them, are what this machine gives two threads for this work at the time\n");
  const std::string examples = std::string(CORVANE_SOURCE_DIR) + "/examples/";
  if (chosen("room-1m")) Measure("room-1m", examples + "room-1m");
  if (chosen("spider")) Measure("spider", examples + "spider");
  if (!chosen("sphere") && !chosen("open")) return 0;
  char pattern[] = "/tmp/corvane_sampling_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  std::string dir = pattern;
  WriteSphereRoom(20000, dir, 1000000);
  if (chosen("sphere")) Measure("sphere room", dir);
  if (chosen("open")) MeasureOpenScene(dir);
  std::string command = "rm -rf '" + dir + "'";
  return std::system(command.c_str()) == 0 ? 0 : 1;
}
