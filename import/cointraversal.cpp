#include "import/cointraversal.h"

#include <Inventor/SbMatrix.h>
#include <Inventor/SoPath.h>
#include <Inventor/SoPrimitiveVertex.h>
#include <Inventor/VRMLnodes/SoVRMLLight.h>
#include <Inventor/VRMLnodes/SoVRMLPointLight.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/elements/SoLazyElement.h>
#include <Inventor/fields/SoMFInt32.h>
#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFNode.h>
#include <Inventor/nodes/SoLight.h>
#include <Inventor/nodes/SoPointLight.h>
#include <Inventor/nodes/SoShape.h>

#include <cstring>
#include <map>
#include <tuple>
#include <utility>

#include "import/modelloader.h"

// Coin's shininess runs from 0 to 1; its own lighting raises the cosine to
// 128 times it, which is what the reader's exponent n means.
constexpr double kCoinShininessScale = 128.0;

namespace {

using PositionKey = std::tuple<float, float, float>;

// What the traversal of one file builds, and where it stands.
struct CoinTraversal {
  bool z_up = false;
  std::string file;
  CVImportModel* model = nullptr;
  // The shape being traversed: its meshes by material, the points of each
  // mesh by position, whether its corners are swapped and how many
  // triangles it gave.
  std::string shape_name;
  std::map<std::tuple<float, float, float>, size_t> mesh_of_material;
  std::map<size_t, std::map<PositionKey, int32_t>> point_of_position;
  bool swap_corners = false;
  bool skipped = false;  // its indices refer beyond its points
  long shape_triangles = 0;
  long not_finite = 0;  // triangles left out over the whole file
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The name of the nearest named node on the path to the current node: the
// shape's own DEF name, else that of the Transform or group around it.
std::string NearestName(SoCallbackAction* action) {
  const SoPath* path = action->getCurPath();
  for (int i = path->getLength() - 1; i >= 0; --i) {
    SbName name = path->getNode(i)->getName();
    if (name.getLength() > 0) return name.getString();
  }
  return "";
}

// The point times the model matrix, in double (Coin's matrices act on row
// vectors), rounded to float once.
vertex3f WorldPoint(const SbMatrix& m, const SbVec3f& p) {
  double in[3] = {double(p[0]), double(p[1]), double(p[2])};
  double out[4];
  for (int j = 0; j < 4; ++j) {
    out[j] = in[0] * double(m[0][j]) + in[1] * double(m[1][j]) + in[2] * double(m[2][j]) + double(m[3][j]);
  }
  return vertex3f{float(out[0] / out[3]), float(out[1] / out[3]), float(out[2] / out[3])};
}

// True when the shape's corners run clockwise around its fronts.
bool Clockwise(SoCallbackAction* action, const SoNode* shape) {
  if (action->getVertexOrdering() == SoShapeHints::CLOCKWISE) return true;
  // VRML 97 shapes carry the order in their own field.
  SoField* ccw = shape->getField("ccw");
  return ccw != nullptr && ccw->isOfType(SoSFBool::getClassTypeId()) && !static_cast<SoSFBool*>(ccw)->getValue();
}

// The points a shape's coordinate indices may refer to: those of its own
// coord node (VRML 97; none without one), of its vertexProperty node when
// that has any, else those of the traversal state.
int32_t CoordinateCount(SoCallbackAction* action, const SoNode* shape) {
  for (const char* name : {"coord", "vertexProperty"}) {
    SoField* field = shape->getField(name);
    if (field == nullptr || !field->isOfType(SoSFNode::getClassTypeId())) continue;
    SoNode* node = static_cast<SoSFNode*>(field)->getValue();
    SoField* points = node == nullptr ? nullptr : node->getField(std::strcmp(name, "coord") == 0 ? "point" : "vertex");
    int32_t count = points != nullptr && points->isOfType(SoMField::getClassTypeId())
                        ? static_cast<SoMField*>(points)->getNum()
                        : 0;
    if (std::strcmp(name, "coord") == 0 || count > 0) return count;
  }
  return action->getNumCoordinates();
}

// The first coordinate index that is neither -1 (the end of a face) nor
// below count; true when there is one. Coin would read past its points.
bool IndexBeyondPoints(const SoNode* shape, int32_t count, int32_t& index) {
  SoField* field = shape->getField("coordIndex");
  if (field == nullptr || !field->isOfType(SoMFInt32::getClassTypeId())) return false;
  const SoMFInt32& indices = *static_cast<SoMFInt32*>(field);
  for (int i = 0; i < indices.getNum(); ++i) {
    index = indices[i];
    if (index != -1 && (index < 0 || index >= count)) return true;
  }
  return false;
}

SoCallbackAction::Response StartShape(void* data, SoCallbackAction* action, const SoNode* shape) {
  CoinTraversal& t = *static_cast<CoinTraversal*>(data);
  t.shape_name = NearestName(action);
  t.mesh_of_material.clear();
  t.point_of_position.clear();
  bool mirrored = action->getModelMatrix().det3() < 0.0f;
  t.swap_corners = mirrored != Clockwise(action, shape);
  t.shape_triangles = 0;
  int32_t count = CoordinateCount(action, shape);
  int32_t index = 0;
  t.skipped = IndexBeyondPoints(shape, count, index);
  if (!t.skipped) return SoCallbackAction::CONTINUE;
  t.model->warnings.push_back("corvane-import: " + t.file + ": shape " + Quoted(t.shape_name) + " (" +
                              shape->getTypeId().getName().getString() + ") refers to point " + std::to_string(index) +
                              " of " + std::to_string(count) + "; skipped");
  return SoCallbackAction::PRUNE;
}

SoCallbackAction::Response EndShape(void* data, SoCallbackAction*, const SoNode* shape) {
  CoinTraversal& t = *static_cast<CoinTraversal*>(data);
  if (t.shape_triangles == 0 && !t.skipped) {
    t.model->warnings.push_back("corvane-import: " + t.file + ": shape " + Quoted(t.shape_name) + " (" +
                                shape->getTypeId().getName().getString() + ") has no triangles; skipped");
  }
  return SoCallbackAction::CONTINUE;
}

// The material of the state's index-th colour; an index beyond the colours
// (a broken colorIndex or materialIndex) takes the first.
CVImportMaterial CurrentMaterial(SoCallbackAction* action, int index) {
  int32_t colours = SoLazyElement::getInstance(action->getState())->getNumDiffuse();
  if (index < 0 || index >= colours) index = 0;
  SbColor ambient, diffuse, specular, emission;
  float shininess = 0.0f, transparency = 0.0f;
  action->getMaterial(ambient, diffuse, specular, emission, shininess, transparency, index);
  float exponent = float(kCoinShininessScale * double(shininess));
  return ReaderMaterial(color3f{diffuse[0], diffuse[1], diffuse[2]}, color3f{specular[0], specular[1], specular[2]},
                        exponent, 1.0f);
}

// The mesh of the current shape with this material, made on first use.
size_t MeshFor(CoinTraversal& t, CVImportMaterial material) {
  auto key = std::make_tuple(material.diffuse, material.specular, material.exponent);
  auto found = t.mesh_of_material.find(key);
  if (found != t.mesh_of_material.end()) return found->second;
  t.model->meshes.push_back(CVImportMesh{t.shape_name, material, {}, {}});
  size_t mesh = t.model->meshes.size() - 1;
  t.mesh_of_material.emplace(key, mesh);
  return mesh;
}

int32_t PointIndex(CoinTraversal& t, size_t mesh, vertex3f p) {
  std::vector<vertex3f>& points = t.model->meshes[mesh].points;
  auto inserted = t.point_of_position[mesh].emplace(std::make_tuple(p.x, p.y, p.z), int32_t(points.size()));
  if (inserted.second) points.push_back(p);
  return inserted.first->second;
}

// Every vertex of the triangle carries the material of the first corner.
void AddTriangle(void* data, SoCallbackAction* action, const SoPrimitiveVertex* v1, const SoPrimitiveVertex* v2,
                 const SoPrimitiveVertex* v3) {
  CoinTraversal& t = *static_cast<CoinTraversal*>(data);
  ++t.shape_triangles;
  const SbMatrix& matrix = action->getModelMatrix();
  const SoPrimitiveVertex* corners[3] = {v1, v2, v3};
  vertex3f p[3];
  for (int k = 0; k < 3; ++k) p[k] = TurnedUp(WorldPoint(matrix, corners[k]->getPoint()), t.z_up);
  if (!IsFinitePoint(p[0]) || !IsFinitePoint(p[1]) || !IsFinitePoint(p[2])) {
    ++t.not_finite;
    return;
  }
  size_t mesh = MeshFor(t, CurrentMaterial(action, v1->getMaterialIndex()));
  CV_face face{{PointIndex(t, mesh, p[0]), PointIndex(t, mesh, p[1]), PointIndex(t, mesh, p[2])}};
  if (t.swap_corners) std::swap(face.index[1], face.index[2]);
  t.model->meshes[mesh].faces.push_back(face);
}

// "a spot light", from the type's name, which is the same for the Inventor
// and the VRML 97 node of a kind.
std::string LightKind(const SoNode* light) {
  std::string type = light->getTypeId().getName().getString();
  if (type.find("Directional") != std::string::npos) return "a directional light";
  if (type.find("Spot") != std::string::npos) return "a spot light";
  return "not a point light";
}

// Point lights that are on become lights; every other light is left out.
SoCallbackAction::Response AddLight(void* data, SoCallbackAction* action, const SoNode* light) {
  CoinTraversal& t = *static_cast<CoinTraversal*>(data);
  std::string where = "corvane-import: " + t.file + ": light " + Quoted(light->getName().getString()) + " (" +
                      light->getTypeId().getName().getString() + ")";
  const SoSFVec3f* location = nullptr;
  const SoSFBool* on = nullptr;
  const SoSFColor* colour = nullptr;
  if (light->isOfType(SoPointLight::getClassTypeId())) {
    const SoPointLight* point = static_cast<const SoPointLight*>(light);
    location = &point->location, on = &point->on, colour = &point->color;
  } else if (light->isOfType(SoVRMLPointLight::getClassTypeId())) {
    const SoVRMLPointLight* point = static_cast<const SoVRMLPointLight*>(light);
    location = &point->location, on = &point->on, colour = &point->color;
  }
  std::string reason;
  vertex3f p{0, 0, 0};
  if (location == nullptr) {
    reason = " is " + LightKind(light) + "; Corvane has point lights only, so it is left out";
  } else if (!on->getValue()) {
    reason = " is switched off; left out";
  } else {
    p = TurnedUp(WorldPoint(action->getModelMatrix(), location->getValue()), t.z_up);
    if (!IsFinitePoint(p)) reason = " has a position that is not a finite number; left out";
  }
  if (!reason.empty()) {
    t.model->warnings.push_back(where + reason);
    ++t.model->lights_left_out;
    return SoCallbackAction::CONTINUE;
  }
  const SbColor& c = colour->getValue();
  t.model->lights.push_back(CV_light{p, LightHue(color3f{c[0], c[1], c[2]}), 1.0f});
  return SoCallbackAction::CONTINUE;
}

}  // namespace

void AddSceneGraph(SoNode* root, bool z_up, const std::string& file, CVImportModel& model) {
  CoinTraversal traversal;
  traversal.z_up = z_up;
  traversal.file = file;
  traversal.model = &model;
  SoCallbackAction action;
  action.addPreCallback(SoShape::getClassTypeId(), StartShape, &traversal);
  action.addPostCallback(SoShape::getClassTypeId(), EndShape, &traversal);
  action.addTriangleCallback(SoShape::getClassTypeId(), AddTriangle, &traversal);
  action.addPreCallback(SoLight::getClassTypeId(), AddLight, &traversal);
  action.addPreCallback(SoVRMLLight::getClassTypeId(), AddLight, &traversal);
  action.apply(root);
  if (traversal.not_finite > 0) {
    model.warnings.push_back("corvane-import: " + file + ": " + std::to_string(traversal.not_finite) +
                             " triangles with a corner that is not a finite number; left out");
  }
}
