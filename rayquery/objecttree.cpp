#include "rayquery/objecttree.h"

#include <algorithm>
#include <cmath>

namespace {

// Scenes with fewer boxed objects get no tree: offering a handful of objects
// in order costs less than the tree's own box tests (a room with one sphere
// answered 5 to 15% more queries a second without it).
constexpr size_t kLeastMembers = 8;

// An object in the tree with its box and the box's centre, the key of the split.
struct Member {
  int32_t object;
  const Acceleration* acceleration;
  float lo[3];
  float hi[3];
  float centre[3];
};

void Cover(const Member* first, const Member* last, BvhNode& node) {
  for (int i = 0; i < 3; ++i) {
    node.lo[i] = first->lo[i];
    node.hi[i] = first->hi[i];
  }
  for (const Member* m = first; m != last; ++m) {
    for (int i = 0; i < 3; ++i) {
      node.lo[i] = std::min(node.lo[i], m->lo[i]);
      node.hi[i] = std::max(node.hi[i], m->hi[i]);
    }
  }
}

// Builds the node at `index` over members [begin, end): a leaf for one
// member, otherwise two children split at the median centre along the
// widest axis of the node's box. The halving bounds the depth.
void BuildNode(std::vector<Member>& members, int32_t begin, int32_t end, std::vector<BvhNode>& nodes, int32_t index) {
  BvhNode node{};
  Cover(members.data() + begin, members.data() + end, node);
  if (end - begin == 1) {
    node.first = begin;
    node.count = 1;
    nodes[size_t(index)] = node;
    return;
  }
  int axis = 0;
  for (int i = 1; i < 3; ++i) {
    if (node.hi[i] - node.lo[i] > node.hi[axis] - node.lo[axis]) axis = i;
  }
  int32_t middle = begin + (end - begin) / 2;
  std::nth_element(members.begin() + begin, members.begin() + middle, members.begin() + end,
                   [axis](const Member& p, const Member& q) {
                     if (p.centre[axis] != q.centre[axis]) return p.centre[axis] < q.centre[axis];
                     return p.object < q.object;
                   });
  node.first = int32_t(nodes.size());
  node.count = 0;
  nodes[size_t(index)] = node;
  nodes.push_back(BvhNode{});
  nodes.push_back(BvhNode{});
  BuildNode(members, begin, middle, nodes, node.first);
  BuildNode(members, middle, end, nodes, node.first + 1);
}

// Sorts the scene's objects into the tree's members and its unboxed list.
// A member's box is the root box of its hierarchy: every point at which the
// hierarchy's triangles can be accepted.
void SortObjects(CV_scene scene, ObjectTree& tree, std::vector<Member>& members) {
  for (int32_t i = 0; i < scene.object_count; ++i) {
    const Acceleration* a = UsableAcceleration(scene.objects[i]);
    if (a == nullptr || !a->unbounded_planes.empty()) {
      tree.unboxed.push_back(i);
      continue;
    }
    // No triangle the test can accept: no ray ever hits the object.
    if (a->nodes.empty()) continue;
    Member m{i, a, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    for (int k = 0; k < 3; ++k) {
      m.lo[k] = a->nodes[0].lo[k];
      m.hi[k] = a->nodes[0].hi[k];
      m.centre[k] = m.lo[k] * 0.5f + m.hi[k] * 0.5f;
    }
    tree.max_abs = std::max(tree.max_abs, a->max_abs);
    tree.origin_limit = std::min(tree.origin_limit, a->origin_limit);
    members.push_back(m);
  }
}

}  // namespace

ObjectTree* BuildObjectTree(CV_scene scene) {
  if (scene.object_count <= 0 || scene.objects == nullptr) return nullptr;
  ObjectTree* tree = new ObjectTree{};
  tree->objects = scene.objects;
  tree->object_count = scene.object_count;
  tree->max_abs = 0;
  tree->origin_limit = float(kLargestBoundedCoordinate);
  std::vector<Member> members;
  SortObjects(scene, *tree, members);
  if (members.size() < kLeastMembers) {
    delete tree;
    return nullptr;
  }
  tree->nodes.reserve(2 * members.size());
  tree->nodes.push_back(BvhNode{});
  BuildNode(members, 0, int32_t(members.size()), tree->nodes, 0);
  for (const Member& m : members) {
    tree->members.push_back(m.object);
    tree->member_accelerations.push_back(m.acceleration);
  }
  tree->wide = CollapseNodes(tree->nodes.data(), tree->nodes.size());
  return tree;
}

void FreeObjectTree(ObjectTree* tree) { delete tree; }

bool ObjectTreeAnswersRay(const ObjectTree& tree, CV_scene scene, const BvhRay& ray) {
  return tree.objects == scene.objects && tree.object_count == scene.object_count && ray.usable &&
         ray.origin_max_abs <= tree.origin_limit;
}
