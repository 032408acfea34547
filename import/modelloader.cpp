#include "import/modelloader.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cmath>

namespace {

// Luminance weights of linear RGB: a grey surface keeps its value.
float Luminance(color3f c) {
  double y = 0.2126 * double(c.r) + 0.7152 * double(c.g) + 0.0722 * double(c.b);
  if (!std::isfinite(y)) return 0.0f;
  return float(std::clamp(y, 0.0, 1.0));
}

}  // namespace

CVImportMaterial ReaderMaterial(color3f diffuse, color3f specular, float shininess, float strength) {
  float kd = Luminance(diffuse);
  bool highlight = std::isfinite(shininess) && shininess > 0.0f;
  float ks = highlight ? Luminance(color3f{specular.r * strength, specular.g * strength, specular.b * strength}) : 0.0f;
  float n = highlight ? shininess : 1.0f;
  if (kd + ks > 1.0f) {
    double sum = double(kd) + double(ks);
    kd = float(double(kd) / sum);
    ks = float(double(ks) / sum);
    // The two quotients may still sum to a float just above 1.
    while (kd + ks > 1.0f) ks = std::nextafter(ks, 0.0f);
  }
  return CVImportMaterial{kd, ks, n};
}

namespace {

color3f MaterialColour(const aiMaterial* material, const char* key, unsigned type, unsigned index, color3f fallback) {
  aiColor3D c;
  if (material->Get(key, type, index, c) != AI_SUCCESS) return fallback;
  return color3f{c.r, c.g, c.b};
}

float MaterialFloat(const aiMaterial* material, const char* key, unsigned type, unsigned index, float fallback) {
  float value = 0.0f;
  if (material->Get(key, type, index, value) != AI_SUCCESS) return fallback;
  return value;
}

CVImportMaterial MaterialOf(const aiMaterial* material) {
  color3f diffuse = MaterialColour(material, AI_MATKEY_COLOR_DIFFUSE, color3f{0.8f, 0.8f, 0.8f});
  color3f specular = MaterialColour(material, AI_MATKEY_COLOR_SPECULAR, color3f{0.0f, 0.0f, 0.0f});
  float shininess = MaterialFloat(material, AI_MATKEY_SHININESS, 0.0f);
  float strength = MaterialFloat(material, AI_MATKEY_SHININESS_STRENGTH, 1.0f);
  return ReaderMaterial(diffuse, specular, shininess, strength);
}

vertex3f PlacedPoint(const aiMatrix4x4& transform, const aiVector3D& v, bool z_up) {
  aiVector3D p = transform * v;
  return TurnedUp(vertex3f{p.x, p.y, p.z}, z_up);
}

std::string Quoted(const aiString& name) { return std::string("\"") + name.C_Str() + "\""; }

// One mesh as placed by a node: triangles only, points compacted to those used.
void AddMeshInstance(const aiScene* scene, const aiMesh* source, const aiMatrix4x4& transform, bool z_up,
                     const std::string& file, CVImportModel& model) {
  if ((source->mPrimitiveTypes & aiPrimitiveType_TRIANGLE) == 0) {
    model.warnings.push_back("corvane-import: " + file + ": mesh " + Quoted(source->mName) +
                             " has no triangles (only points or lines); skipped");
    return;
  }
  // A mirroring transform turns counter-clockwise corners clockwise; swapping
  // two corners keeps each front on the side the model meant.
  bool mirrored = transform.Determinant() < 0.0f;
  CVImportMesh mesh;
  mesh.name = source->mName.C_Str();
  mesh.material = MaterialOf(scene->mMaterials[source->mMaterialIndex]);
  std::vector<int32_t> new_index(source->mNumVertices, -1);
  long dropped = 0;
  for (unsigned f = 0; f < source->mNumFaces; ++f) {
    const aiFace& face = source->mFaces[f];
    if (face.mNumIndices != 3) continue;
    vertex3f corner[3];
    for (int k = 0; k < 3; ++k) corner[k] = PlacedPoint(transform, source->mVertices[face.mIndices[k]], z_up);
    if (!IsFinitePoint(corner[0]) || !IsFinitePoint(corner[1]) || !IsFinitePoint(corner[2])) {
      ++dropped;
      continue;
    }
    CV_face out;
    for (int k = 0; k < 3; ++k) {
      unsigned v = face.mIndices[k];
      if (new_index[v] < 0) {
        new_index[v] = int32_t(mesh.points.size());
        mesh.points.push_back(corner[k]);
      }
      out.index[k] = new_index[v];
    }
    if (mirrored) std::swap(out.index[1], out.index[2]);
    mesh.faces.push_back(out);
  }
  if (dropped > 0) {
    model.warnings.push_back("corvane-import: " + file + ": mesh " + Quoted(source->mName) + ": " +
                             std::to_string(dropped) +
                             " triangles with a corner that is not a finite number; left out");
  }
  if (mesh.faces.empty()) {
    model.warnings.push_back("corvane-import: " + file + ": mesh " + Quoted(source->mName) +
                             " has no usable triangles; skipped");
    return;
  }
  model.meshes.push_back(mesh);
}

void AddNode(const aiScene* scene, const aiNode* node, const aiMatrix4x4& parent, bool z_up, const std::string& file,
             CVImportModel& model) {
  aiMatrix4x4 transform = parent * node->mTransformation;
  for (unsigned i = 0; i < node->mNumMeshes; ++i) {
    AddMeshInstance(scene, scene->mMeshes[node->mMeshes[i]], transform, z_up, file, model);
  }
  for (unsigned i = 0; i < node->mNumChildren; ++i) AddNode(scene, node->mChildren[i], transform, z_up, file, model);
}

aiMatrix4x4 NodeTransform(const aiNode* node) {
  aiMatrix4x4 transform;
  for (; node != nullptr; node = node->mParent) transform = node->mTransformation * transform;
  return transform;
}

void AddLights(const aiScene* scene, bool z_up, const std::string& file, CVImportModel& model) {
  for (unsigned i = 0; i < scene->mNumLights; ++i) {
    const aiLight* light = scene->mLights[i];
    if (light->mType != aiLightSource_POINT) {
      model.warnings.push_back("corvane-import: " + file + ": light " + Quoted(light->mName) +
                               " is not a point light; Corvane has point lights only, so it is left out");
      ++model.lights_left_out;
      continue;
    }
    const aiNode* node = scene->mRootNode->FindNode(light->mName);
    aiMatrix4x4 transform = node != nullptr ? NodeTransform(node) : aiMatrix4x4();
    vertex3f location = PlacedPoint(transform, light->mPosition, z_up);
    if (!IsFinitePoint(location)) {
      model.warnings.push_back("corvane-import: " + file + ": light " + Quoted(light->mName) +
                               " has a position that is not a finite number; left out");
      ++model.lights_left_out;
      continue;
    }
    aiColor3D c = light->mColorDiffuse;
    model.lights.push_back(CV_light{location, LightHue(color3f{c.r, c.g, c.b}), 1.0f});
  }
}

}  // namespace

bool LoadModel(const std::string& path, bool z_up, CVImportModel& model, std::string& error) {
  Assimp::Importer importer;
  const unsigned steps =
      aiProcess_Triangulate | aiProcess_JoinIdenticalVertices | aiProcess_SortByPType | aiProcess_ValidateDataStructure;
  const aiScene* scene = importer.ReadFile(path, steps);
  if (scene == nullptr || scene->mRootNode == nullptr) {
    error = "corvane-import: cannot read the model " + path + ": " + importer.GetErrorString();
    return false;
  }
  model = CVImportModel{};
  AddNode(scene, scene->mRootNode, aiMatrix4x4(), z_up, path, model);
  AddLights(scene, z_up, path, model);
  if (model.meshes.empty()) {
    error = "corvane-import: the model " + path + " holds no triangles, so there is nothing to trace";
    return false;
  }
  return true;
}
