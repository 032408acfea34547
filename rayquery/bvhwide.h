// Four-wide nodes made from the binary hierarchy: one node holds the node
// bounds of up to four children side by side, so that one four-lane test
// looks at all of them and a path from the root visits about half as many
// nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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
