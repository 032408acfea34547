#include "core/linetext.h"

#include <cstdio>
#include <cstdlib>

const std::string P_SPC = " ";
const std::string P_COLON = ",";
const std::string P_NONE = "";

bool ContainsStr(std::string needle, std::string haystack, uint32_t& position) {
  size_t found = haystack.find(needle);
  if (found == std::string::npos) {
    position = 0xffffffffu;
    return false;
  }
  position = uint32_t(found);
  return true;
}

bool LineContains(const std::string& line, const std::string& keyword) {
  return line.find(keyword) != std::string::npos;
}

float FloatFromToken(std::string_view token) { return float(std::atof(std::string(token).c_str())); }

std::string Printable(const std::string& text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c < 0x20 || c == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", unsigned(c));
      shown += escape;
    } else {
      shown += char(c);
    }
  }
  return shown;
}
