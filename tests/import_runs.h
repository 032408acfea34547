// Running the importer from a test, and the triangles of a scene file as
// plain numbers to compare with what a model should give.
#pragma once

#include <string>
#include <vector>

// The folder of Debian's assimp-testmodels.
extern const std::string kModels;

struct ImportRun {
  int status;
  std::string out;
  std::string err;
};

// RunImport on the arguments, in this process.
ImportRun Import(std::vector<std::string> args);

bool Contains(const std::string& text, const std::string& part);

// Nine coordinates: corners a, b, c.
struct Corners {
  double v[9];
};

// The triangles of every object of a scene file as Corvane's reader reads
// them, from object `first` on; the counts of objects and lights come back too.
std::vector<Corners> ReadBackTriangles(const std::string& path, int& object_count, int& light_count, int first = 0);

// The documented placement: scale (or size over the largest extent), box
// centred on the y axis, lowest point at y = 0; each value rounded to float.
std::vector<Corners> Placed(std::vector<Corners> triangles, double scale, double size);

// How many of actual have no partner in expected (each used once) with all
// nine coordinates within tolerance, corners in the same order.
size_t Unmatched(std::vector<Corners> expected, const std::vector<Corners>& actual, double tolerance);
