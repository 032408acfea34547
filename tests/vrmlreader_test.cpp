#include "scene/vrmlreader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/messages.h"
#include "tests/support.h"
#include "tests/test_files.h"

namespace {

// Two lights and two objects in the layout the reader expects, the way a
// VRML 2.0 Transform with its Shape is written one field per line.
const char kScene[] =
    "#VRML V2.0 utf8\n"
    "PointLight {\n"
    "  location 0 5 0\n"
    "  color 1 1 1\n"
    "  intensity 2\n"
    "}\n"
    "Transform {\n"
    "  translation 1 2 3\n"
    "  rotation 0 0 1 0\n"
    "  children [\n"
    "    Shape {\n"
    "      appearance Appearance {\n"
    "        material Material {\n"
    "          diffuseColor 0.5 0.3 10\n"
    "        }\n"
    "      }\n"
    "      geometry IndexedFaceSet {\n"
    "        coord Coordinate {\n"
    "          point [\n"
    "            0 0 0,\n"
    "            1 0 0,\n"
    "            0 1 0,\n"
    "          ]\n"
    "        }\n"
    "        coordIndex [\n"
    "          0, 1, 2, -1,\n"
    "        ]\n"
    "      }\n"
    "    }\n"
    "  ]\n"
    "}\n"
    "PointLight {\n"
    "  location -1 -2 -3\n"
    "  color 0.5 0.25 1\n"
    "  intensity 0.75\n"
    "}\n"
    "Transform {\n"
    "  translation 0 0 0\n"
    "  rotation 0 1 0 0\n"
    "  diffuseColor 0.6 0.2 5\n"
    "  geometry IndexedFaceSet {\n"
    "    point [\n"
    "      0 0 0,\n"
    "      1 0 0,\n"
    "      1 1 0,\n"
    "      0 1 0,\n"
    "    ]\n"
    "    coordIndex [\n"
    "      0, 1, 2, -1,\n"
    "      0, 2, 3, -1,\n"
    "    ]\n"
    "  }\n"
    "}\n";

// One object: the given lines, each on its own line.
std::string Object(const std::string& translation, const std::string& rotation, const std::string& material,
                   const std::vector<std::string>& points, const std::vector<std::string>& faces) {
  std::string text = "geometry\n" + translation + "\n" + rotation + "\n" + material + "\npoint [\n";
  for (const std::string& p : points) text += p + "\n";
  text += "]\ncoordIndex [\n";
  for (const std::string& f : faces) text += f + "\n";
  return text + "]\n";
}

struct Read {
  int result;
  CV_parser_data data;
  std::vector<std::string> messages;
  std::string reason;  // for an image with no lit pixel
};

Read ReadText(const std::string& contents) {
  TempDir dir;
  TakeInputProblems();
  TakeEmptyImageReason();
  Read read{0, {}, {}, {}};
  read.result = ReadDataFile(dir.Write("scene.wrl", contents), read.data);
  read.messages = TakeInputProblems();
  read.reason = TakeEmptyImageReason();
  return read;
}

bool AnyMessageContains(const std::vector<std::string>& messages, const std::string& text) {
  for (const std::string& m : messages) {
    if (m.find(text) != std::string::npos) return true;
  }
  return false;
}

// Whatever the input, the data must be safe to use: arrays as long as their
// counts, every face index inside its object's point list.
void ExpectConsistent(const CV_parser_data& data, const std::string& context) {
  ASSERT_GE(data.object_count, 0) << context;
  ASSERT_GE(data.light_count, 0) << context;
  ASSERT_EQ(data.objects == nullptr, data.object_count == 0) << context;
  ASSERT_EQ(data.lights == nullptr, data.light_count == 0) << context;
  for (int32_t i = 0; i < data.object_count; ++i) {
    const CV_parser_object& object = data.objects[i];
    ASSERT_GE(object.point_count, 0) << context;
    ASSERT_GE(object.face_count, 0) << context;
    ASSERT_TRUE(object.point_count == 0 || object.points != nullptr) << context;
    ASSERT_TRUE(object.face_count == 0 || object.faces != nullptr) << context;
    for (int32_t k = 0; k < object.face_count; ++k) {
      for (int c = 0; c < 3; ++c) {
        ASSERT_GE(object.faces[k].index[c], 0) << context << " object " << i << " face " << k;
        ASSERT_LT(object.faces[k].index[c], object.point_count) << context << " object " << i << " face " << k;
      }
    }
  }
}

}  // namespace

TEST(VrmlReader, ReadsLightsAndObjectsInFileOrder) {
  Read read = ReadText(kScene);
  EXPECT_EQ(read.result, 1);
  EXPECT_TRUE(read.messages.empty()) << read.messages.front();
  ASSERT_EQ(read.data.light_count, 2);
  ExpectVertex(read.data.lights[0].location, {0, 5, 0});
  EXPECT_EQ(read.data.lights[0].color.r, 1);
  EXPECT_EQ(read.data.lights[0].intensity, 2);
  ExpectVertex(read.data.lights[1].location, {-1, -2, -3});
  EXPECT_EQ(read.data.lights[1].color.g, 0.25f);
  EXPECT_EQ(read.data.lights[1].intensity, 0.75f);

  ASSERT_EQ(read.data.object_count, 2);
  const CV_parser_object& a = read.data.objects[0];
  EXPECT_EQ(a.diffuse, 0.5f);
  EXPECT_EQ(a.specular, 0.3f);
  EXPECT_EQ(a.exponent, 10);
  ExpectVertex(a.translation, {1, 2, 3});
  ASSERT_EQ(a.point_count, 3);
  ExpectVertex(a.points[1], {2, 2, 3});  // translated, angle 0
  ASSERT_EQ(a.face_count, 1);
  EXPECT_EQ(a.faces[0].index[2], 2);

  const CV_parser_object& b = read.data.objects[1];
  EXPECT_EQ(b.diffuse, 0.6f);
  ASSERT_EQ(b.point_count, 4);
  ASSERT_EQ(b.face_count, 2);
  EXPECT_EQ(b.faces[1].index[0], 0);
  EXPECT_EQ(b.faces[1].index[1], 2);
  EXPECT_EQ(b.faces[1].index[2], 3);
  FreeParserData(read.data);
  EXPECT_EQ(read.data.object_count, 0);
  EXPECT_EQ(read.data.objects, nullptr);
}

TEST(VrmlReader, CountsOneObjectAndOneLightOnASharedLine) {
  Read read = ReadText("geometry PointLight\nlocation 1 2 3\ncolor 1 1 1\nintensity 1\n");
  EXPECT_EQ(read.data.object_count, 1);
  ASSERT_EQ(read.data.light_count, 1);
  ExpectVertex(read.data.lights[0].location, {1, 2, 3});
  FreeParserData(read.data);
}

TEST(VrmlReader, PointListCountsLinesWithACommaUpToTheClosingBracket) {
  const std::string t = "translation 0 0 0", r = "rotation 0 0 1 0", m = "diffuseColor 1 1 1";
  const std::vector<std::string> faces = {"0 1 2 -1,"};
  // The last point has no comma: neither counted nor read.
  Read last = ReadText(Object(t, r, m, {"1 1 1,", "2 2 2,", "3 3 3"}, faces));
  ASSERT_EQ(last.data.objects[0].point_count, 2);
  ExpectVertex(last.data.objects[0].points[1], {2, 2, 2});
  FreeParserData(last.data);

  // A blank line is not counted but read as a point; the last point is lost.
  Read blank = ReadText(Object(t, r, m, {"1 1 1,", "", "2 2 2,", "3 3 3,"}, faces));
  const CV_parser_object& o = blank.data.objects[0];
  ASSERT_EQ(o.point_count, 3);
  ExpectVertex(o.points[0], {1, 1, 1});
  ExpectVertex(o.points[1], {0, 0, 0});
  ExpectVertex(o.points[2], {2, 2, 2});
  EXPECT_TRUE(AnyMessageContains(blank.messages, "scene.wrl:7: point 1 of object 0 gives 0 values, not 3"));
  FreeParserData(blank.data);

  // The closing bracket after the comma of the last point line keeps that point.
  std::string text =
      "geometry\n" + t + "\n" + r + "\n" + m + "\npoint [\n1 1 1,\n2 2 2, ]\ncoordIndex [\n0 1 1 -1, ]\n";
  Read closed = ReadText(text);
  ASSERT_EQ(closed.data.objects[0].point_count, 2);
  ExpectVertex(closed.data.objects[0].points[1], {2, 2, 2});
  EXPECT_EQ(closed.data.objects[0].face_count, 1);
  FreeParserData(closed.data);
}

TEST(VrmlReader, FaceIndexWrittenAsFractionIsTruncated) {
  Read read = ReadText(Object("translation 0 0 0", "rotation 0 0 1 0", "diffuseColor 1 1 1",
                              {"0 0 0,", "1 0 0,", "0 1 0,"}, {"0, 1, 2.9, -1,"}));
  ASSERT_EQ(read.data.objects[0].face_count, 1);
  EXPECT_EQ(read.data.objects[0].faces[0].index[2], 2);
  FreeParserData(read.data);
}

TEST(VrmlReader, FacesWithIndexOutsideThePointListAreDroppedAndReported) {
  Read read = ReadText(
      Object("translation 0 0 0", "rotation 0 0 1 0", "diffuseColor 1 1 1", {"0 0 0,", "1 0 0,", "0 1 0,"},
             {"0 1 3 -1,", "0 1 2 -1,", "0 -2 1 -1,", "inf 1 2 -1,", "0 1e10 2 -1,", "nan 1 2 -1,", "2 1 0 -1,"}));
  const CV_parser_object& o = read.data.objects[0];
  ASSERT_EQ(o.face_count, 2);
  EXPECT_EQ(o.faces[0].index[2], 2);
  EXPECT_EQ(o.faces[1].index[0], 2);
  EXPECT_TRUE(AnyMessageContains(read.messages,
                                 "scene.wrl:11: face 0 of object 0 refers to point 3, but the object "
                                 "has 3 points; face skipped"));
  EXPECT_TRUE(AnyMessageContains(read.messages, "face 2 of object 0 refers to point -2,"));
  EXPECT_TRUE(AnyMessageContains(read.messages, "face 3 of object 0 refers to point inf,"));
  EXPECT_TRUE(AnyMessageContains(read.messages, "face 4 of object 0 refers to point 1e+10,"));
  EXPECT_TRUE(AnyMessageContains(read.messages, "face 5 of object 0 refers to point nan,"));
  FreeParserData(read.data);
}

TEST(VrmlReader, QuarterTurnAboutZThenTranslation) {
  Read read = ReadText(Object("translation 1 2 3", "rotation 0 0 1 1.5708", "diffuseColor 1 1 1", {"1 0 0,"}, {}));
  ExpectVertex(read.data.objects[0].points[0], {1, 3, 3}, 1e-5f);
  FreeParserData(read.data);
}

TEST(VrmlReader, AxisOfLengthTwoScalesPointsByFour) {
  Read read =
      ReadText(Object("translation 0 0 0", "rotation 0 2 0 3.141592653589793", "diffuseColor 1 1 1", {"1 1 1,"}, {}));
  ExpectVertex(read.data.objects[0].points[0], {-4, 4, -4}, 1e-5f);
  FreeParserData(read.data);
}

TEST(VrmlReader, ZeroAngleLeavesPointsUnchangedWhateverTheAxis) {
  Read read = ReadText(Object("translation 0 0 0", "rotation 3 -4 5 0", "diffuseColor 1 1 1", {"0.1 -2.5 7,"}, {}));
  ExpectVertex(read.data.objects[0].points[0], {0.1f, -2.5f, 7});
  FreeParserData(read.data);
}

TEST(VrmlReader, ShortValueLinesReadAsZeroAndAreReported) {
  Read read = ReadText(Object("translation 1 2 3 ", "rotation 0 0 1", "diffuseColor 0.5", {"1 0 0,"}, {}));
  const CV_parser_object& o = read.data.objects[0];
  ExpectVertex(o.translation, {1, 2, 0});
  EXPECT_EQ(o.rotation_angle, 0);
  EXPECT_EQ(o.diffuse, 0);               // one open token is not enough for a value
  ExpectVertex(o.points[0], {2, 2, 0});  // the axis is (0, 0, 0) and the angle 0: no turn
  EXPECT_TRUE(AnyMessageContains(read.messages, "scene.wrl:2: the translation line of object 0 gives 2 values, not 3"));
  EXPECT_TRUE(AnyMessageContains(read.messages, "scene.wrl:3: the rotation line of object 0 gives 2 values, not 4"));
  EXPECT_TRUE(AnyMessageContains(read.messages, "scene.wrl:4: the diffuseColor line of object 0 gives 0 values"));
  FreeParserData(read.data);
}

TEST(VrmlReader, LightLineWithoutItsKeywordGivesZerosAndIsReported) {
  Read read = ReadText("PointLight {\n  color 1 1 1\n  location 1 2 3\n  intensity 2\n}\n");
  ASSERT_EQ(read.data.light_count, 1);
  const CV_light& light = read.data.lights[0];
  ExpectVertex(light.location, {0, 0, 0});
  EXPECT_EQ(light.color.r, 0);
  EXPECT_EQ(light.intensity, 2);
  EXPECT_TRUE(AnyMessageContains(read.messages, "scene.wrl:2: the location line of light 0 was expected here"));
  EXPECT_TRUE(AnyMessageContains(read.messages, "scene.wrl:3: the color line of light 0 was expected here"));
  FreeParserData(read.data);
}

TEST(VrmlReader, LightWhoseLineWasUsedByTheLightBeforeGetsZeros) {
  Read read = ReadText("PointLight\nPointLight\nlocation 1 1 1\ncolor 1 1 1\nintensity 1\n");
  ASSERT_EQ(read.data.light_count, 2);
  EXPECT_EQ(read.data.lights[1].intensity, 0);
  ExpectVertex(read.data.lights[1].location, {0, 0, 0});
  EXPECT_TRUE(AnyMessageContains(read.messages, "light 1 has no PointLight line"));
  FreeParserData(read.data);
}

TEST(VrmlReader, ObjectWithoutDataGetsDefinedValuesAndIsNamed) {
  Read read =
      ReadText(Object("translation 1 1 1", "rotation 0 0 1 1", "diffuseColor 1 1 1", {"1 0 0,"}, {}) + "geometry\n");
  ASSERT_EQ(read.data.object_count, 2);
  const CV_parser_object& o = read.data.objects[1];
  EXPECT_EQ(o.point_count, 0);
  EXPECT_EQ(o.face_count, 0);
  ExpectVertex(o.translation, {0, 0, 0});
  ExpectVertex(o.rotation_axis.direction, {0, 0, 0});
  EXPECT_EQ(o.rotation_angle, 0);
  EXPECT_EQ(o.diffuse, 0);
  EXPECT_EQ(o.specular, 0);
  EXPECT_EQ(o.exponent, 0);
  EXPECT_TRUE(AnyMessageContains(read.messages, "/scene.wrl: object 1 has no face list; it has no faces"));
  EXPECT_TRUE(AnyMessageContains(read.messages, "object 1 has no translation line"));
  FreeParserData(read.data);
}

TEST(VrmlReader, EveryTruncationOfAValidSceneEndsWithConsistentData) {
  const std::string scene = kScene;
  for (size_t length = 0; length <= scene.size(); ++length) {
    Read read = ReadText(scene.substr(0, length));
    EXPECT_EQ(read.result, 1);
    ExpectConsistent(read.data, "prefix of " + std::to_string(length) + " bytes");
    FreeParserData(read.data);
  }
  // The example scenes cut after every line (the program's own test runs a
  // sample of these cuts through the binary).
  for (std::string example : {"room", "lights", "rotated", "glossy"}) {
    const std::string text =
        ReadFileBytes(std::string(CORVANE_SOURCE_DIR) + "/examples/" + example + "/" + example + ".wrl");
    ASSERT_FALSE(text.empty()) << example;
    size_t length = 0;
    for (int line = 0;; ++line) {
      Read read = ReadText(text.substr(0, length));
      EXPECT_EQ(read.result, 1);
      ExpectConsistent(read.data, example + " cut after line " + std::to_string(line));
      FreeParserData(read.data);
      if (length == text.size()) break;
      size_t line_end = text.find('\n', length);
      length = line_end == std::string::npos ? text.size() : line_end + 1;
    }
  }
}

TEST(VrmlReader, UnclosedListIsReportedAndKeepsWhatCanBeRead) {
  Read read = ReadText("geometry\ntranslation 0 0 0\nrotation 0 0 1 0\ndiffuseColor 1 1 1\npoint [\n1 1 1,\n2 2 2,\n");
  ASSERT_EQ(read.data.objects[0].point_count, 2);
  ExpectVertex(read.data.objects[0].points[1], {2, 2, 2});
  EXPECT_TRUE(AnyMessageContains(read.messages, "scene.wrl:5: the point list of object 0 is not closed"));
  FreeParserData(read.data);
}

TEST(VrmlReader, MoreObjectsThanASampleCanReferToAreRefused) {
  std::string lines;
  for (int i = 0; i < kMaxObjects; ++i) lines += "geometry\n";
  Read limit = ReadText(lines);
  EXPECT_EQ(limit.result, 1);
  EXPECT_EQ(limit.data.object_count, kMaxObjects);
  FreeParserData(limit.data);

  Read over = ReadText(lines + "geometry PointLight\n");
  EXPECT_EQ(over.result, 0);
  EXPECT_EQ(over.data.object_count, 0);
  EXPECT_EQ(over.data.objects, nullptr);
  EXPECT_EQ(over.data.light_count, 0);
  EXPECT_EQ(over.data.lights, nullptr);
  ASSERT_EQ(over.messages.size(), 1u);
  EXPECT_NE(
      over.messages[0].find(
          "scene.wrl: the scene has 32769 objects, more than the 32768 a sample can refer to; the scene is refused"),
      std::string::npos)
      << over.messages[0];
}

TEST(VrmlReader, MissingFileOrDirectoryOrNoNameGivesEmptyDataAndItsReason) {
  TempDir dir;
  const std::string black = "; the scene is empty, so the image is black";
  const std::string rows[][2] = {
      {dir.File("absent.wrl"), "corvane: scene file \"" + dir.File("absent.wrl") + "\" could not be read: " +
                                   dir.File("absent.wrl") + ": No such file or directory" + black},
      {"absent.wrl", "corvane: scene file \"absent.wrl\" could not be read: " +
                         std::filesystem::current_path().string() + "/absent.wrl: No such file or directory" + black},
      {dir.path(), "corvane: scene file \"" + dir.path() + "\" is a directory, " + dir.path() + black},
      {"", "corvane: no scene file was named (SCENEFILENAME is not set)" + black},
      {dir.File("scene.wrl\r"), "corvane: scene file \"" + dir.File("scene.wrl\\r") + "\" could not be read: " +
                                    dir.File("scene.wrl\\r") + ": No such file or directory" + black},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row[0]);
    TakeInputProblems();
    TakeEmptyImageReason();
    CV_parser_data data{};
    EXPECT_EQ(ReadDataFile(row[0], data), 1);
    EXPECT_EQ(data.object_count, 0);
    EXPECT_EQ(data.light_count, 0);
    EXPECT_EQ(TakeInputProblems(), std::vector<std::string>{});
    std::string reason = TakeEmptyImageReason();
    EXPECT_EQ(reason.substr(0, row[1].size()), row[1]);
    EXPECT_NE(reason.find("SCENEFILENAME", row[1].size()), std::string::npos) << "says what to do: " << reason;
  }
}

TEST(VrmlReader, LongLinesAndLongFilesAreReadQuickly) {
  std::string text = "# " + std::string(4 << 20, 'x') + ", ] point\n";
  std::vector<std::string> points;
  for (int i = 0; i < 200000; ++i) points.push_back(std::to_string(i) + " 0 0,");
  text += Object("translation 0 0 0", "rotation 0 0 1 0", "diffuseColor 1 1 1", points, {"0 1 199999 -1,"});
  auto start = std::chrono::steady_clock::now();
  Read read = ReadText(text);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // The comment line holds "point" and is taken as the object's point keyword
  // line, so the list runs on to the real one.
  ASSERT_EQ(read.data.object_count, 1);
  EXPECT_EQ(read.data.objects[0].point_count, 200000);
  EXPECT_LT(seconds, 5.0);
  FreeParserData(read.data);
}

TEST(VrmlReader, FilesFromOtherProgramsReadWithoutHarm) {
  std::vector<std::string> files;
  const std::string folders[] = {std::string(CORVANE_TEST_DATA_DIR) + "/wild-vrml", "/usr/share/assimp/models/WRL"};
  for (const std::string& folder : folders) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      std::string extension = entry.path().extension().string();
      if (extension == ".wrl" || extension == ".WRL") files.push_back(entry.path().string());
    }
  }
  if (files.empty()) GTEST_SKIP() << "no VRML files from other programs are installed";
  for (const std::string& file : files) {
    CV_parser_data data{};
    int result = ReadDataFile(file, data);
    EXPECT_TRUE(result == 0 || result == 1) << file;
    ExpectConsistent(data, file);
    FreeParserData(data);
  }
  TakeInputProblems();
}

namespace {

// text with the first occurrence of from replaced by to.
std::string Edit(const std::string& text, const std::string& from, const std::string& to) {
  std::string edited = text;
  size_t at = edited.find(from);
  if (at != std::string::npos) edited.replace(at, from.size(), to);
  return edited;
}

}  // namespace

TEST(VrmlReader, FileOutsideItsLayoutIsNamedOnceAtItsFirstConstructAndReadAsBefore) {
  std::vector<std::string> sixty_bad_faces(60, "0 1 5 -1,");
  const std::string use = Edit(kScene, "    Shape {\n", "    Shape {\n      appearance USE Look\n");
  struct Row {
    std::string text;
    long long line;                      // of the construct; 0 for a file without faces
    std::string says;                    // after "this file "; unused for a file without faces
    int objects, lights, points, faces;  // what the reader made of the file before it warned
  };
  const Row rows[] = {
      {use, 12, "uses DEF/USE, which the scene reader does not follow", 2, 2, 7, 3},
      {Edit(use, "      0, 2, 3, -1,\n", "      0, 1, 2, 3, -1,\n"), 12,
       "uses DEF/USE, which the scene reader does not follow", 2, 2, 7, 3},
      {Edit(kScene, "Transform {\n  translation 0 0 0", "Group { children [\nTransform {\n  translation 0 0 0"), 37,
       "uses Group, which the scene reader does not follow", 2, 2, 7, 3},
      {Edit(kScene, "    Shape {\n", "    Transform { children [\n    Shape {\n"), 11,
       "puts a Transform inside another Transform, which the scene reader does not follow", 2, 2, 7, 3},
      {Edit(kScene, "      0, 2, 3, -1,\n", "      0, 1, 2, 3, -1,\n"), 50,
       "has faces with more than three corners, which the scene reader does not split", 2, 2, 7, 3},
      {Edit(kScene, "      0, 1, 2, -1,\n      0, 2, 3, -1,\n", "      0, 1, 2, -1, 0, 2, 3, -1,\n"), 49,
       "does not write each face on a line of its own, which the scene reader needs", 2, 2, 7, 2},
      {Edit(kScene, "      1 0 0,\n      1 1 0,\n", "      1 0 0, 1 1 0,\n"), 44,
       "does not write each point on a line of its own, which the scene reader needs", 2, 2, 6, 2},
      {Edit(kScene, "  translation 1 2 3\n  rotation 0 0 1 0\n", "  translation 1 2 3 rotation 0 0 1 0\n"), 8,
       "writes several fields on one line, which the scene reader does not separate", 2, 2, 3, 1},
      {Edit(kScene, "  geometry IndexedFaceSet {\n    point", "  geometry Box {\n    point"), 41,
       "uses Box geometry, which the scene reader does not read", 2, 2, 7, 3},
      {Edit(kScene, "        coordIndex [\n",
            "        texCoord TextureCoordinate { point [\n          0 0,\n        ] }\n        coordIndex [\n"),
       25, "gives texture coordinates, which the scene reader takes for points", 2, 2, 7, 3},
      {Edit(kScene, "PointLight {\n  location 0 5 0", "Viewpoint { position 0 0 10 }\nPointLight {\n  location 0 5 0"),
       2, "has \"point\" inside \"Viewpoint\", which the scene reader takes for a point field", 2, 2, 7, 3},
      {Edit(kScene, "utf8\n", "utf8\n# geometry drawn by hand\n"), 2,
       "has \"geometry\" in a comment or string, which the scene reader takes for a geometry field", 3, 2, 7, 3},
      {std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) + "geometry", 1,
       "is compressed (gzip), which the scene reader does not read", 1, 0, 0, 0},
      {"#VRML V1.0 ascii\nSeparator {\n  Coordinate3 { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n}\n", 1,
       "is not VRML 2.0 but #VRML V1.0, which the scene reader does not read", 0, 0, 0, 0},
      {"#VRML V2.0 utf8\nPointLight {\n  location 0 5 0\n  color 1 1 1\n  intensity 2\n}\n", 0, "", 0, 1, 0, 0},
      {"", 0, "", 0, 0, 0, 0},  // an empty file
      {Object("translation 0 0 0", "rotation 0 0 1 0", "diffuseColor 1 1 1", {"0 0 0,", "1 0 0,", "0 1 0,"},
              sixty_bad_faces),
       0, "", 1, 0, 3, 0},  // past the limit on kept messages the one that explains them stays
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 200));
    TempDir dir;
    std::string path = dir.Write("scene.wrl", row.text);
    TakeInputProblems();
    TakeEmptyImageReason();
    CV_parser_data data{};
    EXPECT_EQ(ReadDataFile(path, data), 1);
    std::string no_face = "corvane: " + path +
                          ": the scene reader found no face in this file, so nothing can be lit and the image is "
                          "black; if it comes from another program, convert it with corvane-import " +
                          path;
    EXPECT_EQ(TakeEmptyImageReason(), row.faces == 0 ? no_face : "");
    // The layout line comes first; what follows from it is one summing line.
    std::vector<std::string> messages = TakeInputProblems();
    if (row.line > 0) {
      ASSERT_FALSE(messages.empty());
      EXPECT_EQ(messages[0], "corvane: " + path + ":" + std::to_string(row.line) + ": this file " + row.says +
                                 "; convert it with corvane-import " + path);
      ASSERT_LE(messages.size(), 2u);
      if (messages.size() == 2) EXPECT_NE(messages[1].find("that follow from this layout"), std::string::npos);
    } else {
      for (const std::string& m : messages) EXPECT_EQ(m.find("corvane-import"), std::string::npos) << m;
    }
    int points = 0, faces = 0;
    for (int32_t i = 0; i < data.object_count; ++i) {
      points += data.objects[i].point_count;
      faces += data.objects[i].face_count;
    }
    EXPECT_EQ(data.object_count, row.objects);
    EXPECT_EQ(data.light_count, row.lights);
    EXPECT_EQ(points, row.points);
    EXPECT_EQ(faces, row.faces);
    FreeParserData(data);
  }

  // The example scenes keep to the layout: not a word about them.
  for (const auto& folder : std::filesystem::directory_iterator(std::string(CORVANE_SOURCE_DIR) + "/examples")) {
    for (const auto& file : std::filesystem::directory_iterator(folder.path())) {
      if (file.path().extension() != ".wrl") continue;
      SCOPED_TRACE(file.path().string());
      TakeInputProblems();
      CV_parser_data data{};
      ReadDataFile(file.path().string(), data);
      EXPECT_EQ(TakeInputProblems(), std::vector<std::string>{});
      EXPECT_EQ(TakeEmptyImageReason(), "");
      FreeParserData(data);
    }
  }
}
