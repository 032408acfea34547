#include "tests/import_runs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "import/importer.h"
#include "scene/vrmlreader.h"

const std::string kModels = "/usr/share/assimp/models/";

#if defined(__SANITIZE_ADDRESS__)
// Coin reads in a child process that checks for leaks as it ends; the tests
// that import in their own process give it Coin's suppressions from the file
// that the runs of corvane-import use. Read before main, so plain calls only.
extern "C" const char* __lsan_default_suppressions() {
  static char text[4096];
  int fd = open(CORVANE_SOURCE_DIR "/tests/coin_leaks.supp", O_RDONLY);
  if (fd < 0) return "";
  ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  text[n > 0 ? n : 0] = '\0';
  return text;
}

extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif

ImportRun Import(std::vector<std::string> args) {
  std::ostringstream out, err;
  int status = RunImport(args, out, err);
  return ImportRun{status, out.str(), err.str()};
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<Corners> ReadBackTriangles(const std::string& path, int& object_count, int& light_count, int first) {
  CV_parser_data data{};
  ReadDataFile(path, data);
  std::vector<Corners> triangles;
  for (int o = first; o < data.object_count; ++o) {
    const CV_parser_object& object = data.objects[o];
    for (int f = 0; f < object.face_count; ++f) {
      Corners t;
      for (int k = 0; k < 3; ++k) {
        vertex3f p = object.points[object.faces[f].index[k]];
        t.v[3 * k] = p.x;
        t.v[3 * k + 1] = p.y;
        t.v[3 * k + 2] = p.z;
      }
      triangles.push_back(t);
    }
  }
  object_count = data.object_count;
  light_count = data.light_count;
  FreeParserData(data);
  return triangles;
}

std::vector<Corners> Placed(std::vector<Corners> triangles, double scale, double size) {
  double low[3] = {1e300, 1e300, 1e300}, high[3] = {-1e300, -1e300, -1e300};
  for (const Corners& t : triangles) {
    for (int i = 0; i < 9; ++i) {
      low[i % 3] = std::min(low[i % 3], t.v[i]);
      high[i % 3] = std::max(high[i % 3], t.v[i]);
    }
  }
  if (scale == 0.0) scale = size / std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2]});
  double offset[3] = {-scale * 0.5 * (low[0] + high[0]), -scale * low[1], -scale * 0.5 * (low[2] + high[2])};
  for (Corners& t : triangles) {
    for (int i = 0; i < 9; ++i) t.v[i] = float(scale * t.v[i] + offset[i % 3]);
  }
  return triangles;
}

size_t Unmatched(std::vector<Corners> expected, const std::vector<Corners>& actual, double tolerance) {
  auto by_first = [](const Corners& a, const Corners& b) { return a.v[0] < b.v[0]; };
  std::sort(expected.begin(), expected.end(), by_first);
  std::vector<bool> used(expected.size(), false);
  size_t unmatched = 0;
  for (const Corners& t : actual) {
    Corners probe = t;
    probe.v[0] -= tolerance;
    size_t i = std::lower_bound(expected.begin(), expected.end(), probe, by_first) - expected.begin();
    bool found = false;
    for (; i < expected.size() && expected[i].v[0] <= t.v[0] + tolerance && !found; ++i) {
      if (used[i]) continue;
      bool close = true;
      for (int k = 0; k < 9; ++k) close = close && std::fabs(expected[i].v[k] - t.v[k]) <= tolerance;
      if (close) used[i] = found = true;
    }
    if (!found) ++unmatched;
  }
  return unmatched;
}
