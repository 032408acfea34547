#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/settings.h"
#include "core/version.h"
#include "import/importer.h"
#include "import/model.h"
#include "import/modelloader.h"
#include "import/scenewriter.h"
#include "import/settingswriter.h"
#include "import/winding.h"
#include "scene/vrmlreader.h"
#include "tests/import_runs.h"
#include "tests/test_files.h"

namespace {

// The model's triangles as Assimp itself places them (its own baking of the
// node transforms), with the z axis turned onto y when z_up is set.
std::vector<Corners> ReferenceTriangles(const std::string& path, bool z_up) {
  Assimp::Importer importer;
  const aiScene* scene =
      importer.ReadFile(path, aiProcess_Triangulate | aiProcess_PreTransformVertices | aiProcess_SortByPType);
  std::vector<Corners> triangles;
  if (scene == nullptr) return triangles;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh* mesh = scene->mMeshes[m];
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
      if (mesh->mFaces[f].mNumIndices != 3) continue;
      Corners t;
      for (int k = 0; k < 3; ++k) {
        aiVector3D p = mesh->mVertices[mesh->mFaces[f].mIndices[k]];
        t.v[3 * k] = p.x;
        t.v[3 * k + 1] = z_up ? p.z : p.y;
        t.v[3 * k + 2] = z_up ? -p.y : p.z;
      }
      triangles.push_back(t);
    }
  }
  return triangles;
}

// A cube of edge 2 as OBJ text; inward turns every face round.
std::string CubeObj(bool inward) {
  std::string text = "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n";
  const char* outward_faces[] = {"1 4 3", "1 3 2", "5 6 7", "5 7 8", "1 2 6", "1 6 5",
                                 "4 8 7", "4 7 3", "1 5 8", "1 8 4", "2 3 7", "2 7 6"};
  for (const char* face : outward_faces) {
    std::string f = face;
    if (inward) std::swap(f[2], f[4]);
    text += "f " + f + "\n";
  }
  return text;
}

}  // namespace

TEST(Import, RoundTripKeepsEveryTriangleAndPointAfterTheDocumentedScale) {
  struct Row {
    const char* model;
    std::vector<std::string> options;
    double scale;  // 0: fitted to size
    double size;
    bool z_up;
  };
  const Row rows[] = {
      {"OBJ/spider.obj", {}, 0.0, 400.0, false},
      {"OBJ/WusonOBJ.obj", {"--scale", "100"}, 100.0, 400.0, false},
      {"PLY/Wuson.ply", {}, 0.0, 400.0, false},
      {"STL/Spider_binary.stl", {"--z-up"}, 0.0, 400.0, true},
      {"glTF2/textureTransform/TextureTransformTest.gltf", {}, 0.0, 400.0, false},
      {"glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf", {}, 0.0, 400.0, false},
      {"3DS/test1.3ds", {}, 0.0, 400.0, false},
      {"3DS/fels.3ds", {"--size", "250"}, 0.0, 250.0, false},
  };
  for (const Row& row : rows) {
    std::string model = kModels + row.model;
    if (!std::filesystem::exists(model)) GTEST_SKIP() << "assimp-testmodels is not installed";
    TempDir dir;
    std::vector<std::string> args = {model, "--no-room", "-o", dir.path()};
    args.insert(args.end(), row.options.begin(), row.options.end());
    ImportRun run = Import(args);
    ASSERT_EQ(run.status, 0) << row.model << ": " << run.err;

    std::vector<Corners> reference = ReferenceTriangles(model, row.z_up);
    std::vector<Corners> expected = Placed(reference, row.scale, row.size);
    int objects = 0, lights = 0;
    std::vector<Corners> actual = ReadBackTriangles(dir.File(SceneFileName(model)), objects, lights);
    EXPECT_EQ(actual.size(), reference.size()) << row.model;
    EXPECT_EQ(lights, 1) << row.model;
    // A few float roundings of values up to a few hundred units.
    EXPECT_EQ(Unmatched(expected, actual, 2e-4), 0u) << row.model;
  }
}

TEST(Import, DefaultSceneHasAnInwardRoomAsObjectZeroAndALightAboveTheModel) {
  TempDir dir;
  std::string model = dir.Write("cube.obj", CubeObj(false));
  ImportRun run = Import({model, "-o", dir.path()});
  ASSERT_EQ(run.status, 0);
  EXPECT_TRUE(Contains(run.out, "; 1 light: added on the camera's side, the model has none;")) << run.out;
  CV_parser_data data{};
  ReadDataFile(dir.File("cube.wrl"), data);
  ASSERT_EQ(data.object_count, 2);
  ASSERT_EQ(data.light_count, 1);
  const CV_parser_object& room = data.objects[0];
  ASSERT_EQ(room.face_count, 12);
  // The cube becomes 400 units wide, standing on y = 0 and centred on the y axis.
  vertex3f centre{0, 200, 0};
  for (int f = 0; f < room.face_count; ++f) {
    CV_triangle t{room.points[room.faces[f].index[0]], room.points[room.faces[f].index[1]],
                  room.points[room.faces[f].index[2]]};
    vector3f towards_centre = VectorizeVertices(t.a, centre);
    EXPECT_GT(ScalarMultiply(TriNormale(t), towards_centre), 0.0f) << "room face " << f;
  }
  vertex3f light = data.lights[0].location;
  EXPECT_GT(light.y, 400.0f);
  for (int p = 0; p < room.point_count; ++p) {
    EXPECT_GT(std::fabs(room.points[p].x), 200.0f);
    EXPECT_GT(std::fabs(room.points[p].x), std::fabs(light.x));
  }
  FreeParserData(data);
}

// The summary says what became of every light: kept, left out, replaced or added.
TEST(Import, ModelPointLightsAreKeptAndOtherLightsLeftOutWithAWarning) {
  std::string model = kModels + "Collada/lights.dae";
  if (!std::filesystem::exists(model)) GTEST_SKIP() << "assimp-testmodels is not installed";
  TempDir dir;
  ImportRun run = Import({model, "-o", dir.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "light \"Spot\" is not a point light")) << run.err;
  EXPECT_TRUE(Contains(run.out,
                       "; 3 lights: the model's 2 point lights kept, 3 others left out, 1 added on the "
                       "camera's side;"))
      << run.out;
  int objects = 0, lights = 0;
  ReadBackTriangles(dir.File("lights.wrl"), objects, lights);
  EXPECT_EQ(lights, 3);

  run = Import({kModels + "Collada/duck.dae", "-o", dir.path()});
  EXPECT_TRUE(Contains(run.out, "; 1 light: the model's 1 light left out, 1 added on the camera's side;")) << run.out;

  run = Import({model, "-o", dir.path(), "--light", "1,2,3"});
  ASSERT_EQ(run.status, 0);
  EXPECT_TRUE(Contains(run.out, "; 1 light: given by --light, the model's 2 point lights replaced, 3 others left out;"))
      << run.out;
  CV_parser_data data{};
  ReadDataFile(dir.File("lights.wrl"), data);
  ASSERT_EQ(data.light_count, 1);
  EXPECT_EQ(data.lights[0].location.x, 1.0f);
  EXPECT_EQ(data.lights[0].location.y, 2.0f);
  EXPECT_EQ(data.lights[0].location.z, 3.0f);
  FreeParserData(data);
}

TEST(Import, SettingsFileFramesTheModelAndReadsBackWhole) {
  TempDir dir;
  std::string model = dir.Write("Box Model.obj", CubeObj(false));
  ASSERT_EQ(Import({model, "-o", dir.path(), "--samples=1234"}).status, 0);
  // Values other than the run's initial ones, so that each check sees the file's.
  Settings settings;
  settings.dataset_size = 0;
  settings.light_chance = 0;
  settings.wireframe = true;
  InDirectory(dir.path(), [&] { ReadSettings(settings); });
  EXPECT_EQ(settings.dataset_size, 1234u);
  EXPECT_EQ(settings.light_chance, 0.5f);
  EXPECT_EQ(settings.filename, "box_model.wrl");
  EXPECT_TRUE(std::filesystem::exists(dir.File(settings.filename)));
  EXPECT_FALSE(settings.wireframe);
  const Camera& camera = settings.camera;
  EXPECT_EQ(camera.center.y, 200.0f);
  // Every corner of the sensor was read: none kept its initial zero.
  for (vertex3f corner : {camera.ul, camera.ur, camera.dl, camera.dr}) {
    EXPECT_GT(VertexDistance(corner, vertex3f{0, 0, 0}), 1.0f);
  }
}

TEST(Material, ReaderNumbersFollowTheModelMaterial) {
  struct Row {
    color3f diffuse, specular;
    float shininess, strength;
    CVImportMaterial expected;
  };
  const Row rows[] = {
      {{0.6f, 0.6f, 0.6f}, {0, 0, 0}, 0, 1, {0.6f, 0, 1}},                // grey matt: kd is the grey
      {{1, 0, 0}, {0, 0, 0}, 0, 1, {0.2126f, 0, 1}},                      // red counts by its luminance
      {{0.5f, 0.5f, 0.5f}, {0.3f, 0.3f, 0.3f}, 20, 1, {0.5f, 0.3f, 20}},  // glossy
      {{0.5f, 0.5f, 0.5f}, {1, 1, 1}, 0, 1, {0.5f, 0, 1}},                // specular colour without shininess
      {{0.5f, 0.5f, 0.5f}, {1, 1, 1}, 40, 0.2f, {0.5f, 0.2f, 40}},        // strength scales the specular colour
      {{1, 1, 1}, {1, 1, 1}, 50, 1, {0.5f, 0.5f, 50}},                    // the sum is scaled down to 1
      {{3, 3, 3}, {-1, -1, -1}, 10, 1, {1, 0, 10}},                       // out-of-range colours are clamped
  };
  for (const Row& row : rows) {
    CVImportMaterial m = ReaderMaterial(row.diffuse, row.specular, row.shininess, row.strength);
    EXPECT_NEAR(m.diffuse, row.expected.diffuse, 1e-6) << row.diffuse.r << " " << row.specular.r;
    EXPECT_NEAR(m.specular, row.expected.specular, 1e-6) << row.diffuse.r << " " << row.specular.r;
    EXPECT_EQ(m.exponent, row.expected.exponent);
  }
}

TEST(Material, DiffusePlusSpecularNeverExceedsOneAsAFloatSum) {
  for (float d = 0.0f; d <= 1.0f; d += 0.0371f) {
    for (float s = 0.0f; s <= 1.0f; s += 0.0293f) {
      CVImportMaterial m = ReaderMaterial({d, d, d}, {s, s, s}, 10, 1);
      EXPECT_LE(m.diffuse + m.specular, 1.0f) << d << " " << s;
      EXPECT_GE(m.diffuse, 0.0f);
      EXPECT_GE(m.specular, 0.0f);
    }
  }
}

TEST(SceneWriter, NumbersReadBackAsTheSameFloat) {
  const float values[] = {0.0f,        -0.0f, 0.1f,   0.6f,     1.0f / 3.0f, 400.0f,    -123.456789f,
                          16777217.0f, 1e-7f, 1e-30f, 1.4e-45f, 3.4e38f,     123286.17f};
  for (float v : values) {
    std::string text = SceneNumber(v);
    EXPECT_EQ(float(std::atof(text.c_str())), v) << text;
    EXPECT_EQ(text.find_first_of(", \t"), std::string::npos) << text;
  }
}

TEST(SceneWriter, NamesKeepNoReaderKeyword) {
  struct Row {
    const char* name;
    const char* def;
  };
  const Row rows[] = {
      {"Body", "Mesh3_Body"},
      {"", "Mesh3"},
      {"left leg.001", "Mesh3_left_leg_001"},
      {"pointer", "Mesh3_er"},
      {"geometry_rotation", "Mesh3__"},
      {"popointint", "Mesh3"},  // taking "point" out leaves another "point"
      {"diffuseColor-1]", "Mesh3__1_"},
      {"Mast\xc3\xa9", "Mesh3_Mast__"},
  };
  for (const Row& row : rows) {
    std::string def = DefName(3, row.name);
    EXPECT_EQ(def, row.def) << row.name;
    for (const std::string& keyword : ReaderKeywords()) EXPECT_EQ(def.find(keyword), std::string::npos) << def;
  }
}

TEST(SceneWriter, AMeshNamedWithKeywordsStillReadsBackWhole) {
  CVImportMesh mesh{
      "point color geometry translation", {0.5f, 0.25f, 8}, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}}};
  TempDir dir;
  std::string path = dir.Write("named.wrl", SceneText({mesh, mesh}, {CV_light{{0, 5, 0}, {1, 1, 1}, 1}}, 1.0));
  CV_parser_data data{};
  ReadDataFile(path, data);
  ASSERT_EQ(data.object_count, 2);
  ASSERT_EQ(data.light_count, 1);
  for (int o = 0; o < 2; ++o) {
    EXPECT_EQ(data.objects[o].diffuse, 0.5f);
    EXPECT_EQ(data.objects[o].specular, 0.25f);
    EXPECT_EQ(data.objects[o].exponent, 8.0f);
    EXPECT_EQ(data.objects[o].point_count, 3);
    EXPECT_EQ(data.objects[o].face_count, 1);
    EXPECT_EQ(data.objects[o].points[1].x, 1.0f);
  }
  EXPECT_EQ(data.lights[0].location.y, 5.0f);
  FreeParserData(data);
}

TEST(Winding, ClosedMeshFacingInwardsIsFoundAndFlipped) {
  TempDir dir;
  std::string inward = dir.Write("inward.obj", CubeObj(true));
  ImportRun run = Import({inward, "-o", dir.path()});
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Contains(run.err, "face inwards")) << run.err;
  EXPECT_TRUE(Contains(run.err, "with --flip-winding")) << run.err;

  run = Import({inward, "-o", dir.path(), "--flip-winding"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  run = Import({dir.Write("outward.obj", CubeObj(false)), "-o", dir.path()});
  EXPECT_EQ(run.err, "");
}

TEST(Winding, OnlyClosedMeshesCount) {
  CVImportMesh open{"", {0.5f, 0, 1}, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 2, 1}}}};
  EXPECT_FALSE(IsClosedMesh(open));
  EXPECT_FALSE(FacesInward(open));
  // A tetrahedron whose repeated corners are separate points still counts as closed.
  CVImportMesh tetra{"", {0.5f, 0, 1}, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}}, {}};
  tetra.faces = {{{0, 2, 1}}, {{4, 1, 3}}, {{0, 3, 2}}, {{1, 2, 3}}};
  EXPECT_TRUE(IsClosedMesh(tetra));
  EXPECT_GT(SignedVolume(tetra), 0.0);
  EXPECT_FALSE(FacesInward(tetra));
  FlipWinding(tetra);
  EXPECT_TRUE(FacesInward(tetra));
}

TEST(ObjectLimit, MeshesWithEqualMaterialsAreJoined) {
  CVImportMesh a{"a", {0.5f, 0, 1}, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}}};
  CVImportMesh b{"b", {0.7f, 0, 1}, {{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}, {{{0, 1, 2}}}};
  CVImportMesh c{"c", {0.5f, 0, 1}, {{5, 0, 0}, {6, 0, 0}, {5, 1, 0}}, {{{2, 1, 0}}}};
  std::vector<CVImportMesh> merged = MergeMeshesByMaterial({a, b, c});
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0].points.size(), 6u);
  ASSERT_EQ(merged[0].faces.size(), 2u);
  EXPECT_EQ(merged[0].faces[1].index[0], 5);
  EXPECT_EQ(merged[0].faces[1].index[2], 3);
  EXPECT_EQ(merged[1].material.diffuse, 0.7f);
}

TEST(ObjectLimit, TooManyMeshesAreJoinedIntoFewerObjects) {
  TempDir dir;
  std::ostringstream obj;
  obj << "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  for (int i = 0; i < kMaxObjects; ++i) obj << "o part" << i << "\nf 1 2 3\n";
  std::string model = dir.Write("parts.obj", obj.str());
  ImportRun run = Import({model, "-o", dir.path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "meshes with equal materials joined into 1")) << run.err;
  int objects = 0, lights = 0;
  std::vector<Corners> triangles = ReadBackTriangles(dir.File("parts.wrl"), objects, lights);
  EXPECT_EQ(objects, 2);
  EXPECT_EQ(triangles.size(), size_t(kMaxObjects) + 12);
}

TEST(ImportErrors, UnusableModelsNameTheFileAndEndWithStatusOne) {
  TempDir dir;
  struct Row {
    std::string path;
    const char* message;
  };
  const Row rows[] = {
      {dir.File("missing.obj"), "Unable to open file"},
      {dir.Write("empty.obj", ""), "cannot read the model"},
      {dir.Write("empty.ply", ""), "is empty"},
      {dir.Write("noise.xyz", "no model here\n"), "cannot read the model"},
      {dir.Write("points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\np 1\np 2\np 3\n"), "no triangles"},
  };
  for (const Row& row : rows) {
    ImportRun run = Import({row.path, "-o", dir.path()});
    EXPECT_EQ(run.status, kImportModelUnusable) << row.path;
    EXPECT_TRUE(Contains(run.err, row.path)) << run.err;
    EXPECT_TRUE(Contains(run.err, row.message)) << run.err;
    EXPECT_TRUE(run.err.rfind("corvane-import: ", 0) == 0) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("corvane.cfg")));
}

// The file claims 353,535,235,358 points; without a ceiling the reader takes
// about 15 GB for a minute before it gives up.
TEST(ImportErrors, AModelPastTheMemoryCeilingStopsAtOnceWithStatusOne) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any ceiling";
#endif
  std::string hostile = kModels + "/invalid/OutOfMemory.off";
  if (!std::filesystem::exists(hostile)) GTEST_SKIP() << "assimp-testmodels is not installed";
  TempDir dir;
  rlimit before{}, after{};
  getrlimit(RLIMIT_AS, &before);
  auto start = std::chrono::steady_clock::now();
  ImportRun run = Import({hostile, "-o", dir.path(), "--max-memory", "200M"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(run.status, kImportModelUnusable);
  EXPECT_TRUE(Contains(run.err, "corvane-import: reading " + hostile + " needed more than 209715200 bytes of memory"))
      << run.err;
  EXPECT_TRUE(Contains(run.err, "(--max-memory)")) << run.err;
  // A ceiling the model fits under changes nothing, and the limit is given back.
  std::string cube = dir.Write("cube.obj", CubeObj(false));
  EXPECT_EQ(Import({cube, "-o", dir.path(), "--max-memory=1G"}).status, 0);
  getrlimit(RLIMIT_AS, &after);
  EXPECT_EQ(after.rlim_cur, before.rlim_cur);
}

TEST(ImportErrors, MeshesWithoutTrianglesAreSkippedWithAWarningThatQuietHides) {
  TempDir dir;
  std::string model = dir.Write("mixed.obj",
                                "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\n"
                                "o dots\np 1\np 2\no wire\nl 1 2\nl 2 3\no face\nf 1 2 3\n");
  ImportRun run = Import({model, "-o", dir.path(), "--no-room"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(run.err, "mesh \"dots\" has no triangles")) << run.err;
  EXPECT_TRUE(Contains(run.err, "mesh \"wire\" has no triangles")) << run.err;
  int objects = 0, lights = 0;
  EXPECT_EQ(ReadBackTriangles(dir.File("mixed.wrl"), objects, lights).size(), 1u);
  EXPECT_EQ(objects, 1);

  // As with corvane: -q prints errors only, -v adds the framing.
  run = Import({model, "-o", dir.path(), "--no-room", "-q"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  run = Import({model, "-o", dir.path(), "--no-room", "--verbose"});
  EXPECT_TRUE(Contains(run.out, "corvane-import: wrote ")) << run.out;
  EXPECT_TRUE(Contains(run.err, "corvane-import: eye ")) << run.err;
  EXPECT_TRUE(Contains(run.err, "; sensor corners ")) << run.err;
}

TEST(ImportErrors, OutputThatCannotBeWrittenEndsWithStatusThree) {
  TempDir dir;
  std::string model = dir.Write("cube.obj", CubeObj(false));
  dir.Write("taken", "a file where the output folder would go");
  ImportRun run = Import({model, "-o", dir.File("taken/folder")});
  EXPECT_EQ(run.status, kImportNotWritten);
  EXPECT_TRUE(Contains(run.err, "cannot write")) << run.err;
}

TEST(ImportErrors, MissingOutputFoldersAreMade) {
  TempDir dir;
  std::string model = dir.Write("cube.obj", CubeObj(false));
  ImportRun run = Import({model, "-o", dir.File("new/folder")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(ReadFileBytes(dir.File("new/folder/corvane.cfg")).empty());
}

TEST(ImportOptions, WrongOptionsAreRefusedWithStatusTwo) {
  const std::vector<std::vector<std::string>> rows = {
      {},
      {"--bogus", "a.obj"},
      {"a.obj", "b.obj"},
      {"a.obj", "--scale"},
      {"a.obj", "--scale", "0"},
      {"a.obj", "--size", "-3"},
      {"a.obj", "--samples", "1.5"},
      {"a.obj", "--samples", "0"},
      {"a.obj", "--samples", "50000001"},
      {"a.obj", "--view", "0,0,0"},
      {"a.obj", "--view", "1,2"},
      {"a.obj", "--light", "1,2,x"},
      {"a.obj", "--light", "nan,0,0"},
      {"a.obj", "--max-memory", "0"},
      {"a.obj", "--max-memory", "12T"},
      {"a.obj", "--max-memory", "-5M"},
      {"a.obj", "--max-memory", "99999999999999999999"},
  };
  for (const auto& args : rows) {
    ImportRun run = Import(args);
    EXPECT_EQ(run.status, kImportBadOptions) << (args.empty() ? "" : args.back());
    EXPECT_TRUE(Contains(run.err, "--help")) << run.err;
  }
  ImportRun help = Import({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: corvane-import", 0), 0u);
  for (const char* option : {"--size", "--scale", "--no-room", "--light", "--samples", "--view", "--flip-winding", "-o",
                             "--version", "--max-memory"}) {
    EXPECT_TRUE(Contains(help.out, option)) << option;
  }
  ImportRun version = Import({"a.obj", "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("corvane-import ") + kCorvaneVersion + "\n");
}

// An independent VRML 2.0 parser, the loader of the npm package three run in
// Node, reads the written file and builds every mesh with every triangle.
TEST(ImportVrml, WrittenSceneParsesAsVrml97WithThreeJs) {
  if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is not installed";
  std::string npm_dir = std::string(CORVANE_BINARY_DIR) + "/import-test-node";
  std::string three = npm_dir + "/node_modules/three/examples/jsm/loaders/VRMLLoader.js";
  if (!std::filesystem::exists(three)) {
    // A machine without the registry skips within seconds, however its
    // network fails: the look-up is bounded before the install is tried.
    const char* look_up = "timeout 10 npm view --silent --fetch-retries=0 --fetch-timeout=8000 three@0.187.0 version";
    if (std::system((std::string(look_up) + " > /dev/null 2>&1").c_str()) != 0) {
      GTEST_SKIP() << "the npm registry could not be reached within 10 s";
    }
    std::string install = "timeout 300 npm install --no-audit --no-fund --silent --prefix '" + npm_dir +
                          "' three@0.187.0 > /dev/null 2>&1";
    if (std::system(install.c_str()) != 0 || !std::filesystem::exists(three)) {
      GTEST_SKIP() << "the npm package three could not be installed";
    }
  }
  std::string model = kModels + "OBJ/spider.obj";
  if (!std::filesystem::exists(model)) GTEST_SKIP() << "assimp-testmodels is not installed";
  TempDir dir;
  ASSERT_EQ(Import({model, "-o", dir.path()}).status, 0);
  // The script has to live beside node_modules for "three" to resolve.
  std::ofstream(npm_dir + "/count-vrml.mjs")
      << "import { readFileSync } from 'node:fs';\n"
         "import { VRMLLoader } from 'three/examples/jsm/loaders/VRMLLoader.js';\n"
         "console.error = (...args) => { process.stderr.write(args.join(' ') + '\\n'); process.exitCode = 1; };\n"
         "const scene = new VRMLLoader().parse(readFileSync(process.argv[2], 'utf8'), '');\n"
         "let meshes = 0, triangles = 0;\n"
         "scene.traverse((node) => {\n"
         "  if (!node.isMesh) return;\n"
         "  meshes += 1;\n"
         "  const g = node.geometry;\n"
         "  triangles += (g.index ? g.index.count : g.attributes.position.count) / 3;\n"
         "});\n"
         "console.log(`${meshes} ${triangles}`);\n";
  std::string output = dir.File("counts.txt");
  std::string command = "node '" + npm_dir + "/count-vrml.mjs' '" + dir.File("spider.wrl") + "' > '" + output + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  int meshes = 0, triangles = 0;
  std::ifstream(output) >> meshes >> triangles;
  EXPECT_EQ(meshes, 20);  // the room and the spider's 19 meshes
  EXPECT_EQ(triangles, 12 + 1368);
}
