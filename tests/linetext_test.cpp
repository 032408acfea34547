#include "core/linetext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Scan {
  std::vector<std::string> closed;
  std::string open;
};

Scan ScanAll(std::string_view text, std::string_view separators) {
  Scan scan;
  scan.open =
      std::string(ScanTokens(text, separators, [&](std::string_view token) { scan.closed.emplace_back(token); }));
  return scan;
}

}  // namespace

TEST(LineText, ContainsStrGivesFirstPositionOrAllBitsSet) {
  uint32_t position = 7;
  EXPECT_TRUE(ContainsStr("point", "a point and a point", position));
  EXPECT_EQ(position, 2u);
  EXPECT_FALSE(ContainsStr("color", "diffuseColor 1 1 1", position));
  EXPECT_EQ(position, 0xffffffffu);
  EXPECT_FALSE(ContainsStr("point", "PointLight", position));
  EXPECT_TRUE(ContainsStr("", "anything", position));
  EXPECT_EQ(position, 0u);
}

TEST(LineText, LineContainsAgreesWithContainsStr) {
  const char* const lines[] = {"a point and a point", "diffuseColor 1 1 1", "PointLight", ""};
  const char* const keywords[] = {"point", "color", "Color", ""};
  for (const char* line : lines) {
    for (const char* keyword : keywords) {
      uint32_t position = 0;
      EXPECT_EQ(LineContains(line, keyword), ContainsStr(keyword, line, position)) << line << " / " << keyword;
    }
  }
}

TEST(LineText, TokensEndAtAnyOfTheGivenSeparators) {
  struct Row {
    const char* text;
    const char* separators;
    std::vector<std::string> closed;
    const char* open;
  };
  const Row rows[] = {
      {"1 2,3\t4", " ,\t", {"1", "2", "3"}, "4"},
      {"1 2,3\t4", " ,", {"1", "2"}, "3\t4"},
      {"  1,,2 ", " ,", {"1", "2"}, ""},  // empty runs are no tokens
      {"1;2;", " ,;", {"1", "2"}, ""},
      {"", " ", {}, ""},
      {"word", " ", {}, "word"},
  };
  for (const Row& row : rows) {
    Scan scan = ScanAll(row.text, row.separators);
    EXPECT_EQ(scan.closed, row.closed) << '"' << row.text << '"';
    EXPECT_EQ(scan.open, row.open) << '"' << row.text << '"';
  }
}

TEST(LineText, FloatFromTokenReadsAsAtofAndRoundsToFloat) {
  EXPECT_EQ(FloatFromToken("2.5"), 2.5f);
  EXPECT_EQ(FloatFromToken("3x"), 3.0f);
  EXPECT_EQ(FloatFromToken("abc"), 0.0f);
  EXPECT_EQ(FloatFromToken(""), 0.0f);
  EXPECT_EQ(FloatFromToken("0x10"), 16.0f);
  EXPECT_EQ(FloatFromToken("0.1"), 0.1f);
  EXPECT_TRUE(std::isinf(FloatFromToken("inf")));
  EXPECT_TRUE(std::isinf(FloatFromToken("1e60")));  // beyond float, though a double holds it
  EXPECT_EQ(FloatFromToken(std::string_view("12 34").substr(0, 2)), 12.0f);
}
