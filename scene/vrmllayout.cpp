#include "scene/vrmllayout.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>
#include <vector>

#include "scene/vrmlreader.h"

namespace {

// Every gzip stream starts with these two bytes; a .wrz file is gzip'ed VRML.
constexpr unsigned char kGzipFirst = 0x1f;
constexpr unsigned char kGzipSecond = 0x8b;

// Headers of formats that look like VRML 2.0 text but are not.
const char* const kOtherHeaders[] = {"#VRML V1.0", "#Inventor"};

// Nodes that group or load other nodes: the reader sees only one Transform
// around each shape.
const char* const kGroupingNodes[] = {"Group", "Anchor", "Billboard", "Collision", "LOD", "Switch", "Inline"};

// A word cut short in a message: a long name says no more than its start.
constexpr size_t kShownWordLength = 40;

// A field whose values the reader takes from its own line, inside its node.
struct ValueField {
  const std::string* name;
  const char* node;
  int values;
};

const ValueField kValueFields[] = {
    {&P_OBJECT_TRANSLATION, "Transform", 3}, {&P_OBJECT_ROTATION, "Transform", 4},
    {&P_OBJECT_MATERIAL, "Material", 3},     {&P_LIGHT_LOCATION, "PointLight", 3},
    {&P_LIGHT_COLOR, "PointLight", 3},       {&P_LIGHT_INTENSITY, "PointLight", 1},
};

// The keywords the reader finds by substring search wherever they stand.
const std::string* const kSearchedKeywords[] = {
    &P_OBJECT,          &P_LIGHT,          &P_OBJECT_POINT, &P_OBJECT_COORDINDEX, &P_OBJECT_TRANSLATION,
    &P_OBJECT_ROTATION, &P_OBJECT_MATERIAL};

const char kNotFollowed[] = ", which the scene reader does not follow";

enum ListKind { kNoList, kPointList, kFaceList };

// A node opened with "{" (name: its type) or a list opened with "[" (name: its field).
struct Open {
  std::string name;
  bool list;
};

// Deeper than any real scene nests; a hostile file of brackets keeps the
// scan's memory bounded, only the depth is counted past it.
constexpr size_t kDeepestNesting = 1000;

// Where the scan stands after the tokens read so far.
struct Scan {
  std::vector<Open> open;
  size_t too_deep = 0;  // nodes and lists opened past kDeepestNesting
  // The last four words, newest first ("geometry DEF name IndexedFaceSet"):
  // a ring, so that a new word replaces the oldest in place.
  std::string words[4];
  unsigned newest = 0;
  const std::string& Word(unsigned back) const { return words[(newest + back) % 4]; }
  std::vector<std::string_view> tokens;  // of the current line
  bool in_string = false;
  ListKind list = kNoList;
  long long list_line = 0;
  int corners = 0;       // of the face being read
  int line_numbers = 0;  // list entries on the current line
  int line_faces = 0;    // faces ended on the current line
  int owed = -1;         // values a field on this line still takes; -1: no value field
  long long line = 0;
  LayoutBreak found{0, ""};
};

// Keeps the first construct found; later ones add nothing.
void Break(Scan& scan, const std::string& what) {
  if (scan.found.line == 0) scan.found = LayoutBreak{scan.line, what};
}

// VRML takes commas for blanks.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ','; }

// Inside a list every word that starts like a number is an entry.
bool IsNumber(std::string_view token) {
  char c = token[0];
  return std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.';
}

// The words and brackets of a line outside comments and strings, into tokens.
void Tokens(std::string_view line, bool& in_string, std::vector<std::string_view>& tokens) {
  tokens.clear();
  size_t start = std::string_view::npos;
  auto close = [&](size_t end) {
    if (start != std::string_view::npos) tokens.push_back(line.substr(start, end - start));
    start = std::string_view::npos;
  };
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (in_string) {
      if (c == '\\') i++;
      if (c == '"') in_string = false;
      continue;
    }
    if (c == '#') break;
    if (c == '"' || IsBlank(c) || c == '{' || c == '}' || c == '[' || c == ']') {
      close(i);
      if (c == '"') in_string = true;
      if (!IsBlank(c) && c != '"') tokens.push_back(line.substr(i, 1));
      continue;
    }
    if (start == std::string_view::npos) start = i;
  }
  close(line.size());
}

// How often the reader's substring search finds keyword on the line.
size_t CountOf(const std::string& line, const std::string& keyword) {
  size_t count = 0;
  for (size_t at = line.find(keyword); at != std::string::npos; at = line.find(keyword, at + 1)) count++;
  return count;
}

// The run of non-blank characters around position at.
std::string WordAround(const std::string& line, size_t at) {
  size_t begin = at;
  size_t end = at;
  while (begin > 0 && !IsBlank(line[begin - 1])) begin--;
  while (end < line.size() && !IsBlank(line[end])) end++;
  return line.substr(begin, std::min(end - begin, kShownWordLength));
}

// A keyword the reader would find on this line where it is not that field:
// inside another word ("Viewpoint"), a comment or a string.
void CheckSearchedKeywords(Scan& scan, const std::string& line, const std::vector<std::string_view>& tokens) {
  // Every keyword is a word of ASCII letters: a line of numbers holds none.
  auto letter = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
  if (std::none_of(line.begin(), line.end(), letter)) return;
  for (const std::string* keyword : kSearchedKeywords) {
    size_t as_field = 0;
    for (std::string_view token : tokens) as_field += token == *keyword;
    if (CountOf(line, *keyword) <= as_field) continue;
    std::string where = "in a comment or string";
    for (size_t at = line.find(*keyword); at != std::string::npos; at = line.find(*keyword, at + 1)) {
      std::string word = WordAround(line, at);
      if (word != *keyword) {
        where = "inside \"" + word + "\"";
        break;
      }
    }
    Break(scan, "has \"" + *keyword + "\" " + where + ", which the scene reader takes for a " + *keyword + " field");
    return;
  }
}

// True when a node of that type is open around the current token.
bool Contains(const std::vector<Open>& open, const std::string& node) {
  for (const Open& o : open) {
    if (!o.list && o.name == node) return true;
  }
  return false;
}

// The type of the innermost open node, or "" at the top level.
const std::string& EnclosingNode(const std::vector<Open>& open) {
  static const std::string none;
  for (auto o = open.rbegin(); o != open.rend(); ++o) {
    if (!o->list) return o->name;
  }
  return none;
}

// The reader counts one point or face per line from the line after "[".
void BreakListLayout(Scan& scan) {
  Break(scan, std::string("does not write each ") + (scan.list == kPointList ? "point" : "face") +
                  " on a line of its own, which the scene reader needs");
}

void Push(Scan& scan, const Open& open) {
  if (scan.open.size() < kDeepestNesting) {
    scan.open.push_back(open);
  } else {
    scan.too_deep++;
  }
}

// A "{": the node named by the word before it opens.
void OpenNode(Scan& scan) {
  const std::string& node = scan.Word(0);
  for (const char* grouping : kGroupingNodes) {
    if (node == grouping) Break(scan, "uses " + node + kNotFollowed);
  }
  if (node == "Transform" && Contains(scan.open, node)) {
    Break(scan, std::string("puts a Transform inside another Transform") + kNotFollowed);
  }
  const std::string& field = scan.Word(2) == "DEF" ? scan.Word(3) : scan.Word(1);
  if (field == P_OBJECT && node != "IndexedFaceSet") {
    Break(scan, "uses " + node + " geometry, which the scene reader does not read");
  }
  Push(scan, Open{node, false});
}

// A "[": the list of the field named by the word before it opens.
void OpenList(Scan& scan) {
  const std::string& field = scan.Word(0);
  if (field == P_OBJECT_POINT && EnclosingNode(scan.open) == "TextureCoordinate") {
    Break(scan, "gives texture coordinates, which the scene reader takes for points");
  }
  if (field == P_OBJECT_POINT) scan.list = kPointList;
  if (field == P_OBJECT_COORDINDEX) scan.list = kFaceList;
  scan.list_line = scan.line;
  scan.corners = 0;
  Push(scan, Open{field, true});
}

// A list ends at its "]", a node at its "}".
void Close(Scan& scan) {
  if (scan.too_deep > 0) {
    scan.too_deep--;
    return;
  }
  if (scan.open.empty()) return;
  if (scan.open.back().list && scan.list != kNoList) {
    bool entries_on_key_line = scan.list_line == scan.line && scan.line_numbers > 0;
    if (entries_on_key_line || (scan.list == kFaceList && scan.corners > 0)) BreakListLayout(scan);
    scan.list = kNoList;
  }
  scan.open.pop_back();
}

// A number of the point or face list being read.
void ListEntry(Scan& scan, std::string_view token) {
  scan.line_numbers++;
  if (scan.list == kPointList) {
    if (scan.line_numbers > 3) BreakListLayout(scan);
    return;
  }
  if (token == P_MINUSONE) {
    scan.corners = 0;
    if (++scan.line_faces > 1) BreakListLayout(scan);
    return;
  }
  if (++scan.corners > 3) Break(scan, "has faces with more than three corners, which the scene reader does not split");
}

// A value field starts owing its values; a token after them is a second field.
void CountFieldValues(Scan& scan, std::string_view token) {
  if (scan.owed > 0) {
    scan.owed--;
    return;
  }
  if (scan.owed == 0) Break(scan, "writes several fields on one line, which the scene reader does not separate");
  for (const ValueField& field : kValueFields) {
    if (token == *field.name && EnclosingNode(scan.open) == field.node) scan.owed = field.values;
  }
}

// Any token but a bracket; the last words name the nodes and fields that open.
void Word(Scan& scan, std::string_view token) {
  if (scan.list != kNoList && IsNumber(token)) {
    ListEntry(scan, token);
  } else if (token == "USE") {
    Break(scan, std::string("uses DEF/USE") + kNotFollowed);
  }
  scan.newest = (scan.newest + 3) % 4;
  scan.words[scan.newest].assign(token.data(), token.size());
}

// One line of the file; a list entry left open at its end breaks the layout.
void ScanLine(Scan& scan, const std::string& line) {
  Tokens(line, scan.in_string, scan.tokens);
  CheckSearchedKeywords(scan, line, scan.tokens);
  for (std::string_view token : scan.tokens) {
    CountFieldValues(scan, token);
    if (token == "{") {
      OpenNode(scan);
    } else if (token == "[") {
      OpenList(scan);
    } else if (token == "}" || token == "]") {
      Close(scan);
    } else {
      Word(scan, token);
    }
  }
  bool open_face = scan.list == kFaceList && scan.corners > 0;
  bool entries_on_key_line = scan.list != kNoList && scan.list_line == scan.line && scan.line_numbers > 0;
  if (open_face || entries_on_key_line) BreakListLayout(scan);
  scan.line_numbers = 0;
  scan.line_faces = 0;
  scan.owed = -1;
}

// True, with the break, when the file is compressed or in another format.
bool OtherFormat(Scan& scan, const std::string& first_line) {
  if (first_line.size() >= 2 && (unsigned char)first_line[0] == kGzipFirst &&
      (unsigned char)first_line[1] == kGzipSecond) {
    Break(scan, "is compressed (gzip), which the scene reader does not read");
    return true;
  }
  for (const char* header : kOtherHeaders) {
    if (first_line.rfind(header, 0) == 0) {
      Break(scan, std::string("is not VRML 2.0 but ") + header + ", which the scene reader does not read");
      return true;
    }
  }
  return false;
}

}  // namespace

LayoutBreak FindLayoutBreak(const std::string& filename) {
  std::ifstream file(filename, std::ios::binary);
  Scan scan;
  std::string line;
  while (scan.found.line == 0 && std::getline(file, line)) {
    scan.line++;
    if (scan.line == 1 && OtherFormat(scan, line)) break;
    ScanLine(scan, line);
  }
  return scan.found;
}
