#include "rayquery/bvhnodes.h"

#include <algorithm>
#include <limits>
#include <system_error>
#include <thread>

#include "core/lanes.h"

namespace {

// Leaves hold kLeafSize triangles, or up to kLargestLeaf when the
// surface-area estimate finds no split worth its cost.
constexpr int kLeafSize = 1;
constexpr int kLargestLeaf = 8;
constexpr int kBins = 16;
// Smaller subtrees are not worth a thread of their own.
constexpr int32_t kItemsPerThread = 4096;

double HalfArea(const float lo[3], const float hi[3]) {
  double x = double(hi[0]) - lo[0];
  double y = double(hi[1]) - lo[1];
  double z = double(hi[2]) - lo[2];
  return x * y + y * z + z * x;
}

// The box of a run of items and the box of their centres.
struct ItemBounds {
  Lanes4f lo;
  Lanes4f hi;
  float centre_lo[3];
  float centre_hi[3];
};

// Lane by lane as Grow: Min(add, lo) keeps lo unless add is below it.
inline void GrowLanes(Lanes4f& lo, Lanes4f& hi, Lanes4f add_lo, Lanes4f add_hi) {
  lo = Min(add_lo, lo);
  hi = Max(add_hi, hi);
}

void EmptyBounds(ItemBounds& box) {
  box.lo = Broadcast4f(kInfinity);
  box.hi = Broadcast4f(-kInfinity);
  Empty(box.centre_lo, box.centre_hi);
}

inline void AddItem(ItemBounds& box, const BvhItem& item) {
  GrowLanes(box.lo, box.hi, Load4f(item.lo), Load4f(item.hi));
  Grow(box.centre_lo, box.centre_hi, item.centre, item.centre);
}

ItemBounds BoundItems(const std::vector<BvhItem>& items, int32_t begin, int32_t end) {
  ItemBounds box;
  EmptyBounds(box);
  for (int32_t k = begin; k < end; ++k) AddItem(box, items[size_t(k)]);
  return box;
}

double HalfArea(Lanes4f lo, Lanes4f hi) {
  alignas(16) float l[4];
  alignas(16) float h[4];
  Store(l, lo);
  Store(h, hi);
  return HalfArea(l, h);
}

// The bin of a centre on an axis whose centres start at low, kBins per scale.
int BinOf(float centre, double low, double scale) { return std::min(kBins - 1, int((double(centre) - low) * scale)); }

// The cheapest binned split found so far: items in bins up to `bin` on `axis` go left.
struct BinnedSplit {
  int axis = -1;
  int bin = -1;
  double cost = std::numeric_limits<double>::infinity();
};

// The items of each bin on one axis: their number and, for a bin that has
// any, their box.
struct Bins {
  int32_t count[kBins];
  Lanes4f lo[kBins];
  Lanes4f hi[kBins];
};

// Sweeps the bins of one axis from both ends and keeps in best the split
// whose surface-area cost is lowest (the first of equal ones). Only the
// bins that hold items are looked at: past an empty bin the two sides and
// the cost stay as they were, and the first bin of equal costs is kept.
void SweepBins(const Bins& bins, int axis, BinnedSplit& best) {
  int occupied[kBins];
  int m = 0;
  for (int b = 0; b < kBins; ++b) {
    if (bins.count[b] > 0) occupied[m++] = b;
  }
  // Of the bins after occupied[j]: their box's half area and their items.
  double right_area[kBins];
  int32_t right_count[kBins];
  Lanes4f lo = Broadcast4f(kInfinity);
  Lanes4f hi = Broadcast4f(-kInfinity);
  int32_t n = 0;
  for (int j = m - 1; j > 0; --j) {
    GrowLanes(lo, hi, bins.lo[occupied[j]], bins.hi[occupied[j]]);
    n += bins.count[occupied[j]];
    right_area[j - 1] = HalfArea(lo, hi);
    right_count[j - 1] = n;
  }
  lo = Broadcast4f(kInfinity);
  hi = Broadcast4f(-kInfinity);
  n = 0;
  for (int j = 0; j + 1 < m; ++j) {
    GrowLanes(lo, hi, bins.lo[occupied[j]], bins.hi[occupied[j]]);
    n += bins.count[occupied[j]];
    double cost = HalfArea(lo, hi) * n + right_area[j] * right_count[j];
    if (cost < best.cost) best = BinnedSplit{axis, occupied[j], cost};
  }
}

// The cheapest binned split of items begin..end, their centres binned on
// every axis at once; an axis on which the centres coincide has none.
BinnedSplit CheapestBinnedSplit(const std::vector<BvhItem>& items, int32_t begin, int32_t end, const ItemBounds& box) {
  Bins bins[3];
  double low[3];
  double scale[3];
  bool spread[3];
  for (int axis = 0; axis < 3; ++axis) {
    double extent = double(box.centre_hi[axis]) - box.centre_lo[axis];
    spread[axis] = extent > 0;
    low[axis] = box.centre_lo[axis];
    scale[axis] = spread[axis] ? kBins / extent : 0;
    for (int b = 0; b < kBins; ++b) bins[axis].count[b] = 0;
  }
  for (int32_t k = begin; k < end; ++k) {
    const BvhItem& item = items[size_t(k)];
    const Lanes4f lo = Load4f(item.lo);
    const Lanes4f hi = Load4f(item.hi);
    for (int axis = 0; axis < 3; ++axis) {
      if (!spread[axis]) continue;
      Bins& on = bins[axis];
      int b = BinOf(item.centre[axis], low[axis], scale[axis]);
      // The first item sets the box: Min and Max of it and an empty box give it.
      if (on.count[b]++ == 0) {
        on.lo[b] = lo;
        on.hi[b] = hi;
      } else {
        GrowLanes(on.lo[b], on.hi[b], lo, hi);
      }
    }
  }
  BinnedSplit best;
  for (int axis = 0; axis < 3; ++axis) {
    if (spread[axis]) SweepBins(bins[axis], axis, best);
  }
  return best;
}

// Puts the items of the split's left bins first, exchanging from both ends
// as the standard library's partition does, and bounds each side on the
// way; the index of the first right item, or -1 when one side would be empty.
int32_t PartitionAtBin(std::vector<BvhItem>& items, int32_t begin, int32_t end, const ItemBounds& box,
                       const BinnedSplit& split, ItemBounds& left, ItemBounds& right) {
  double scale = kBins / (double(box.centre_hi[split.axis]) - box.centre_lo[split.axis]);
  double low = box.centre_lo[split.axis];
  auto goes_left = [&](const BvhItem& item) { return BinOf(item.centre[split.axis], low, scale) <= split.bin; };
  EmptyBounds(left);
  EmptyBounds(right);
  BvhItem* first = items.data() + begin;
  BvhItem* last = items.data() + end;
  for (;;) {
    while (first != last && goes_left(*first)) AddItem(left, *first++);
    if (first == last) break;
    AddItem(right, *first);
    --last;
    while (first != last && !goes_left(*last)) AddItem(right, *last--);
    if (first == last) break;
    AddItem(left, *last);
    std::swap(*first, *last);
    ++first;
  }
  int32_t middle = int32_t(first - items.data());
  return middle == begin || middle == end ? -1 : middle;
}

// Splits items begin..end at their median centre on the longest axis of the
// centres; returns the index of the first right item.
int32_t SplitAtMedian(std::vector<BvhItem>& items, int32_t begin, int32_t end, const ItemBounds& box) {
  int axis = 0;
  for (int i = 1; i < 3; ++i) {
    if (box.centre_hi[i] - box.centre_lo[i] > box.centre_hi[axis] - box.centre_lo[axis]) axis = i;
  }
  int32_t middle = begin + (end - begin) / 2;
  std::nth_element(items.begin() + begin, items.begin() + middle, items.begin() + end,
                   [axis](const BvhItem& p, const BvhItem& q) { return p.centre[axis] < q.centre[axis]; });
  return middle;
}

void BuildNode(std::vector<BvhItem>& items, int32_t begin, int32_t end, const ItemBounds& box, BvhNodes& nodes,
               int32_t at, int depth, unsigned threads);

// Appends the nodes below the root of subtree (its node 0) to nodes, and
// puts the root at `at`: where one thread would have laid them out, since
// it lays out a node's descendants in one run after its children.
void Graft(const BvhNodes& subtree, BvhNodes& nodes, int32_t at) {
  int32_t shift = int32_t(nodes.size()) - 1;
  auto moved = [shift](BvhNode node) {
    if (node.count == 0) node.first += shift;
    return node;
  };
  nodes[size_t(at)] = moved(subtree[0]);
  for (size_t k = 1; k < subtree.size(); ++k) nodes.push_back(moved(subtree[k]));
}

// Builds the subtrees of items begin..middle and middle..end, the left one
// on a thread of its own, each into nodes of its own, and grafts them as
// the children at left and left + 1. The threads are shared between the
// two. False, with nothing built, when no thread could be started.
bool BuildApart(std::vector<BvhItem>& items, int32_t begin, int32_t middle, int32_t end, const ItemBounds& left_box,
                const ItemBounds& right_box, BvhNodes& nodes, int32_t left, int depth, unsigned threads) {
  BvhNodes left_nodes(1);
  BvhNodes right_nodes(1);
  left_nodes.reserve(2 * size_t(middle - begin) + 1);
  right_nodes.reserve(2 * size_t(end - middle) + 1);
  unsigned left_threads = threads / 2;
  std::thread helper;
  try {
    helper = std::thread([&] { BuildNode(items, begin, middle, left_box, left_nodes, 0, depth, left_threads); });
  } catch (const std::system_error&) {
    return false;
  }
  BuildNode(items, middle, end, right_box, right_nodes, 0, depth, threads - left_threads);
  helper.join();
  Graft(left_nodes, nodes, left);
  Graft(right_nodes, nodes, left + 1);
  return true;
}

// Binned surface-area split (a median split on the longest axis of the
// centres below kSurfaceAreaDepth levels or when no binned split separates
// the items) of items begin..end, whose bounds are box. Children are stored
// side by side; leaves take consecutive items. Subtrees of many items are
// built on up to `threads` threads.
void BuildNode(std::vector<BvhItem>& items, int32_t begin, int32_t end, const ItemBounds& box, BvhNodes& nodes,
               int32_t at, int depth, unsigned threads) {
  BvhNode node;
  alignas(16) float lo[4];
  alignas(16) float hi[4];
  Store(lo, box.lo);
  Store(hi, box.hi);
  for (int i = 0; i < 3; ++i) {
    node.lo[i] = lo[i];
    node.hi[i] = hi[i];
  }
  int32_t count = end - begin;
  node.first = begin;
  node.count = count;
  if (count <= kLeafSize) {
    nodes[size_t(at)] = node;
    return;
  }
  int32_t middle = -1;
  ItemBounds left_box;
  ItemBounds right_box;
  if (depth < kSurfaceAreaDepth) {
    BinnedSplit best = CheapestBinnedSplit(items, begin, end, box);
    double node_area = HalfArea(node.lo, node.hi);
    if (count <= kLargestLeaf && !(best.cost + node_area < node_area * count)) {
      nodes[size_t(at)] = node;
      return;
    }
    if (best.axis >= 0) middle = PartitionAtBin(items, begin, end, box, best, left_box, right_box);
  }
  if (middle < 0) {
    middle = SplitAtMedian(items, begin, end, box);
    left_box = BoundItems(items, begin, middle);
    right_box = BoundItems(items, middle, end);
  }
  int32_t left = int32_t(nodes.size());
  nodes.push_back(BvhNode{});
  nodes.push_back(BvhNode{});
  node.first = left;
  node.count = 0;
  nodes[size_t(at)] = node;
  if (threads > 1 && middle - begin >= kItemsPerThread && end - middle >= kItemsPerThread &&
      BuildApart(items, begin, middle, end, left_box, right_box, nodes, left, depth + 1, threads)) {
    return;
  }
  BuildNode(items, begin, middle, left_box, nodes, left, depth + 1, threads);
  BuildNode(items, middle, end, right_box, nodes, left + 1, depth + 1, threads);
}

}  // namespace

BvhNodes LayOutNodes(std::vector<BvhItem>& items, unsigned threads) {
  BvhNodes nodes;
  if (items.empty()) return nodes;
  nodes.reserve(2 * items.size() / kLeafSize + 2);
  nodes.push_back(BvhNode{});
  nodes.push_back(BvhNode{{0, 0, 0}, {0, 0, 0}, 0, 0});
  int32_t count = int32_t(items.size());
  BuildNode(items, 0, count, BoundItems(items, 0, count), nodes, 0, 0, std::max(1u, threads));
  return nodes;
}
