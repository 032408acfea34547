#include "import/importer.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "core/version.h"
#include "import/coinloader.h"
#include "import/framing.h"
#include "import/memoryceiling.h"
#include "import/modelloader.h"
#include "import/options.h"
#include "import/placement.h"
#include "import/scenewriter.h"
#include "import/settingswriter.h"
#include "import/winding.h"

// Below about this width the sensor's finest cells come near the triangle
// test's absolute tolerance and the picture turns coarse.
constexpr float kNarrowSensor = 100.0f;

namespace {

// "1 light", "2 lights".
std::string Counted(long count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// The lights written and what became of the model's own: "2 lights: the
// model's 1 point light kept, 2 others left out, 1 added on the camera's side".
std::string LightSummary(long kept, long left_out, bool given) {
  std::string parts;
  if (given) parts = "given by --light, ";
  if (kept > 0) parts += "the model's " + Counted(kept, "point light") + (given ? " replaced, " : " kept, ");
  if (left_out > 0) {
    parts += (kept > 0 ? Counted(left_out, "other") : "the model's " + Counted(left_out, "light")) + " left out, ";
  }
  if (given) return "1 light: " + parts.substr(0, parts.size() - 2);
  if (parts.empty()) return "1 light: added on the camera's side, the model has none";
  return Counted(kept + 1, "light") + ": " + parts + "1 added on the camera's side";
}

// Reads the model with Coin when it is an Inventor or VRML file, otherwise
// with Assimp; either held to the memory ceiling.
bool LoadAnyModel(const CVImportOptions& options, CVImportModel& model, std::string& error) {
  const std::string& path = options.model_path;
  uint64_t ceiling = options.max_memory > 0 ? options.max_memory : DefaultMemoryCeiling();
  if (IsCoinModel(path)) return LoadCoinModel(path, options.z_up, ceiling, model, error);
  auto assimp = [&options](CVImportModel& m, std::string& e) {
    return LoadModel(options.model_path, options.z_up, m, e);
  };
  return LoadUnderCeiling(assimp, ceiling, path, model, error);
}

// Every point of the model's meshes, for the framing.
std::vector<vertex3f> ModelPoints(const std::vector<CVImportMesh>& meshes) {
  std::vector<vertex3f> points;
  for (const CVImportMesh& mesh : meshes) points.insert(points.end(), mesh.points.begin(), mesh.points.end());
  return points;
}

void WarnAboutWinding(const CVImportModel& model, const CVImportOptions& options, std::ostream& err) {
  const char* remedy = options.flip_winding ? "without" : "with";
  for (const CVImportMesh& mesh : model.meshes) {
    if (!FacesInward(mesh)) continue;
    err << "corvane-import: " << options.model_path << ": mesh \"" << mesh.name
        << "\" is closed but its triangles face inwards, so Corvane will show its inside instead of its outside;"
        << " if the whole model does this, import it again " << remedy << " --flip-winding\n";
  }
}

// Keeps the object count within what a sample can index (limit objects):
// meshes with equal materials are joined when there are too many. False when
// even that is not enough.
bool FitObjectLimit(std::vector<CVImportMesh>& meshes, size_t limit, const std::string& file, std::ostream& err,
                    std::ostream& warn) {
  if (meshes.size() <= limit) return true;
  size_t before = meshes.size();
  meshes = MergeMeshesByMaterial(meshes);
  if (meshes.size() > limit) {
    err << "corvane-import: " << file << ": " << meshes.size()
        << " meshes with different materials; a scene holds at most " << kMaxObjects << " objects, the room included\n";
    return false;
  }
  warn << "corvane-import: " << file << ": " << before << " meshes are more objects than a scene holds (" << kMaxObjects
       << ", the room included); meshes with equal materials joined into " << meshes.size() << "\n";
  return true;
}

// Writes the scene file and corvane.cfg into the output folder and says so on
// out; errors go to err. Returns a CVImportStatus.
int WriteSceneFiles(const CVImportOptions& options, const CVImportModel& model, const std::vector<CVImportMesh>& meshes,
                    const std::vector<CV_light>& lights, double scale, const Camera& camera, std::ostream& out,
                    std::ostream& err) {
  std::string scene_name = SceneFileName(options.model_path);
  std::filesystem::path folder(options.output_dir);
  std::error_code ignored;  // a folder that cannot be made shows as a file that cannot be written
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
  std::string scene_path = (folder / scene_name).string();
  std::string settings_path = (folder / "corvane.cfg").string();
  std::string error;
  if (!WriteTextFile(scene_path, SceneText(meshes, lights, scale), error) ||
      !WriteTextFile(settings_path, SettingsText(options.samples, scene_name, camera), error)) {
    err << error << "\n";
    return kImportNotWritten;
  }
  char scale_text[32];
  std::snprintf(scale_text, sizeof scale_text, "%.9g", scale);
  out << "corvane-import: wrote " << scene_path << " (" << Counted(long(meshes.size()), "object") << ", "
      << Counted(TriangleCount(meshes), "triangle") << "; "
      << LightSummary(long(model.lights.size()), model.lights_left_out, options.light_given) << "; scale " << scale_text
      << ") and " << settings_path << "\n";
  return kImportWritten;
}

// "x y z" of a point, for the verbose lines.
std::string PointText(vertex3f p) {
  char text[96];
  std::snprintf(text, sizeof text, "%.9g %.9g %.9g", double(p.x), double(p.y), double(p.z));
  return text;
}

// What -v adds: where the model went, where the camera stands, and the time.
void PrintPlacementAndCamera(const CVPlacement& placement, const Camera& camera, double seconds, std::ostream& err) {
  char numbers[160];
  std::snprintf(numbers, sizeof numbers, "scale %.9g, offset %.9g %.9g %.9g", placement.scale, placement.offset[0],
                placement.offset[1], placement.offset[2]);
  err << "corvane-import: placed with " << numbers << "; the model's box runs from " << PointText(placement.low)
      << " to " << PointText(placement.high) << "\n";
  err << "corvane-import: eye " << PointText(camera.eye) << ", looking at " << PointText(camera.center) << ", up "
      << PointText(camera.up) << "; sensor corners " << PointText(camera.ul) << "; " << PointText(camera.ur) << "; "
      << PointText(camera.dl) << "; " << PointText(camera.dr) << "\n";
  std::snprintf(numbers, sizeof numbers, "%.3f", seconds);
  err << "corvane-import: " << numbers << " s\n";
}

// The import after the options: reads, checks, places, frames and writes.
// Warnings go to err unless options.quiet.
int ImportModel(const CVImportOptions& options, std::ostream& out, std::ostream& err) {
  auto start = std::chrono::steady_clock::now();
  std::ostream silent(nullptr);
  std::ostream& warn = options.quiet ? silent : err;
  CVImportModel model;
  std::string error;
  bool loaded = LoadAnyModel(options, model, error);
  for (const std::string& warning : model.warnings) warn << warning << "\n";
  if (!loaded) {
    err << error << "\n";
    return kImportModelUnusable;
  }
  if (options.flip_winding) {
    for (CVImportMesh& mesh : model.meshes) FlipWinding(mesh);
  }
  WarnAboutWinding(model, options, warn);

  size_t object_limit = size_t(kMaxObjects) - (options.room ? 1 : 0);
  if (!FitObjectLimit(model.meshes, object_limit, options.model_path, err, warn)) return kImportModelUnusable;

  CVPlacement placement = PlaceModel(model, options.scale, options.size);
  // The model's own lights may stand where they leave what the camera sees
  // dark: a light on the camera's side goes with them.
  std::vector<CV_light> lights = model.lights;
  lights.push_back(LightOnCameraSide(placement.low, placement.high, options.view));
  if (options.light_given) lights = {CV_light{options.light, color3f{1.0f, 1.0f, 1.0f}, 1.0f}};

  std::vector<CVImportMesh> meshes;
  // The room is object 0: the eye may stand outside it, since hits on the
  // first object never hide a sample from the eye. It holds the lights too.
  if (options.room) meshes.push_back(MakeRoom(placement.low, placement.high, lights));
  meshes.insert(meshes.end(), model.meshes.begin(), model.meshes.end());

  Camera camera = FramePoints(ModelPoints(model.meshes), options.view);
  float sensor_width = VertexDistance(camera.ul, camera.dl);
  if (sensor_width < kNarrowSensor) {
    warn << "corvane-import: the sensor is only " << sensor_width << " scene units wide, so the picture will be coarse;"
         << " a larger --scale or --size helps\n";
  }
  std::ostream silent_out(nullptr);
  int status =
      WriteSceneFiles(options, model, meshes, lights, placement.scale, camera, options.quiet ? silent_out : out, err);
  if (status == kImportWritten && options.verbose) {
    PrintPlacementAndCamera(placement, camera,
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), err);
  }
  return status;
}

}  // namespace

int RunImport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CVImportOptions options;
  std::string error;
  CVOptionsResult parsed = ParseImportOptions(args, options, error);
  if (parsed == kOptionsHelp) {
    out << ImportUsage();
    return kImportWritten;
  }
  if (parsed == kOptionsVersion) {
    out << "corvane-import " << kCorvaneVersion << "\n";
    return kImportWritten;
  }
  if (parsed == kOptionsBad) {
    err << error << "\n";
    return kImportBadOptions;
  }
  return ImportModel(options, out, err);
}
