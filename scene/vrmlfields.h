// The values a field line of the scene file gives: the numbers after a
// keyword, the numbers of a point or face list line, and a face index read
// as a float.
#pragma once

#include <cstdint>
#include <string>

// What one line gives: the three value holders, the rotation angle, and how
// many of them the line supplied. A value the line does not supply is 0.
struct CV_line_values {
  float first;
  float second;
  float third;
  float fourth;  // the rotation angle
  int count;
};

// Parses a keyword line carrying value_count values (1: intensity, given in
// first; 3: location, colour, translation, material; 4: rotation). The scan
// starts two characters after the first occurrence of keyword: the character
// right after it is skipped unexamined. A line without keyword gives nothing.
CV_line_values ParseKeywordLine(const std::string& line, const std::string& keyword, int value_count);

// Parses a point line, or a face line when skip_minus_one is set (a "-1"
// token is then skipped), from its first character: the closed tokens fill
// first, second, third, and every later one replaces third; the token still
// open at the end of the line is dropped.
CV_line_values ParseListLine(const std::string& line, bool skip_minus_one);

// The face index that a value read as a float stands for, truncated toward
// zero; false when the value is not finite or outside the range of int32.
bool FaceIndexFromValue(float value, int32_t& index);
