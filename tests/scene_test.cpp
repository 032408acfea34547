#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/messages.h"
#include "tests/support.h"
#include "tests/test_files.h"

namespace {

// Parser data for one object with the given points and faces; the arrays
// come from malloc, as the reader's do.
CV_parser_object ParserObject(const std::vector<vertex3f>& points, const std::vector<CV_face>& faces) {
  CV_parser_object object{};
  object.point_count = int32_t(points.size());
  object.points = static_cast<vertex3f*>(std::malloc(points.size() * sizeof(vertex3f) + 1));
  for (size_t k = 0; k < points.size(); ++k) object.points[k] = points[k];
  object.face_count = int32_t(faces.size());
  object.faces = static_cast<CV_face*>(std::malloc(faces.size() * sizeof(CV_face) + 1));
  for (size_t k = 0; k < faces.size(); ++k) object.faces[k] = faces[k];
  return object;
}

CV_scene SceneOf(std::vector<CV_parser_object> objects) {
  CV_parser_data data{};
  data.object_count = int32_t(objects.size());
  data.objects = static_cast<CV_parser_object*>(std::malloc(objects.size() * sizeof(CV_parser_object)));
  for (size_t i = 0; i < objects.size(); ++i) data.objects[i] = objects[i];
  CV_scene scene{};
  BuildSceneFromParserData(data, scene);
  FreeParserData(data);
  return scene;
}

bool NoArea(const CV_triangle& t) {
  vertex3f n = TriNormale(t).direction;
  return n.x == 0 && n.y == 0 && n.z == 0;
}

const std::vector<vertex3f> kSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

}  // namespace

TEST(Scene, BoxSlotsLieOnTheirFacesAndPointOutward) {
  CV_triangle box[12];
  BuildBoxTriangles(vertex3f{0, 0, 0}, vertex3f{2, 3, 4}, box);
  ExpectVertex(box[0].a, {0, 0, 4});
  ExpectVertex(box[0].b, {2, 3, 4});
  ExpectVertex(box[0].c, {0, 3, 4});
  vertex3f n0 = TriNormale(box[0]).direction;
  ExpectVertex(n0, {0, 0, 6});

  // Per slot: the axis of its face, the side (+1 for the high face), and the
  // face's coordinate. Each normal must point along the side, out of the box.
  struct Slot {
    int axis;
    int side;
    float plane;
  };
  const Slot slots[12] = {{2, +1, 4}, {2, +1, 4}, {0, +1, 2}, {0, +1, 2}, {2, -1, 0}, {2, -1, 0},
                          {0, -1, 0}, {0, -1, 0}, {1, -1, 0}, {1, -1, 0}, {1, +1, 3}, {1, +1, 3}};
  auto component = [](vertex3f v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; };
  for (int s = 0; s < 12; ++s) {
    SCOPED_TRACE("slot " + std::to_string(s + 1));
    vertex3f n = TriNormale(box[s]).direction;
    for (int axis = 0; axis < 3; ++axis) {
      if (axis == slots[s].axis) {
        EXPECT_GT(component(n, axis) * float(slots[s].side), 0);
      } else {
        EXPECT_EQ(component(n, axis), 0);
      }
    }
    for (vertex3f corner : {box[s].a, box[s].b, box[s].c}) {
      EXPECT_EQ(component(corner, slots[s].axis), slots[s].plane);
    }
  }
  // The two slots of a face together touch all four of its corners.
  for (int s = 0; s < 12; s += 2) {
    std::set<std::tuple<float, float, float>> corners;
    for (int k = s; k < s + 2; ++k) {
      for (vertex3f c : {box[k].a, box[k].b, box[k].c}) corners.insert({c.x, c.y, c.z});
    }
    EXPECT_EQ(corners.size(), 4u) << "face of slots " << s + 1 << " and " << s + 2;
  }
}

TEST(Scene, SquareGivesTwoTrianglesAndAFlatBox) {
  CV_scene scene = SceneOf({ParserObject(kSquare, {{{0, 1, 2}}, {{0, 2, 3}}})});
  ASSERT_EQ(scene.object_count, 1);
  const CV_object& o = scene.objects[0];
  ASSERT_EQ(o.triangle_count, 2);
  ExpectVertex(o.triangles[0].c, {1, 1, 0});
  ExpectVertex(o.triangles[1].b, {1, 1, 0});
  ExpectVertex(o.triangles[1].c, {0, 1, 0});
  ASSERT_EQ(o.box_triangle_count, 12);
  for (int s = 0; s < 12; ++s) {
    bool in_plane = s == 0 || s == 1 || s == 4 || s == 5;
    SCOPED_TRACE("slot " + std::to_string(s + 1));
    EXPECT_EQ(NoArea(o.box_triangles[s]), !in_plane);
    for (vertex3f c : {o.box_triangles[s].a, o.box_triangles[s].b, o.box_triangles[s].c}) EXPECT_EQ(c.z, 0);
  }
  FreeScene(scene);
}

TEST(Scene, PointsThatNoFaceUsesDoNotWidenTheBox) {
  std::vector<vertex3f> points = kSquare;
  points.push_back({5, 5, 5});
  CV_scene scene = SceneOf({ParserObject(points, {{{0, 1, 2}}})});
  CV_triangle expected[12];
  BuildBoxTriangles(vertex3f{0, 0, 0}, vertex3f{1, 1, 0}, expected);
  for (int s = 0; s < 12; ++s) {
    ExpectVertex(scene.objects[0].box_triangles[s].a, expected[s].a);
    ExpectVertex(scene.objects[0].box_triangles[s].b, expected[s].b);
    ExpectVertex(scene.objects[0].box_triangles[s].c, expected[s].c);
  }
  FreeScene(scene);
}

TEST(Scene, ObjectWithoutFacesGetsTwelveDegenerateBoxTrianglesAtTheOrigin) {
  CV_scene scene = SceneOf({ParserObject({{3, 3, 3}}, {})});
  const CV_object& o = scene.objects[0];
  EXPECT_EQ(o.triangle_count, 0);
  ASSERT_EQ(o.box_triangle_count, 12);
  for (int s = 0; s < 12; ++s) {
    ExpectVertex(o.box_triangles[s].a, {0, 0, 0});
    ExpectVertex(o.box_triangles[s].b, {0, 0, 0});
    ExpectVertex(o.box_triangles[s].c, {0, 0, 0});
  }
  FreeScene(scene);
}

TEST(Scene, FacesWithAnIndexOutsideThePointListAreSkipped) {
  CV_scene scene = SceneOf({ParserObject(kSquare, {{{0, 1, 4}}, {{-1, 0, 1}}, {{0, 2, 3}}, {{INT32_MAX, 0, 1}}})});
  ASSERT_EQ(scene.objects[0].triangle_count, 1);
  ExpectVertex(scene.objects[0].triangles[0].b, {1, 1, 0});
  FreeScene(scene);
}

TEST(Scene, MaterialIsCopiedByName) {
  CV_parser_object source = ParserObject(kSquare, {{{0, 1, 2}}});
  source.diffuse = 0.6f;
  source.specular = 0.2f;
  source.exponent = 5;
  CV_scene scene = SceneOf({source});
  EXPECT_EQ(scene.objects[0].diffuse, 0.6f);
  EXPECT_EQ(scene.objects[0].specular, 0.2f);
  EXPECT_EQ(scene.objects[0].exponent, 5);
  FreeScene(scene);
}

TEST(Scene, ObjectsAndLightsKeepTheOrderOfTheFile) {
  TempDir dir;
  std::string text =
      "PointLight\nlocation 1 2 3\ncolor 1 1 1\nintensity 2\n"
      "geometry\ntranslation 0 0 0\nrotation 0 0 1 0\ndiffuseColor 0.1 0 1\n"
      "point [\n0 0 0,\n1 0 0,\n0 1 0,\n]\ncoordIndex [\n0 1 2 -1,\n]\n"
      "PointLight\nlocation 4 5 6\ncolor 0 0 1\nintensity 3\n"
      "geometry\ntranslation 0 0 7\nrotation 0 0 1 0\ndiffuseColor 0.9 0 1\n"
      "point [\n0 0 0,\n1 0 0,\n0 1 0,\n]\ncoordIndex [\n0 1 2 -1,\n]\n";
  CV_scene scene{};
  EXPECT_EQ(CreateScene(dir.Write("scene.wrl", text), scene), 1);
  ASSERT_EQ(scene.object_count, 2);
  EXPECT_EQ(scene.objects[0].diffuse, 0.1f);
  EXPECT_EQ(scene.objects[1].diffuse, 0.9f);
  EXPECT_EQ(scene.objects[1].triangles[0].a.z, 7);
  EXPECT_EQ(scene.objects[1].box_triangles[0].a.z, 7);
  ASSERT_EQ(scene.light_count, 2);
  ExpectVertex(scene.lights[0].location, {1, 2, 3});
  ExpectVertex(scene.lights[1].location, {4, 5, 6});
  EXPECT_EQ(scene.lights[1].color.b, 1);
  EXPECT_EQ(scene.lights[1].intensity, 3);
  FreeScene(scene);
}

TEST(Scene, MissingFileGivesAnEmptyScene) {
  TempDir dir;
  TakeInputProblems();
  CV_scene scene{};
  EXPECT_EQ(CreateScene(dir.File("absent.wrl"), scene), 1);
  EXPECT_EQ(scene.object_count, 0);
  EXPECT_EQ(scene.light_count, 0);
  EXPECT_TRUE(TakeInputProblems().empty());
  EXPECT_NE(TakeEmptyImageReason().find("absent.wrl: No such file or directory"), std::string::npos);
  FreeScene(scene);
}

TEST(Scene, RefusedFileGivesAnEmptySceneAndZero) {
  TempDir dir;
  std::string lines;
  for (int i = 0; i <= kMaxObjects; ++i) lines += "geometry\n";
  lines += "PointLight\nlocation 1 2 3\ncolor 1 1 1\nintensity 2\n";
  CV_scene scene{};
  EXPECT_EQ(CreateScene(dir.Write("scene.wrl", lines), scene), 0);
  EXPECT_EQ(scene.object_count, 0);
  EXPECT_EQ(scene.light_count, 0);
  TakeInputProblems();
  FreeScene(scene);
}
