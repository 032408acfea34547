// The binary nodes of an object's ray hierarchy: a binned surface-area split
// over the triangles' acceptance bounds, built on several threads into the
// very nodes one thread lays out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/vecmath.h"
#include "rayquery/bvhbuild.h"

// A triangle's acceptance bounds, four lanes wide (the fourth is 0), their
// centre and the triangle's index in its object.
struct alignas(16) BvhItem {
  float lo[4];
  float hi[4];
  float centre[3];
  int32_t triangle;
};

using BvhNodes = std::vector<BvhNode, CacheLineAllocator<BvhNode>>;

// Widens lo..hi to hold add_lo..add_hi.
inline void Grow(float lo[3], float hi[3], const float add_lo[3], const float add_hi[3]) {
  for (int i = 0; i < 3; ++i) {
    lo[i] = std::min(lo[i], add_lo[i]);
    hi[i] = std::max(hi[i], add_hi[i]);
  }
}

// The empty box, which any Grow replaces.
inline void Empty(float lo[3], float hi[3]) {
  for (int i = 0; i < 3; ++i) {
    lo[i] = kInfinity;
    hi[i] = -kInfinity;
  }
}

// The nodes over the items, which it puts in leaf order: the root, then an
// unused node, so that every pair of children starts at an even index.
// Subtrees are split on up to `threads` threads; nodes and order are the
// same for any number.
BvhNodes LayOutNodes(std::vector<BvhItem>& items, unsigned threads);
