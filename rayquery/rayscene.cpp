#include "rayquery/rayscene.h"

#include <limits>

#include "core/check.h"
#include "core/hints.h"
#include "core/raytriangle.h"
#include "rayquery/boundsray.h"
#include "rayquery/bvh.h"
#include "rayquery/objecttree.h"
#include "rayquery/reachbox.h"

namespace {

// Marks that no triangle of the object has been accepted yet. An accepted
// parameter is always above 0.0001, so it never equals the marker.
constexpr float kNoneAccepted = -1.0f;

}  // namespace

bool RayMeetsBox(vector3f ray, const CV_object& object) {
  for (int32_t k = 0; k < object.box_triangle_count; ++k) {
    float t = 0;
    vertex3f point{0, 0, 0};
    int result = IntersectionRayTriangle(ray, object.box_triangles[k], t, point);
    if (result == kRayFrontAhead || result == kRayBackAhead) return true;
  }
  return false;
}

bool ScanObject(vector3f ray, const CV_object& candidate, float& nearest, vertex3f& nearest_point,
                vector3f& nearest_normal) {
  nearest = kNoneAccepted;
  for (int32_t k = 0; k < candidate.triangle_count; ++k) {
    const CV_triangle& triangle = candidate.triangles[k];
    float t = 0;
    vertex3f point{0, 0, 0};
    // Surfaces are one-sided: only a front face ahead of the origin counts.
    if (IntersectionRayTriangle(ray, triangle, t, point) != kRayFrontAhead) continue;
    if (nearest == kNoneAccepted || t < nearest) {
      nearest = t;
      nearest_point = point;
      nearest_normal = TriNormale(triangle);
    }
  }
  return nearest != kNoneAccepted;
}

namespace {

// Offers object i to the best so far by a plain scan of its box and triangles.
CORVANE_NOINLINE void ScanAndOffer(const vector3f& ray, const CV_object& candidate, int32_t i, BestHit& best) {
  if (!RayMeetsBox(ray, candidate)) return;
  float nearest = 0;
  vertex3f point{0, 0, 0};
  vector3f triangle_normal = ZeroVector();
  if (!ScanObject(ray, candidate, nearest, point, triangle_normal)) return;
  bool before_best = best.object == -1 || i < best.object;
  if (best.object == -1 || nearest < best.t || (nearest == best.t && before_best)) {
    best = BestHit{nearest, i, -1, point, triangle_normal};
  }
}

// Offers object i to the best so far, through its hierarchy when it has one
// that answers the ray, by a plain scan otherwise. Objects may come in any
// order: a lower index than the best's wins a tie of t. Inline: most
// objects of most queries are ruled out by their reach box alone.
inline void OfferObject(const vector3f& ray, const BvhRay& prepared, const CV_scene& scene, int32_t i, BestHit& best) {
  CORVANE_CHECK(i >= 0 && i < scene.object_count);
  const CV_object& candidate = scene.objects[i];
  const Acceleration* a = prepared.usable ? UsableAcceleration(candidate) : nullptr;
  if (a == nullptr || !BvhAnswersRay(*a, prepared)) {
    ScanAndOffer(ray, candidate, i, best);
  } else if (!a->has_reach || BvhMayReach(*a, prepared, best.t)) {
    BvhOfferObject(*a, prepared, i, best);
  }
}

// Which objects a search leaves out: none, or all but one. As template
// arguments, so that the query that offers every object makes no test.
struct NoObjectLeftOut {
  bool operator()(int32_t) const { return false; }
};
struct ObjectLeftOut {
  int32_t object;
  bool operator()(int32_t i) const { return i == object; }
};

// Offers the objects without a box, then those of the tree nearest first,
// all but those left out; false when an object no longer has the hierarchy
// it was boxed by.
template <typename LeftOut>
bool OfferThroughTree(const vector3f& ray, const BvhRay& prepared, const CV_scene& scene, const ObjectTree& tree,
                      LeftOut left_out, BestHit& best) {
  for (int32_t i : tree.unboxed) {
    if (!left_out(i)) OfferObject(ray, prepared, scene, i, best);
  }
  return VisitObjectsNearestFirst(tree, prepared, best.t, [&](int32_t slot) {
    CORVANE_CHECK(slot >= 0 && size_t(slot) < tree.members.size());
    int32_t i = tree.members[size_t(slot)];
    if (UsableAcceleration(scene.objects[i]) != tree.member_accelerations[size_t(slot)]) return false;
    if (!left_out(i)) OfferObject(ray, prepared, scene, i, best);
    return true;
  });
}

template <typename LeftOut>
void OfferEveryObject(const vector3f& ray, const BvhRay& prepared, const CV_scene& scene, LeftOut left_out,
                      BestHit& best) {
  for (int32_t i = 0; i < scene.object_count; ++i) {
    if (!left_out(i)) OfferObject(ray, prepared, scene, i, best);
  }
}

constexpr BestHit kNoHit{std::numeric_limits<float>::infinity(), -1, -1, vertex3f{0, 0, 0}, {{0, 0, 0}, {0, 0, 0}}};

// The first front face among the objects not left out.
template <typename LeftOut>
BestHit FirstFrontFace(const vector3f& ray, const BvhRay& prepared, const CV_scene& scene, LeftOut left_out) {
  BestHit best = kNoHit;
  const ObjectTree* tree = scene.object_tree;
  if (tree == nullptr || !ObjectTreeAnswersRay(*tree, scene, prepared)) {
    OfferEveryObject(ray, prepared, scene, left_out, best);
  } else if (!OfferThroughTree(ray, prepared, scene, *tree, left_out, best)) {
    // The tree's walk stopped part way: start again without it.
    best = kNoHit;
    OfferEveryObject(ray, prepared, scene, left_out, best);
  }
  return best;
}

int Answer(const BestHit& best, vertex3f& hit, vector3f& normal, int& object) {
  if (best.object == -1) return 0;
  hit = best.hit;
  normal = best.normal;
  object = best.object;
  return 1;
}

}  // namespace

int IntersectionRaySceneEveryObject(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object) {
  BestHit best = kNoHit;
  OfferEveryObject(ray, PrepareBvhRay(ray), scene, NoObjectLeftOut{}, best);
  return Answer(best, hit, normal, object);
}

int IntersectionRayScene(vector3f ray, CV_scene scene, vertex3f& hit, vector3f& normal, int& object) {
  return Answer(FirstFrontFace(ray, PrepareBvhRay(ray), scene, NoObjectLeftOut{}), hit, normal, object);
}

bool MeetsAnotherObjectFirst(vector3f ray, CV_scene scene, int32_t object, RayQuery query) {
  if (query != IntersectionRayScene) {
    vertex3f hit{0, 0, 0};
    vector3f normal = ZeroVector();
    int found = -1;
    return query(ray, scene, hit, normal, found) == 1 && found != object;
  }
  // The best answer does not depend on the order the objects are offered
  // in, so `object` may come last, and only when another object answers.
  BvhRay prepared = PrepareBvhRay(ray);
  BestHit best = FirstFrontFace(ray, prepared, scene, ObjectLeftOut{object});
  if (best.object == -1) return false;
  if (object >= 0 && object < scene.object_count) OfferObject(ray, prepared, scene, object, best);
  return best.object != object;
}
