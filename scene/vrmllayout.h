// Which VRML the scene reader's line layout covers. The reader finds its
// fields by substring search, one field or list entry per line, in the order
// a plain Transform > Shape > IndexedFaceSet writes them; a file from another
// program often holds constructs that it misreads without noticing. This scan
// finds the first of them so that the user can be told to convert the file.
#pragma once

#include <string>

// The first construct outside the layout: its 1-based line and what it is,
// worded to follow "this file " ("uses DEF/USE, which the scene reader does
// not follow"). Line 0 when the file keeps to the layout.
struct LayoutBreak {
  long long line;
  std::string what;
};

// Scans the named file; a file that cannot be opened gives line 0.
LayoutBreak FindLayoutBreak(const std::string& filename);
