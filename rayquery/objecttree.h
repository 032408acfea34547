// A hierarchy over the objects of a scene: bounds per object that hold every
// point at which one of its triangles can be accepted, so that the ray query
// looks only at the objects a ray can reach before the best hit so far.
#pragma once

#include <cstdint>
#include <vector>

#include "core/check.h"
#include "rayquery/boundsray.h"
#include "rayquery/bvhbounds.h"
#include "rayquery/bvhbuild.h"
#include "rayquery/bvhwide.h"
#include "scene/scene.h"

// The build halves the objects at every level, and an object count below
// 2^31 takes at most 32 levels; a wide node visited puts at most three
// children on the stack (the nearest is visited at once).
constexpr int kObjectTreeLevels = 32;
constexpr int kObjectTreeStack = 3 * kObjectTreeLevels + 4;

struct ObjectTree {
  const CV_object* objects;  // the scene's object array this was built from
  int32_t object_count;      // and its length: a mismatch makes the query visit every object
  float max_abs;             // largest coordinate magnitude of every box in the tree
  float origin_limit;        // rays whose origin has a larger coordinate visit every object
  // Node 0 is the root; a leaf (count 1) holds the member at slot `first`.
  std::vector<BvhNode> nodes;
  // The same tree four children to a node, which the walk visits.
  std::vector<WideNode> wide;
  std::vector<int32_t> members;                           // object index per slot
  std::vector<const Acceleration*> member_accelerations;  // the hierarchy each was boxed by
  // Objects without a box (no usable hierarchy, or triangles the hierarchy
  // tests on every query), visited on every query in index order.
  std::vector<int32_t> unboxed;
};

// The tree over the scene's objects as they are now, or null when the scene
// has fewer than eight objects it can box. Objects that no ray can hit are
// left out.
ObjectTree* BuildObjectTree(CV_scene scene);
void FreeObjectTree(ObjectTree* tree);

// True when the tree was built for this scene's objects and its boxes hold
// for the ray.
bool ObjectTreeAnswersRay(const ObjectTree& tree, CV_scene scene, const BvhRay& ray);

// Calls offer(slot) for each leaf the ray enters, nearest entry first among
// a node's children, skipping those it enters strictly after best_t (which
// offer may lower). Stops and returns false when offer returns false.
template <typename Offer>
bool VisitObjectsNearestFirst(const ObjectTree& tree, const BvhRay& ray, const float& best_t, Offer offer) {
  if (tree.wide.empty()) return true;
  BoundsRay r = PrepareBoundsRay(tree.max_abs, ray);
  float root_entry = 0;
  if (!RayEntersBounds(tree.nodes[0].lo, tree.nodes[0].hi, r, best_t, root_entry)) return true;
  const FourBoundsRay f = PrepareFourBoundsRay(r);
  const WideNode* nodes = tree.wide.data();
  Pending stack[kObjectTreeStack];
  int top = 0;
  int32_t current = 0;
  for (;;) {
    CORVANE_CHECK(current >= 0 && size_t(current) < tree.wide.size());
    const WideNode& node = nodes[current];
    float entry[4];
    int mask = RayEntersFourBounds(node, r, f, best_t, entry);
    int leaves = mask & LeafLanes(node);
    int inner = mask & ~leaves;
    while (leaves != 0) {
      int k = NearestLane(leaves, entry);
      leaves &= ~(1 << k);
      if (entry[k] <= best_t && !offer(node.first[k])) return false;
    }
    current = inner != 0 ? EnterInner(node, inner, entry, stack, top, kObjectTreeStack) : -1;
    if (current < 0) current = NextWaiting(stack, top, best_t);
    if (current < 0) return true;
  }
}
