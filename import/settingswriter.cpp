#include "import/settingswriter.h"

#include <cctype>
#include <filesystem>

#include "config/settings.h"
#include "import/scenewriter.h"

namespace {

std::string PointLine(vertex3f p) {
  return SceneNumber(p.x) + " " + SceneNumber(p.y) + " " + SceneNumber(p.z) + P_SEMICOLON + "\n";
}

}  // namespace

std::string SettingsText(uint32_t samples, const std::string& scene_file_name, const Camera& camera) {
  std::string text;
  text += P_DATASETSIZE + "=" + std::to_string(samples) + P_SEMICOLON + "\n";
  text += P_LIGHTCHANCE + "=0.5" + P_SEMICOLON + "\n";
  text += P_SCENEFILENAME + "=" + scene_file_name + P_SEMICOLON + "\n";
  text += P_WIREFRAME + "=0" + P_SEMICOLON + "\n";
  text += P_CAMERAPOSITION + "\n";
  text += PointLine(camera.eye) + PointLine(camera.center) + PointLine(camera.up);
  text += P_SENSORPOSITION + "\n";
  text += PointLine(camera.ul) + PointLine(camera.ur) + PointLine(camera.dl) + PointLine(camera.dr);
  return text;
}

std::string SceneFileName(const std::string& model_path) {
  std::string stem = std::filesystem::path(model_path).stem().string();
  std::string name;
  for (char c : stem) {
    unsigned char u = static_cast<unsigned char>(c);
    name += (std::isalnum(u) || c == '_' || c == '-') ? char(std::tolower(u)) : '_';
  }
  if (name.empty()) name = "scene";
  return name + ".wrl";
}
