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
#include "scene/scene.h"

// One entry per level of the deepest path: the build halves the objects at
// every level, and an object count below 2^31 takes at most 32 levels.
constexpr int kObjectTreeStack = 64;

struct ObjectTree {
  const CV_object* objects;  // the scene's object array this was built from
  int32_t object_count;      // and its length: a mismatch makes the query visit every object
  float max_abs;             // largest coordinate magnitude of every box in the tree
  float origin_limit;        // rays whose origin has a larger coordinate visit every object
  // Node 0 is the root; a leaf (count 1) holds the member at slot `first`.
  std::vector<BvhNode> nodes;
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

// Calls offer(slot) for each leaf the ray enters, nearest entry first,
// skipping those it enters strictly after best_t (which offer may lower).
// Stops and returns false when offer returns false.
template <typename Offer>
bool VisitObjectsNearestFirst(const ObjectTree& tree, const BvhRay& ray, const float& best_t, Offer offer) {
  if (tree.nodes.empty()) return true;
  const BvhNode* nodes = tree.nodes.data();
  BoundsRay r = PrepareBoundsRay(tree.max_abs, ray);
  float entry = 0;
  if (!RayEntersBounds(nodes[0].lo, nodes[0].hi, r, best_t, entry)) return true;
  struct Pending {
    int32_t node;
    float entry;
  };
  Pending stack[kObjectTreeStack];
  int top = 0;
  int32_t current = 0;
  for (;;) {
    CORVANE_CHECK(current >= 0 && size_t(current) < tree.nodes.size());
    const BvhNode& node = nodes[current];
    if (node.count == 0) {
      float entry_left = 0;
      float entry_right = 0;
      bool left = RayEntersBounds(nodes[node.first].lo, nodes[node.first].hi, r, best_t, entry_left);
      bool right = RayEntersBounds(nodes[node.first + 1].lo, nodes[node.first + 1].hi, r, best_t, entry_right);
      if (left && right) {
        bool right_first = entry_right < entry_left;
        CORVANE_CHECK(top < kObjectTreeStack);
        stack[top++] = right_first ? Pending{node.first, entry_left} : Pending{node.first + 1, entry_right};
        current = right_first ? node.first + 1 : node.first;
        continue;
      }
      if (left || right) {
        current = left ? node.first : node.first + 1;
        continue;
      }
    } else if (!offer(node.first)) {
      return false;
    }
    current = -1;
    while (top > 0 && current < 0) {
      Pending next = stack[--top];
      if (next.entry <= best_t) current = next.node;
    }
    if (current < 0) return true;
  }
}
