#include "rayquery/bvhwide.h"

#include <limits>

#include "core/check.h"
#include "rayquery/bvhbuild.h"

namespace {

constexpr int kLanes = 4;

double HalfArea(const BvhNode& node) {
  double x = double(node.hi[0]) - node.lo[0];
  double y = double(node.hi[1]) - node.lo[1];
  double z = double(node.hi[2]) - node.lo[2];
  return x * y + y * z + z * x;
}

// The binary nodes that become the lanes of the wide node over `inner`.
int OpenChildren(const BvhNode* nodes, int32_t inner, int32_t lanes[kLanes]) {
  int n = 2;
  lanes[0] = nodes[inner].first;
  lanes[1] = nodes[inner].first + 1;
  while (n < kLanes) {
    int widest = -1;
    for (int k = 0; k < n; ++k) {
      if (nodes[lanes[k]].count != 0) continue;
      if (widest < 0 || HalfArea(nodes[lanes[k]]) > HalfArea(nodes[lanes[widest]])) widest = k;
    }
    if (widest < 0) break;
    int32_t opened = lanes[widest];
    lanes[widest] = nodes[opened].first;
    lanes[n++] = nodes[opened].first + 1;
  }
  return n;
}

// A wide node whose first n lanes hold the binary nodes `lanes`.
WideNode MakeWideNode(const BvhNode* nodes, const int32_t* lanes, int n) {
  WideNode w;
  for (int k = 0; k < kLanes; ++k) {
    for (int i = 0; i < 3; ++i) {
      w.lo[i][k] = k < n ? nodes[lanes[k]].lo[i] : kInfinity;
      w.hi[i][k] = k < n ? nodes[lanes[k]].hi[i] : -kInfinity;
    }
    w.first[k] = k < n ? nodes[lanes[k]].first : 0;
    w.count[k] = k < n ? nodes[lanes[k]].count : kNoChild;
  }
  return w;
}

// Fills wide node `at` from the binary inner node `inner`, appending the
// wide nodes below it.
void Collapse(const BvhNode* nodes, int32_t inner, std::vector<WideNode>& wide, size_t at) {
  int32_t lanes[kLanes];
  int n = OpenChildren(nodes, inner, lanes);
  CORVANE_CHECK(n >= 2 && n <= kLanes);
  WideNode w = MakeWideNode(nodes, lanes, n);
  for (int k = 0; k < n; ++k) {
    if (w.count[k] != 0) continue;
    w.first[k] = int32_t(wide.size());
    wide.push_back(WideNode{});
  }
  wide[at] = w;
  for (int k = 0; k < n; ++k) {
    if (w.count[k] == 0) Collapse(nodes, lanes[k], wide, size_t(w.first[k]));
  }
}

}  // namespace

std::vector<WideNode> CollapseNodes(const BvhNode* nodes, size_t node_count) {
  std::vector<WideNode> wide;
  if (node_count == 0) return wide;
  wide.reserve(node_count / 2 + 1);
  wide.push_back(WideNode{});
  if (nodes[0].count != 0) {
    // A root leaf takes one lane.
    const int32_t root = 0;
    wide[0] = MakeWideNode(nodes, &root, 1);
    return wide;
  }
  Collapse(nodes, 0, wide, 0);
  return wide;
}
