// The binary nodes of a ray hierarchy: every box holds what lies below it,
// and the nodes are the same on any number of threads.
#include "rayquery/bvhnodes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "rayquery/bvhbuild.h"
#include "tests/random_meshes.h"

namespace {

// Items with random boxes of random sizes, and some that share a centre,
// which no binned split separates.
std::vector<BvhItem> RandomItems(int count, Random& random) {
  std::vector<BvhItem> items(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    BvhItem& item = items[size_t(k)];
    item = BvhItem{};
    vertex3f at = k % 50 == 0 ? vertex3f{0.5f, 0.5f, 0.5f} : random.Point(-100, 100);
    float size = random.Uniform(0, 2);
    const float centre[3] = {at.x, at.y, at.z};
    for (int i = 0; i < 3; ++i) {
      item.lo[i] = centre[i] - size;
      item.hi[i] = centre[i] + size;
      item.centre[i] = item.lo[i] * 0.5f + item.hi[i] * 0.5f;
    }
    item.triangle = k;
  }
  return items;
}

bool Holds(const BvhNode& outer, const float lo[3], const float hi[3]) {
  for (int i = 0; i < 3; ++i) {
    if (lo[i] < outer.lo[i] || hi[i] > outer.hi[i]) return false;
  }
  return true;
}

TEST(BvhNodes, EveryBoxHoldsItsChildrenAndItsLeafItems) {
  Random random(7);
  std::vector<BvhItem> items = RandomItems(5000, random);
  BvhNodes nodes = LayOutNodes(items, 1);
  ASSERT_GE(nodes.size(), 3u);
  std::vector<int> seen(items.size(), 0);
  for (size_t k = 0; k < nodes.size(); ++k) {
    if (k == 1) continue;  // unused, so that pairs start at even indices
    const BvhNode& node = nodes[k];
    if (node.count == 0) {
      ASSERT_EQ(node.first % 2, 0) << "node " << k;
      ASSERT_LT(size_t(node.first) + 1, nodes.size()) << "node " << k;
      for (int c = 0; c < 2; ++c) {
        const BvhNode& child = nodes[size_t(node.first + c)];
        EXPECT_TRUE(Holds(node, child.lo, child.hi)) << "node " << k << " child " << c;
      }
      continue;
    }
    for (int32_t s = node.first; s < node.first + node.count; ++s) {
      EXPECT_TRUE(Holds(node, items[size_t(s)].lo, items[size_t(s)].hi)) << "node " << k << " slot " << s;
      ++seen[size_t(s)];
    }
  }
  for (size_t s = 0; s < seen.size(); ++s) EXPECT_EQ(seen[s], 1) << "slot " << s;
}

TEST(BvhNodes, AreTheSameOnAnyNumberOfThreads) {
  Random random(11);
  const std::vector<BvhItem> original = RandomItems(40000, random);
  std::vector<BvhItem> one = original;
  BvhNodes alone = LayOutNodes(one, 1);
  for (unsigned threads : {2u, 3u, 8u}) {
    std::vector<BvhItem> many = original;
    BvhNodes shared = LayOutNodes(many, threads);
    ASSERT_EQ(shared.size(), alone.size()) << threads << " threads";
    EXPECT_EQ(std::memcmp(shared.data(), alone.data(), alone.size() * sizeof(BvhNode)), 0) << threads << " threads";
    EXPECT_EQ(std::memcmp(many.data(), one.data(), one.size() * sizeof(BvhItem)), 0) << threads << " threads";
  }
}

TEST(BvhNodes, NoItemsGiveNoNodes) {
  std::vector<BvhItem> none;
  EXPECT_TRUE(LayOutNodes(none, 4).empty());
}

}  // namespace
