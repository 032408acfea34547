// The words both text readers share: the separators between values and the
// substring search that finds keywords on a line.
#pragma once

#include <cstdint>
#include <string>

extern const std::string P_SPC;    // " "
extern const std::string P_COLON;  // "," (a comma)
extern const std::string P_NONE;   // ""

// True when needle occurs in haystack; position receives the index of the
// first occurrence, or 0xffffffff when there is none.
bool ContainsStr(std::string needle, std::string haystack, uint32_t& position);
