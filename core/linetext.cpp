#include "core/linetext.h"

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
