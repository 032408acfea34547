// The values the scene file's field lines give, row by row.
#include "scene/vrmlfields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "scene/vrmlreader.h"

TEST(VrmlFields, TokenRulesOfEachLineKind) {
  enum Kind { kLocation, kTranslation, kMaterial, kRotation, kIntensity, kPoint, kFace };
  struct Row {
    Kind kind;
    const char* line;
    float first, second, third, fourth;
    int count;
  };
  const Row rows[] = {
      {kTranslation, "translation 1 2 3", 1, 2, 3, 0, 3},
      {kTranslation, "  translation 1 2 3\r", 1, 2, 3, 0, 3},
      {kTranslation, "translation 1 2 3 ", 1, 2, 0, 0, 2},  // the trailing blank closes 3 as an extra token
      {kTranslation, "translation 1,2,3,", 1, 2, 0, 0, 2},
      {kTranslation, "translation 1 2 3 4", 1, 2, 4, 0, 3},  // the open token is the third value
      {kTranslation, "translation\t1,2\t3", 1, 2, 3, 0, 3},
      {kTranslation, "translation  1  2  3", 1, 2, 3, 0, 3},   // empty runs are no tokens
      {kTranslation, "translation10 20 30", 0, 20, 30, 0, 3},  // the character after the keyword is skipped
      {kTranslation, "translation abc 2 3x", 0, 2, 3, 0, 3},
      {kTranslation, "translation 1", 0, 0, 0, 0, 0},
      {kTranslation, "translation", 0, 0, 0, 0, 0},
      {kTranslation, "no keyword 1 2 3", 0, 0, 0, 0, 0},
      {kLocation, "location 0 5 0", 0, 5, 0, 0, 3},
      {kMaterial, "diffuseColor 0.5 0.3 10", 0.5f, 0.3f, 10, 0, 3},
      {kRotation, "rotation 0 1 0 1.5708", 0, 1, 0, 1.5708f, 4},
      {kRotation, "rotation 0 1 0 1.5708 ", 0, 1, 0, 0, 3},
      {kRotation, "rotation 1 2 3", 1, 2, 0, 0, 2},
      {kRotation, "rotation 1 2 3 4 5", 1, 2, 3, 5, 4},
      {kIntensity, "intensity 2", 2, 0, 0, 0, 1},
      {kIntensity, "intensity 1 2", 2, 0, 0, 0, 1},
      {kIntensity, "intensity 2 ", 0, 0, 0, 0, 0},
      {kPoint, "0.5 1 2,", 0.5f, 1, 2, 0, 3},
      {kPoint, "1 2 3 4,", 1, 2, 4, 0, 3},  // every later token replaces the third
      {kPoint, "1 2 3", 1, 2, 0, 0, 2},     // the open token at the end is dropped
      {kPoint, "", 0, 0, 0, 0, 0},
      {kPoint, "  1,2,3, ]", 1, 2, 3, 0, 3},
      {kPoint, "\t1\t2\t3\t", 1, 2, 3, 0, 3},
      {kPoint, "1 2 -1 3,", 1, 2, 3, 0, 3},
      {kFace, "0, 1, 2, -1,", 0, 1, 2, 0, 3},
      {kFace, "0 1 2 3 -1,", 0, 1, 3, 0, 3},
      {kFace, "-1 0 -1 1 2 -1 ", 0, 1, 2, 0, 3},
      {kFace, "0, 1, 2.9, -1,", 0, 1, 2.9f, 0, 3},
      {kFace, "0 1 2 -1\r", 0, 1, 2, 0, 3},
      {kFace, "0 1 -10,", 0, 1, -10, 0, 3},
  };
  for (const Row& row : rows) {
    CV_line_values v{};
    switch (row.kind) {
      case kLocation:
        v = ParseKeywordLine(row.line, P_LIGHT_LOCATION, 3);
        break;
      case kTranslation:
        v = ParseKeywordLine(row.line, P_OBJECT_TRANSLATION, 3);
        break;
      case kMaterial:
        v = ParseKeywordLine(row.line, P_OBJECT_MATERIAL, 3);
        break;
      case kRotation:
        v = ParseKeywordLine(row.line, P_OBJECT_ROTATION, 4);
        break;
      case kIntensity:
        v = ParseKeywordLine(row.line, P_LIGHT_INTENSITY, 1);
        break;
      case kPoint:
        v = ParseListLine(row.line, false);
        break;
      case kFace:
        v = ParseListLine(row.line, true);
        break;
    }
    SCOPED_TRACE(std::string("line \"") + row.line + "\"");
    EXPECT_EQ(v.first, row.first);
    EXPECT_EQ(v.second, row.second);
    EXPECT_EQ(v.third, row.third);
    EXPECT_EQ(v.fourth, row.fourth);
    EXPECT_EQ(v.count, row.count);
  }
}

TEST(VrmlFields, FaceIndexTruncatesTowardZeroWithinInt32) {
  struct Row {
    float value;
    bool valid;
    int32_t index;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Row rows[] = {
      {2.9f, true, 2},
      {-0.5f, true, 0},
      {-2.9f, true, -2},
      {2147483520.0f, true, 2147483520},
      {-2147483648.0f, true, INT32_MIN},
      {2147483648.0f, false, 0},
      {-2147483904.0f, false, 0},
      {inf, false, 0},
      {-inf, false, 0},
      {std::nanf(""), false, 0},
  };
  for (const Row& row : rows) {
    int32_t index = 12345;
    SCOPED_TRACE(row.value);
    EXPECT_EQ(FaceIndexFromValue(row.value, index), row.valid);
    if (row.valid) {
      EXPECT_EQ(index, row.index);
    }
  }
}
