// Writing a scene file in the one layout Corvane's reader accepts, which is
// also VRML 2.0: every field on a line of its own, in a fixed order.
#pragma once

#include <string>
#include <vector>

#include "import/model.h"

// The words the reader looks for as plain substrings of a line. The writer
// puts them only where the reader expects them: nowhere in names or comments.
const std::vector<std::string>& ReaderKeywords();

// A float as the shortest text that reads back as the same float with atof
// (up to nine significant digits, "1e-05" style for very small or large ones).
std::string SceneNumber(float value);

// A VRML name for a mesh: "Mesh", its position and, after "_", the model's
// name with every character but letters, digits and "_" replaced by "_" and
// every reader keyword taken out.
std::string DefName(size_t position, const std::string& name);

// The whole scene file: the header, a comment with the scale, the lights,
// then one Transform per mesh (translation 0 0 0, rotation 0 1 0 0).
std::string SceneText(const std::vector<CVImportMesh>& meshes, const std::vector<CV_light>& lights, double scale);

// Writes text to path; false, with error set to a whole message, when the file
// cannot be written.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);
