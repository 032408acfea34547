// Writing corvane.cfg for an imported scene.
#pragma once

#include <cstdint>
#include <string>

#include "core/camera.h"

// The text of corvane.cfg: the data set size, the light chance 0.5, the scene
// file name, no wireframe, and the camera and sensor blocks. Each point line
// ends in ";", since the settings reader keeps a point only when its third
// number is followed by a separator.
std::string SettingsText(uint32_t samples, const std::string& scene_file_name, const Camera& camera);

// A file name for the scene made from the model file's name: its stem in lower
// case with every character but letters, digits, "_" and "-" replaced by "_",
// and ".wrl" appended ("scene.wrl" when nothing is left). Lower case keeps the
// settings keys, which are upper case, out of the name.
std::string SceneFileName(const std::string& model_path);
