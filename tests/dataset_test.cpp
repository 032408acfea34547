#include "transport/dataset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "core/mt19937.h"
#include "tests/draws.h"

namespace {

size_t StartSlot(uint32_t seed, size_t count) { return size_t(Real2Draw(seed, 0) * double(count)); }

// A seed whose first draw starts the walk at `slot` and whose second draw is
// above 0, so that a weight of 0 loses the roulette.
uint32_t SeedStartingAt(size_t slot, size_t count) {
  for (uint32_t seed = 1;; ++seed) {
    if (StartSlot(seed, count) == slot && Real2Draw(seed, 1) > 0.0) return seed;
  }
}

// A set holding one sample per weight; slot i has object i, and the listed
// slots are marked absorbed after insertion.
struct SampleSet {
  CVDataSet set{};
  SampleSet(const std::vector<float>& weights, const std::vector<int>& absorbed) {
    AllocateDataSet(set, uint32_t(weights.size()));
    for (size_t i = 0; i < weights.size(); ++i) {
      CVSample s{};
      s.object = int16_t(i);
      s.weight = weights[i];
      s.brightness = 1.0f;
      InsertIntoDataSet(set, s);
    }
    for (int i : absorbed) set.samples[i].absorbed = true;
  }
  ~SampleSet() { FreeDataSet(set); }
  bool Absorbed(int i) const { return set.samples[i].absorbed; }
};

TEST(DataSet, AllocateGivesAnEmptySetOfTheCapacity) {
  CVDataSet set{};
  ASSERT_TRUE(AllocateDataSet(set, 3));
  EXPECT_EQ(set.capacity, 3u);
  EXPECT_EQ(set.count, 0u);
  EXPECT_NE(set.samples, nullptr);
  FreeDataSet(set);
  EXPECT_EQ(set.samples, nullptr);
}

// Each stretch is asked for once, in order, while the samples are stored in
// the one before it; asking changes no slot, and one past the capacity
// asks for nothing.
TEST(DataSet, PagesInOneStretchAheadOfTheStoredSamplesAndKeepsThem) {
  const uint32_t per_stretch = uint32_t(kPagedStretchBytes / sizeof(CVSample));
  uint64_t last_due = 0;
  for (uint32_t count = 1; count <= 4 * per_stretch; ++count) {
    uint64_t due = StretchDueAfter(count);
    if (due == 0) continue;
    EXPECT_EQ(due, last_due + 1) << count;
    EXPECT_EQ(uint64_t(count - 1) * sizeof(CVSample) / kPagedStretchBytes, due - 1) << count;
    last_due = due;
  }
  EXPECT_EQ(last_due, 4u);

  CVDataSet set{};
  ASSERT_TRUE(AllocateDataSet(set, per_stretch + per_stretch / 2));
  for (uint32_t i = 0; i < set.capacity; ++i) {
    CVSample s{};
    s.weight = float(i);
    InsertIntoDataSet(set, s);
  }
  for (uint64_t stretch = 0; stretch < 4; ++stretch) PageInStretch(set, stretch);
  for (uint32_t i = 0; i < set.capacity; ++i) ASSERT_EQ(set.samples[i].weight, float(i)) << i;
  FreeDataSet(set);
}

TEST(DataSet, CapacityZeroRefusesTheFirstSample) {
  CVDataSet set{};
  EXPECT_TRUE(AllocateDataSet(set, 0));
  EXPECT_EQ(set.capacity, 0u);
  EXPECT_FALSE(InsertIntoDataSet(set, CVSample{}));
  EXPECT_EQ(set.count, 0u);
  FreeDataSet(set);
}

TEST(DataSet, InsertClearsAbsorbedAndKeepsTheOtherFields) {
  CVDataSet set{};
  AllocateDataSet(set, 2);
  CVSample s{};
  s.object = 7;
  s.reserved = 3;
  s.position = {1, 2, 3};
  s.weight = 0.25f;
  s.brightness = 0.5f;
  s.absorbed = true;
  s.visible = true;
  ASSERT_TRUE(InsertIntoDataSet(set, s));
  ASSERT_EQ(set.count, 1u);
  const CVSample& stored = set.samples[0];
  EXPECT_FALSE(stored.absorbed);
  EXPECT_TRUE(stored.visible);
  EXPECT_EQ(stored.object, 7);
  EXPECT_EQ(stored.reserved, 3);
  EXPECT_EQ(stored.position.z, 3.0f);
  EXPECT_EQ(stored.weight, 0.25f);
  EXPECT_EQ(stored.brightness, 0.5f);
  FreeDataSet(set);
}

TEST(DataSet, InsertIntoFullSetChangesNothing) {
  SampleSet full({1.0f, 0.5f}, {1});
  std::vector<CVSample> before(full.set.samples, full.set.samples + 2);
  CVSample extra{};
  extra.object = 99;
  EXPECT_FALSE(InsertIntoDataSet(full.set, extra));
  EXPECT_EQ(full.set.count, 2u);
  EXPECT_EQ(std::memcmp(before.data(), full.set.samples, 2 * sizeof(CVSample)), 0);
}

TEST(DataSet, ChoiceStartsAtTheSlotOfTheFirstDraw) {
  SampleSet set({1, 1, 1, 1, 1, 1, 1}, {});
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    init_genrand(seed);
    CVSample chosen = GetSampleFromDataSet(set.set);
    EXPECT_EQ(size_t(chosen.object), StartSlot(seed, 7)) << "seed " << seed;
  }
  for (int i = 0; i < 7; ++i) EXPECT_FALSE(set.Absorbed(i)) << "weight 1 always survives";
}

TEST(DataSet, ChoiceWalksFromAnAbsorbedStartToTheNextLiveSlotWrappingAround) {
  SampleSet set({1, 1, 1, 1, 1}, {0, 2, 3, 4});
  init_genrand(SeedStartingAt(3, 5));
  EXPECT_EQ(GetSampleFromDataSet(set.set).object, 1);
  EXPECT_TRUE(set.Absorbed(3));
  EXPECT_FALSE(set.Absorbed(1));
}

TEST(DataSet, RouletteLoserIsAbsorbedAndTheNextLiveSlotIsReturnedUntested) {
  // Slot 3 loses; slot 0 is absorbed, so the walk wraps to slot 1, whose
  // weight 0 would lose too but is not tested.
  SampleSet set({0, 0, 0, 0}, {0});
  init_genrand(SeedStartingAt(3, 4));
  EXPECT_EQ(GetSampleFromDataSet(set.set).object, 1);
  EXPECT_TRUE(set.Absorbed(3));
  EXPECT_FALSE(set.Absorbed(1));
  EXPECT_FALSE(set.Absorbed(2));
}

TEST(DataSet, LastLiveSampleLosingTheRouletteIsReturnedAndStaysLive) {
  SampleSet single({0}, {});
  init_genrand(SeedStartingAt(0, 1));
  EXPECT_EQ(GetSampleFromDataSet(single.set).object, 0);
  EXPECT_FALSE(single.Absorbed(0));

  SampleSet three({1, 0, 1}, {0, 2});
  init_genrand(SeedStartingAt(1, 3));
  EXPECT_EQ(GetSampleFromDataSet(three.set).object, 1);
  EXPECT_FALSE(three.Absorbed(1));
  EXPECT_TRUE(three.Absorbed(0));
  EXPECT_TRUE(three.Absorbed(2));
}

TEST(DataSet, RevivesTheStartSlotWithoutRouletteWhenEverySampleIsAbsorbed) {
  for (size_t start = 0; start < 4; ++start) {
    SampleSet set({0, 0, 0, 0}, {0, 1, 2, 3});
    init_genrand(SeedStartingAt(start, 4));
    EXPECT_EQ(size_t(GetSampleFromDataSet(set.set).object), start);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(set.Absorbed(int(i)), i != start) << "start " << start << " slot " << i;
  }
}

TEST(DataSet, EveryChoiceDrawsTwice) {
  struct Row {
    const char* name;
    std::vector<float> weights;
    std::vector<int> absorbed;
  };
  const Row rows[] = {
      {"survivor", {1, 1, 1}, {}},
      {"loser with live neighbours", {0, 0, 0}, {}},
      {"single sample that loses", {0}, {}},
      {"revival", {0, 0, 0}, {0, 1, 2}},
  };
  for (const Row& row : rows) {
    SampleSet set(row.weights, row.absorbed);
    EXPECT_EQ(WordsDrawn(11, [&] { GetSampleFromDataSet(set.set); }), 2) << row.name;
  }
}

TEST(DataSet, RussianRouletteComparesOneDrawWithTheWeight) {
  const uint32_t seed = 5;
  double r = Real2Draw(seed, 0);
  float below = float(r);
  while (double(below) >= r) below = std::nextafter(below, -1.0f);
  float at_or_above = float(r);
  while (double(at_or_above) < r) at_or_above = std::nextafter(at_or_above, 2.0f);

  CVSample s{};
  s.weight = at_or_above;
  init_genrand(seed);
  EXPECT_TRUE(RussianRoulette(s));
  s.weight = below;
  init_genrand(seed);
  EXPECT_FALSE(RussianRoulette(s));
  s.weight = 1.0f;
  EXPECT_EQ(WordsDrawn(seed, [&] { EXPECT_TRUE(RussianRoulette(s)); }), 1);
}

}  // namespace

TEST(DataSet, ChoiceAmongKnownSlotsRecordsWhatItChangedAndRefusesToReadFurther) {
  // Slot 3 of 5 loses its roulette and the walk goes on to slot 4.
  SampleSet set({0, 0, 0, 0, 0}, {});
  uint32_t seed = SeedStartingAt(3, 5);
  init_genrand(seed);
  DataSetPick pick{};
  ASSERT_TRUE(PickFromKnownSlots(set.set, 5, pick));
  EXPECT_EQ(pick.chosen, 3u);
  EXPECT_FALSE(pick.chosen_was);
  EXPECT_EQ(pick.continued, 4u);
  EXPECT_TRUE(set.Absorbed(3));

  // With only four slots known, the walk to slot 4 is refused and undone.
  set.set.samples[3].absorbed = false;
  EXPECT_EQ(WordsDrawn(seed, [&] { EXPECT_FALSE(PickFromKnownSlots(set.set, 4, pick)); }), 2);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(set.Absorbed(i)) << "slot " << i;
  init_genrand(seed);
  EXPECT_FALSE(PickFromKnownSlots(set.set, 3, pick)) << "the start slot itself is unknown";
}
