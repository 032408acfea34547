// Four-wide nodes made from the binary hierarchy: one node holds the node
// bounds of up to four children side by side, so that one four-lane test
// looks at all of them and a path from the root visits about half as many
// nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bits.h"
#include "core/check.h"

struct BvhNode;

// A lane without a child; its box never lets a ray in.
constexpr int32_t kNoChild = -1;

struct alignas(64) WideNode {
  float lo[3][4];    // per axis, the four children's lower faces
  float hi[3][4];    // and their upper faces
  int32_t first[4];  // inner child: its wide node; leaf: its first slot
  int32_t count[4];  // 0 for an inner child, the leaf's slots, or kNoChild
};

// The four-wide nodes over the binary nodes (node 0 the root, children side
// by side as the build lays them out); empty for an empty hierarchy. A wide
// node takes the binary node's two children and opens the one of largest
// surface until it has four; leaves keep their slots.
std::vector<WideNode> CollapseNodes(const BvhNode* nodes, size_t node_count);

// A wide node waiting on a walk's stack, with the parameter at which the
// ray enters it.
struct Pending {
  int32_t node;
  float entry;
};

// The lane of the nearest entry among the lanes in bits (not empty).
inline int NearestLane(int bits, const float entry[4]) {
  int nearest = LowestSetBit(unsigned(bits));
  for (bits &= bits - 1; bits != 0; bits &= bits - 1) {
    int k = LowestSetBit(unsigned(bits));
    if (entry[k] < entry[nearest]) nearest = k;
  }
  return nearest;
}

// The nearest of the inner children in bits (not empty), to be visited
// next; the others wait on the stack (of `capacity` entries) with their entries.
inline int32_t EnterInner(const WideNode& node, int bits, const float entry[4], Pending* stack, int& top,
                          int capacity) {
  int nearest = NearestLane(bits, entry);
  for (bits &= ~(1 << nearest); bits != 0; bits &= bits - 1) {
    int k = LowestSetBit(unsigned(bits));
    CORVANE_CHECK(top < capacity);
    stack[top++] = Pending{node.first[k], entry[k]};
  }
  return node.first[nearest];
}

// The next waiting node that the best so far does not rule out (it is
// skipped only when it starts strictly beyond best_t), or -1.
inline int32_t NextWaiting(const Pending* stack, int& top, float best_t) {
  while (top > 0) {
    Pending next = stack[--top];
    if (next.entry <= best_t) return next.node;
  }
  return -1;
}
