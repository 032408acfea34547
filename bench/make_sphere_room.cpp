// Writes a closed room with a tessellated sphere of about N triangles, in the
// scene reader's layout, and a corvane.cfg for it, into a directory.
//   make_sphere_room N directory [samples]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

// Writes directory/sphere_room.wrl and directory/corvane.cfg; returns the
// number of sphere triangles (a square number near N), or -1.
int WriteSphereRoom(long triangles, const std::string& directory, long samples) {
  long segments = std::lround(std::sqrt(double(triangles)));
  if (segments < 4) segments = 4;
  long rings = segments / 2;
  std::FILE* f = std::fopen((directory + "/sphere_room.wrl").c_str(), "w");
  if (f == nullptr) return -1;
  std::fprintf(f, "#VRML V2.0 utf8\n\nPointLight {\n  location 0 185 0\n  color 1 1 1\n  intensity 1\n}\n\n");
  std::fprintf(f,
               "DEF Room Transform {\n  translation 0 0 0\n  rotation 0 1 0 0\n  children [\n    Shape {\n"
               "      appearance Appearance {\n        material Material {\n          diffuseColor 0.7 0 1\n"
               "        }\n      }\n      geometry IndexedFaceSet {\n        coord Coordinate {\n          point [\n");
  const int box_points[8][3] = {{-100, 0, -100}, {100, 0, -100}, {100, 200, -100}, {-100, 200, -100},
                                {-100, 0, 100},  {100, 0, 100},  {100, 200, 100},  {-100, 200, 100}};
  for (const auto& p : box_points) std::fprintf(f, "            %d %d %d,\n", p[0], p[1], p[2]);
  std::fprintf(f, "          ]\n        }\n        coordIndex [\n");
  const int box_faces[12][3] = {{0, 2, 3}, {0, 1, 2}, {4, 6, 5}, {4, 7, 6}, {0, 5, 1}, {0, 4, 5},
                                {3, 6, 7}, {3, 2, 6}, {0, 7, 4}, {0, 3, 7}, {1, 6, 2}, {1, 5, 6}};
  for (const auto& q : box_faces) std::fprintf(f, "          %d, %d, %d, -1,\n", q[0], q[1], q[2]);
  std::fprintf(f, "        ]\n      }\n    }\n  ]\n}\n\n");

  std::fprintf(f,
               "DEF Ball Transform {\n  translation 0 60 0\n  rotation 0 1 0 0\n  children [\n    Shape {\n"
               "      appearance Appearance {\n        material Material {\n          diffuseColor 0.5 0.4 20\n"
               "        }\n      }\n      geometry IndexedFaceSet {\n        coord Coordinate {\n          point [\n");
  const double radius = 50;
  for (long i = 0; i <= rings; ++i) {
    double theta = 3.141592653589793 * double(i) / double(rings);
    for (long j = 0; j < segments; ++j) {
      double phi = 6.283185307179586 * double(j) / double(segments);
      std::fprintf(f, "            %.6f %.6f %.6f,\n", radius * std::sin(theta) * std::cos(phi),
                   radius * std::cos(theta), radius * std::sin(theta) * std::sin(phi));
    }
  }
  std::fprintf(f, "          ]\n        }\n        coordIndex [\n");
  int count = 0;
  for (long i = 0; i < rings; ++i) {
    for (long j = 0; j < segments; ++j) {
      long a = i * segments + j;
      long b = i * segments + (j + 1) % segments;
      long c = (i + 1) * segments + j;
      long d = (i + 1) * segments + (j + 1) % segments;
      // Counter-clockwise seen from outside: the front faces point out.
      std::fprintf(f, "          %ld, %ld, %ld, -1,\n          %ld, %ld, %ld, -1,\n", a, b, d, a, d, c);
      count += 2;
    }
  }
  std::fprintf(f, "        ]\n      }\n    }\n  ]\n}\n");
  std::fclose(f);

  std::FILE* cfg = std::fopen((directory + "/corvane.cfg").c_str(), "w");
  if (cfg == nullptr) return -1;
  std::fprintf(cfg,
               "DATASETSIZE=%ld;\nLIGHTCHANCE=0.5;\nSCENEFILENAME=sphere_room.wrl;\nWIREFRAME=0;\nCAMERAPOSITION\n"
               "0 100 700;\n0 100 0;\n0 1 0;\nSENSORPOSITION\n110 210 110;\n110 -10 110;\n-110 210 110;\n"
               "-110 -10 110;\n",
               samples);
  std::fclose(cfg);
  return count;
}

#ifndef SPHERE_ROOM_NO_MAIN
int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_sphere_room N directory [samples]\n");
    return 2;
  }
  long samples = argc > 3 ? std::atol(argv[3]) : 50000;
  int written = WriteSphereRoom(std::atol(argv[1]), argv[2], samples);
  if (written < 0) {
    std::fprintf(stderr, "make_sphere_room: cannot write into %s\n", argv[2]);
    return 1;
  }
  std::printf("%d sphere triangles in %s/sphere_room.wrl\n", written, argv[2]);
  return 0;
}
#endif
