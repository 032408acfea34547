// VRML 97 and Inventor files through Coin: the triangles and lights that come
// through, Corvane's own scenes read back the same, and hostile files that
// end with a message.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "import/coinloader.h"
#include "import/settingswriter.h"
#include "scene/vrmlreader.h"
#include "tests/import_runs.h"
#include "tests/program_runner.h"
#include "tests/test_files.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kTimeLimitSeconds = 240;
#else
constexpr int kTimeLimitSeconds = 60;
#endif

const std::string kWildVrml = std::string(CORVANE_TEST_DATA_DIR) + "/wild-vrml/";
const std::string kSource = CORVANE_SOURCE_DIR;

// The scene's triangles as Corvane's reader reads them, before any placement.
std::vector<Corners> ReaderTriangles(const std::string& path, int& lights) {
  int objects = 0;
  return ReadBackTriangles(path, objects, lights);
}

// Imports path with the scale 1 and no room, and reads back what was written.
std::vector<Corners> ImportedTriangles(const std::string& path, const TempDir& dir, int& objects, int& lights,
                                       ImportRun& run) {
  run = Import({path, "--no-room", "--scale", "1", "-o", dir.path()});
  return ReadBackTriangles(dir.File(SceneFileName(path)), objects, lights);
}

}  // namespace

TEST(CoinImport, ExampleScenesGiveTheTrianglesCorvaneReads) {
  for (const char* example : {"room", "lights", "rotated", "glossy", "spider", "wuson"}) {
    std::string folder = kSource + "/examples/" + example;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() != ".wrl") continue;
      std::string path = entry.path().string();
      int reader_lights = 0, objects = 0, lights = 0;
      std::vector<Corners> expected = Placed(ReaderTriangles(path, reader_lights), 1.0, 0.0);
      TempDir dir;
      ImportRun run;
      std::vector<Corners> actual = ImportedTriangles(path, dir, objects, lights, run);
      ASSERT_EQ(run.status, 0) << path << ": " << run.err;
      EXPECT_EQ(actual.size(), expected.size()) << path;
      EXPECT_EQ(lights, reader_lights + 1) << path;  // and the one on the camera's side
      // Coin makes a rotation axis unit long, the reader takes it as written:
      // rotated.wrl's axis 0.5774 0.5774 0.5774 is 1.00008 long, which moves
      // its points by up to 1.2e-3. Every other point agrees within 1e-5.
      EXPECT_EQ(Unmatched(expected, actual, 2e-3), 0u) << path;
    }
  }
}

TEST(CoinImport, FilesFromOtherProgramsGiveTheTrianglesCoinMakes) {
  TempDir dir;
  std::string wuson = kModels + "WRL/Wuson.wrl";
  if (!std::filesystem::exists(wuson)) GTEST_SKIP() << "assimp-testmodels is not installed";
  std::string compressed = dir.File("wuson-packed.wrz");
  ASSERT_EQ(std::system(("gzip -c " + ShellQuote(wuson) + " > " + ShellQuote(compressed)).c_str()), 0);
  struct Row {
    std::string path;
    size_t triangles;
    int lights;  // the model's own point lights
  };
  const Row rows[] = {
      {wuson, 3732, 1},
      {compressed, 3732, 1},
      {kModels + "WRL/MotionCaptureROM.WRL", 2000, 0},
      {kWildVrml + "cinema4d-creaseAngle.wrl", 28, 0},
      {kSource + "/examples/room/room.wrl", 432, 1},
  };
  for (const Row& row : rows) {
    if (!std::filesystem::exists(row.path)) continue;
    EXPECT_TRUE(IsCoinModel(row.path)) << row.path;
    TempDir out;
    ImportRun run = Import({row.path, "--no-room", "-o", out.path()});
    ASSERT_EQ(run.status, 0) << row.path << ": " << run.err;
    int objects = 0, lights = 0;
    EXPECT_EQ(ReadBackTriangles(out.File(SceneFileName(row.path)), objects, lights).size(), row.triangles) << row.path;
    EXPECT_EQ(lights, row.lights + 1) << row.path;  // and the one on the camera's side
  }
  EXPECT_FALSE(IsCoinModel(kModels + "OBJ/spider.obj"));
}

// DEF/USE under nested and mirroring transforms, a five-cornered face, a face
// whose corners run clockwise (ccw FALSE) and a Material; then an Inventor
// file, not named as one, whose ShapeHints say clockwise.
TEST(CoinImport, TransformsInstancesPolygonsAndMaterialsComeThrough) {
  TempDir dir;
  std::string vrml = dir.Write("shapes.wrl",
                               "#VRML V2.0 utf8\n"
                               "DEF Outer Transform { translation 10 0 0 children [\n"
                               "  Transform { scale 2 2 2 children [\n"
                               "    DEF Tri Shape {\n"
                               "      appearance Appearance { material Material {\n"
                               "        diffuseColor 1 1 1 specularColor 0.2 0.2 0.2 shininess 0.5 } }\n"
                               "      geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
                               "        coordIndex [0 1 2 -1] } }\n"
                               "  ] }\n"
                               "] }\n"
                               "Transform { translation 0 0 -10 scale -1 1 1 children [ USE Tri ] }\n"
                               "Shape { geometry IndexedFaceSet { ccw FALSE\n"
                               "  coord Coordinate { point [0 0 5, 0 1 5, 1 0 5] } coordIndex [0 1 2 -1] } }\n"
                               "Shape { geometry IndexedFaceSet {\n"
                               "  coord Coordinate { point [0 0 0, 2 0 0, 3 1 0, 1 2 0, -1 1 0] }\n"
                               "  coordIndex [0 1 2 3 4 -1] } }\n");
  // Each front faces +z, as the file means it.
  std::vector<Corners> expected = {
      {{10, 0, 0, 12, 0, 0, 10, 2, 0}}, {{0, 0, -10, 0, 1, -10, -1, 0, -10}},  // USE places the Shape, not the scaling
                                                                               // Transform
      {{0, 0, 5, 1, 0, 5, 0, 1, 5}},    {{0, 0, 0, 2, 0, 0, 3, 1, 0}},        {{0, 0, 0, 3, 1, 0, 1, 2, 0}},
      {{0, 0, 0, 1, 2, 0, -1, 1, 0}},
  };
  int objects = 0, lights = 0;
  ImportRun run;
  std::vector<Corners> actual = ImportedTriangles(vrml, dir, objects, lights, run);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(objects, 4);  // each placed shape one object
  ASSERT_EQ(actual.size(), expected.size());
  EXPECT_EQ(Unmatched(Placed(expected, 1.0, 0.0), actual, 1e-5), 0u);
  CV_parser_data data{};
  ReadDataFile(dir.File("shapes.wrl"), data);
  // kd 1 and ks 0.2 scaled down to a sum of 1; the exponent 128 times 0.5.
  EXPECT_NEAR(data.objects[0].diffuse, 1.0 / 1.2, 1e-6);
  EXPECT_NEAR(data.objects[0].specular, 0.2 / 1.2, 1e-6);
  EXPECT_EQ(data.objects[0].exponent, 64.0f);
  EXPECT_NEAR(data.objects[3].diffuse, 0.8, 1e-6);  // Coin's default material
  EXPECT_EQ(data.objects[3].specular, 0.0f);
  FreeParserData(data);

  std::string inventor = dir.Write("clockwise.txt",
                                   "#Inventor V2.1 ascii\n"
                                   "Separator { ShapeHints { vertexOrdering CLOCKWISE }\n"
                                   "  Coordinate3 { point [0 0 0, 0 1 0, 1 0 0] } FaceSet { numVertices 3 } }\n");
  EXPECT_TRUE(IsCoinModel(inventor));
  actual = ImportedTriangles(inventor, dir, objects, lights, run);
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(actual.size(), 1u);
  EXPECT_EQ(Unmatched(Placed({{{0, 0, 0, 1, 0, 0, 0, 1, 0}}}, 1.0, 0.0), actual, 1e-6), 0u);
}

TEST(CoinImport, PointLightsAreKeptAndOtherLightsLeftOutByName) {
  TempDir dir;
  std::string model = dir.Write("lamps.wrl",
                                "#VRML V2.0 utf8\n"
                                "Transform { translation 0 5 0 children [\n"
                                "  PointLight { location 1 2 3 color 1 0.5 0 } ] }\n"
                                "DEF Sun DirectionalLight { }\n"
                                "DEF Beam SpotLight { }\n"
                                "DEF Off PointLight { on FALSE }\n"
                                "Shape { geometry Box { } }\n");
  ImportRun run = Import({model, "--no-room", "--scale", "1", "-o", dir.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "light \"Sun\" (VRMLDirectionalLight) is a directional light")) << run.err;
  EXPECT_TRUE(Contains(run.err, "light \"Beam\" (VRMLSpotLight) is a spot light")) << run.err;
  EXPECT_TRUE(Contains(run.err, "light \"Off\" (VRMLPointLight) is switched off")) << run.err;
  EXPECT_TRUE(Contains(run.out, "2 lights: the model's 1 point light kept, 3 others left out, 1 added")) << run.out;
  CV_parser_data data{};
  ReadDataFile(dir.File("lamps.wrl"), data);
  ASSERT_EQ(data.light_count, 2);
  // The box of size 2 is lifted by 1 onto y = 0: the light moves with it.
  EXPECT_EQ(data.lights[0].location.x, 1.0f);
  EXPECT_EQ(data.lights[0].location.y, 8.0f);
  EXPECT_EQ(data.lights[0].location.z, 3.0f);
  EXPECT_EQ(data.lights[0].color.g, 0.5f);
  FreeParserData(data);
}

namespace {

// A case of the hostile set: a file name and its bytes.
struct HostileFile {
  std::string label;
  std::string name;
  std::string bytes;
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("no \"" + from + "\" to replace");
  return text.replace(at, from.size(), to);
}

// Broken variants of the fuzz corpus's box, in the ways the malformed scenes
// of the reader's tests break it, and some that only a VRML parser meets.
std::vector<HostileFile> BrokenBoxes(const std::string& box) {
  std::vector<HostileFile> files;
  auto add = [&files](const std::string& label, const std::string& bytes) {
    files.push_back(HostileFile{label, "scene.wrl", bytes});
  };
  for (std::string number : {"1e39", "nan", "-inf", "1e-45", "0x1p200"}) {
    add("point " + number, Replaced(box, "100 200 -100,", number + " 200 " + number + ","));
    add("rotation " + number, Replaced(box, "rotation 0 1 0 0", "rotation " + number + " 1 0 " + number));
    add("material " + number, Replaced(box, "diffuseColor 0.7 0 1", "diffuseColor " + number + " 0 1"));
    add("light " + number, Replaced(box, "location 0 180 20", "location 0 " + number + " 20"));
  }
  for (std::string index : {"8", "-2", "2147483647", "2147483648", "-2147483649", "2.9"}) {
    add("face refers to point " + index, Replaced(box, "0, 2, 3, -1", "0, " + index + ", 3, -1"));
  }
  add("number of 5000 digits", Replaced(box, "100 200 -100,", std::string(5000, '7') + " 200 -100,"));
  add("name of 100000 letters", Replaced(box, "DEF Room", "DEF R" + std::string(100000, 'o')));
  add("point list never closed", box.substr(0, box.find("          ]")));
  add("NUL bytes for blanks", std::string(box).replace(box.find(" 200 "), 1, std::string(1, '\0')));
  add("random bytes after the header", "#VRML V2.0 utf8\n" + std::string(20000, '\x9c'));
  std::string deep = "#VRML V2.0 utf8\n";
  for (int i = 0; i < 100000; ++i) deep += "Group { children [ ";
  add("groups nested 100000 deep", deep);
  add("PROTO holding itself", "#VRML V2.0 utf8\nPROTO A [] { A {} }\nA {}\n");
  add("file inlining itself", "#VRML V2.0 utf8\nInline { url \"scene.wrl\" }\n");
  add("colour index beyond the colours",
      "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
      "coordIndex [0 1 2] color Color { color [1 0 0] } colorPerVertex FALSE colorIndex [5] } }\n");
  files.push_back(HostileFile{"Inventor face set longer than its points", "scene.iv",
                              "#Inventor V2.1 ascii\nSeparator { Coordinate3 { point [0 0 0, 1 0 0, 1 1 0] }\n"
                              "FaceSet { numVertices [ 30 ] } }\n"});
  return files;
}

// Every file of the fuzz corpus's scenes, and each wild file cut at six
// places (a plain one also compressed).
std::vector<HostileFile> CorpusAndCuts() {
  std::vector<HostileFile> files;
  for (const auto& entry : std::filesystem::directory_iterator(kSource + "/tests/fuzz/corpus/fuzz_scene")) {
    files.push_back(HostileFile{entry.path().filename().string(), "scene.wrl", ReadFileBytes(entry.path().string())});
  }
  for (std::string path :
       {kWildVrml + "cinema4d-creaseAngle.wrl", kModels + "WRL/Wuson.wrl", kModels + "WRL/MotionCaptureROM.WRL"}) {
    std::string bytes = ReadFileBytes(path);
    for (size_t k = 1; k <= 6; ++k) {
      size_t cut = bytes.size() * k / 7;
      files.push_back(HostileFile{path + " cut at byte " + std::to_string(cut), "scene.wrl", bytes.substr(0, cut)});
    }
  }
  return files;
}

// The first line of output that is not a message of the importer, if any.
std::string ForeignLine(const std::string& output) {
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    if (line.rfind("corvane-import: ", 0) != 0) return line.empty() ? "(an empty line)" : line.substr(0, 300);
    start = end + 1;
  }
  return "";
}

// Runs the importer on the file in a fresh folder; what went wrong, or "".
std::string RunHostile(const HostileFile& file) {
  TempDir dir;
  dir.Write(file.name, file.bytes);
  // Coin's own leaks are suppressed by name; a crash inside Coin, which the
  // importer survives, is not the sanitizers' to report.
  std::string command = "ASAN_OPTIONS=handle_segv=0:handle_abort=0:allocator_may_return_null=1 LSAN_OPTIONS=" +
                        ShellQuote("print_suppressions=0:suppressions=" + kSource + "/tests/coin_leaks.supp") + " " +
                        ShellQuote(CORVANE_IMPORT_BINARY) + " " + file.name + " -o out";
  ProgramResult run = RunCommand(command, dir.path(), kTimeLimitSeconds);
  std::string where = file.label + ": ";
  if (run.status != 0 && run.status != 1) return where + "status " + std::to_string(run.status) + "\n" + run.output;
  if (run.output.empty()) return where + "no message";
  std::string foreign = ForeignLine(run.output);
  if (!foreign.empty()) return where + "a line that is not the importer's: " + foreign;
  return "";
}

}  // namespace

TEST(CoinImport, HostileFilesEndWithAMessage) {
  std::vector<HostileFile> files = BrokenBoxes(ReadFileBytes(kSource + "/tests/fuzz/corpus/fuzz_scene/box.wrl"));
  std::vector<HostileFile> more = CorpusAndCuts();
  files.insert(files.end(), more.begin(), more.end());
  std::string wuson = ReadFileBytes(kModels + "WRL/Wuson.wrl");
  if (!wuson.empty()) {
    TempDir dir;
    std::string packed = dir.File("packed.wrz");
    std::system(("gzip -c " + ShellQuote(kModels + "WRL/Wuson.wrl") + " > " + ShellQuote(packed)).c_str());
    std::string bytes = ReadFileBytes(packed);
    files.push_back(HostileFile{"compressed Wuson cut in half", "scene.wrz", bytes.substr(0, bytes.size() / 2)});
  }
  for (const HostileFile& file : files) {
    std::string failure = RunHostile(file);
    EXPECT_EQ(failure, "");
  }
}

namespace {

// Lit pixels of the picture's upper and lower half.
struct LitHalves {
  long upper = 0, lower = 0;
};

// Imports the model with the options, runs corvane on it with a small data
// set and counts the lit pixels; false with a message when a step fails.
bool ImportAndTrace(const std::string& model, const std::vector<std::string>& options, LitHalves& lit,
                    std::string& failure) {
  TempDir dir;
  std::vector<std::string> args = {model, "-o", dir.path(), "--samples", "30000"};
  args.insert(args.end(), options.begin(), options.end());
  ImportRun run = Import(args);
  if (run.status != 0) return failure = run.err, false;
  ProgramResult trace = RunCorvane(dir.path(), kTimeLimitSeconds);
  PpmImage image;
  if (trace.status != 0 || !ParsePpm(ReadFileBytes(dir.File("out.ppm")), image) || image.height < 2) {
    return failure = "corvane: " + trace.output, false;
  }
  size_t half = image.raster.size() / 6 * 3;
  for (size_t i = 0; i < image.raster.size(); i += 3) {
    if (image.raster[i] == 0) continue;
    (i < half ? lit.upper : lit.lower) += 1;
  }
  return true;
}

}  // namespace

// The whole way a person goes: import through Coin, trace with corvane. From
// every side, above and below included, the picture shows the model lit in
// both halves (once a light on the room's ceiling left it black, and a light
// at the model's front edge left the upper half of the view from above in
// shadow); the files from other programs give lit pictures too.
TEST(CoinImport, ImportedModelsTraceToALitPictureFromEverySide) {
  std::string figure = kModels + "WRL/MotionCaptureROM.WRL";
  if (!std::filesystem::exists(figure)) GTEST_SKIP() << "assimp-testmodels is not installed";
  for (const char* view : {"1,0,0", "-1,0,0", "0,0,1", "0,0,-1", "0,1,0", "0,1,0.01", "0,-1,0"}) {
    LitHalves lit;
    std::string failure;
    ASSERT_TRUE(ImportAndTrace(figure, {"--view", view}, lit, failure)) << view << ": " << failure;
    EXPECT_GT(lit.upper, 100) << view;
    EXPECT_GT(lit.lower, 100) << view;
    EXPECT_GE(2 * lit.upper, lit.lower) << view;
    EXPECT_GE(2 * lit.lower, lit.upper) << view;
  }
  for (std::string model : {kModels + "WRL/Wuson.wrl", kWildVrml + "cinema4d-creaseAngle.wrl"}) {
    LitHalves lit;
    std::string failure;
    ASSERT_TRUE(ImportAndTrace(model, {}, lit, failure)) << model << ": " << failure;
    EXPECT_GT(lit.upper, 100) << model;
    EXPECT_GT(lit.lower, 100) << model;
  }
}
