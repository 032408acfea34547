#include "core/mt19937.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

// The index of the first draw that differs from std::mt19937 seeded alike, or -1.
int FirstDifferenceFromStd(uint32_t seed, int draws) {
  init_genrand(seed);
  std::mt19937 reference(seed);
  for (int i = 0; i < draws; i++) {
    if (genrand_int32() != reference()) return i;
  }
  return -1;
}

std::vector<uint32_t> Draw(int count) {
  std::vector<uint32_t> words;
  for (int i = 0; i < count; i++) words.push_back(genrand_int32());
  return words;
}

// Seeds with `seed` and draws `skip` words, so the next draw is a known word.
void PositionBefore(uint32_t seed, int skip) {
  init_genrand(seed);
  for (int i = 0; i < skip; i++) genrand_int32();
}

// Found offline with std::mt19937: the word at this index after seeding.
constexpr uint32_t kSeedWithMaxWord = 30376;  // draw 36855 is 0xffffffff
constexpr int kMaxWordIndex = 36855;
constexpr uint32_t kSeedWithZeroWord = 18783;  // draw 151158 is 0
constexpr int kZeroWordIndex = 151158;

TEST(MT19937, UnseededGeneratorDrawsLikeSeed5489) {
  // The generator is one process-wide state; a fresh process sees it unseeded.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        uint32_t first = genrand_int32();
        uint32_t second = genrand_int32();
        uint32_t third = genrand_int32();
        std::fprintf(stderr, "first words %u %u %u\n", unsigned(first), unsigned(second), unsigned(third));
        std::mt19937 reference(5489u);
        bool same = first == reference() && second == reference() && third == reference();
        for (int i = 3; i < 1000; i++) same = (genrand_int32() == reference()) && same;
        std::exit(same ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "first words 3499211612 581869302 3890346734");
}

TEST(MT19937, MatchesStdMt19937ThroughManyRegenerations) {
  // Seeding leaves the state due for regeneration: draw 0 and draw 624 both regenerate.
  EXPECT_EQ(-1, FirstDifferenceFromStd(50, 100000));
  EXPECT_EQ(-1, FirstDifferenceFromStd(5489, 100000));
  EXPECT_EQ(-1, FirstDifferenceFromStd(0xffffffffu, 1000));
  EXPECT_EQ(-1, FirstDifferenceFromStd(0, 1000));
  // Drawn many at a time, in pieces that start and end anywhere in a block.
  init_genrand(50);
  std::mt19937 reference(50);
  for (size_t piece : {1, 623, 700, 5000, 624, 2}) {
    std::vector<uint32_t> words(piece);
    DrawWords(words.data(), piece);
    for (size_t k = 0; k < piece; k++) ASSERT_EQ(words[k], reference()) << "piece " << piece << ", word " << k;
  }
}

TEST(MT19937, Seed50GivesTheProgramsFirstDraws) {
  init_genrand(50);
  EXPECT_EQ((std::vector<uint32_t>{2124297904u, 554800608u, 979609483u, 319445101u}), Draw(4));
  init_genrand(50);  // seeding again restarts the sequence
  EXPECT_NEAR(0.4946016484, genrand_real3(), 0.5e-10);
}

TEST(MT19937, InitByArrayGivesThePublishedSequence) {
  const uint32_t key[] = {0x123, 0x234, 0x345, 0x456};
  init_by_array(key, 4);
  EXPECT_EQ((std::vector<uint32_t>{1067595299u, 955945823u, 477289528u, 4107218783u, 4228976476u}), Draw(5));
}

TEST(MT19937, InitByArrayUsesEveryKeyWordEvenBeyond624) {
  std::vector<uint32_t> key(700);
  for (size_t i = 0; i < key.size(); i++) key[i] = uint32_t(i * 2654435761u);

  init_by_array(key.data(), 700);
  std::vector<uint32_t> full = Draw(10);
  init_by_array(key.data(), 700);
  EXPECT_EQ(full, Draw(10));
  init_by_array(key.data(), 624);
  EXPECT_NE(full, Draw(10));
  key[699] ^= 1;  // the last key word alone changes the sequence
  init_by_array(key.data(), 700);
  EXPECT_NE(full, Draw(10));

  const uint32_t one_a[] = {7};
  const uint32_t one_b[] = {8};
  init_by_array(one_a, 1);
  std::vector<uint32_t> a = Draw(10);
  init_by_array(one_a, 1);
  EXPECT_EQ(a, Draw(10));
  init_by_array(one_b, 1);
  EXPECT_NE(a, Draw(10));
}

TEST(MT19937, InitByArrayWithEmptyKeySeedsLikeKeyZero) {
  const uint32_t zero[] = {0};
  init_by_array(zero, 1);
  std::vector<uint32_t> expected = Draw(10);
  init_by_array(nullptr, 0);  // reads no key word
  EXPECT_EQ(expected, Draw(10));
}

TEST(MT19937, OutputFunctionsConvertTheNextWords) {
  init_genrand(50);
  std::mt19937 reference(50);
  const double two_to_minus_32 = std::ldexp(1.0, -32);
  for (int i = 0; i < 20000; i++) {
    SCOPED_TRACE("round " + std::to_string(i));
    ASSERT_EQ(long(reference() >> 1), genrand_int31());
    ASSERT_DOUBLE_EQ(double(reference()) / 4294967295.0, genrand_real1());
    ASSERT_EQ(double(reference()) * two_to_minus_32, genrand_real2());
    ASSERT_EQ((double(reference()) + 0.5) * two_to_minus_32, genrand_real3());
    // res53 draws a (27 high bits) before b (26 high bits).
    uint32_t a = reference() >> 5;
    uint32_t b = reference() >> 6;
    ASSERT_EQ(std::ldexp(double(a) * 67108864.0 + double(b), -53), genrand_res53());
  }
}

TEST(MT19937, RealFunctionsStayInTheirIntervals) {
  init_genrand(12345);
  for (int i = 0; i < 100000; i++) {
    double r1 = genrand_real1();
    double r2 = genrand_real2();
    double r3 = genrand_real3();
    double r53 = genrand_res53();
    long i31 = genrand_int31();
    ASSERT_TRUE(r1 >= 0 && r1 <= 1) << r1;
    ASSERT_TRUE(r2 >= 0 && r2 < 1) << r2;
    ASSERT_TRUE(r3 > 0 && r3 < 1) << r3;
    ASSERT_TRUE(r53 >= 0 && r53 < 1) << r53;
    ASSERT_TRUE(i31 >= 0 && i31 <= 0x7fffffff) << i31;
  }
}

TEST(MT19937, LargestWordGivesTheUpperBounds) {
  PositionBefore(kSeedWithMaxWord, kMaxWordIndex);
  ASSERT_EQ(0xffffffffu, genrand_int32());

  PositionBefore(kSeedWithMaxWord, kMaxWordIndex);
  EXPECT_EQ(1.0, genrand_real1());
  PositionBefore(kSeedWithMaxWord, kMaxWordIndex);
  double r2 = genrand_real2();
  EXPECT_EQ(1.0 - std::ldexp(1.0, -32), r2);
  EXPECT_EQ(1.0f, float(r2));  // the half-open bound holds only in double
  PositionBefore(kSeedWithMaxWord, kMaxWordIndex);
  double r3 = genrand_real3();
  EXPECT_EQ(1.0 - std::ldexp(1.0, -33), r3);
  EXPECT_EQ(1.0f, float(r3));
  PositionBefore(kSeedWithMaxWord, kMaxWordIndex);
  EXPECT_EQ(0x7fffffffL, genrand_int31());
}

TEST(MT19937, ZeroWordGivesTheLowerBounds) {
  PositionBefore(kSeedWithZeroWord, kZeroWordIndex);
  ASSERT_EQ(0u, genrand_int32());

  PositionBefore(kSeedWithZeroWord, kZeroWordIndex);
  EXPECT_EQ(0.0, genrand_real1());
  PositionBefore(kSeedWithZeroWord, kZeroWordIndex);
  EXPECT_EQ(0.0, genrand_real2());
  PositionBefore(kSeedWithZeroWord, kZeroWordIndex);
  EXPECT_EQ(std::ldexp(1.0, -33), genrand_real3());
}

}  // namespace

TEST(MT19937, RestoredStateRepeatsTheDrawsSinceItWasSaved) {
  PositionBefore(50, 600);  // the saved stretch crosses a regeneration
  MT19937State saved = SaveGenerator();
  std::vector<uint32_t> first = Draw(100);
  RestoreGenerator(saved);
  EXPECT_EQ(Draw(100), first);
}

TEST(MT19937, RecordedWordsReplaceTheGeneratorOnThisThreadOnly) {
  init_genrand(50);
  const uint32_t words[2] = {7, 0xffffffffu};
  RecordedWords recorded{words, 2, 0, 42};
  DrawFromRecordedWords(&recorded);
  EXPECT_EQ(genrand_int32(), 7u);
  EXPECT_EQ(genrand_real2(), Real2OfWord(0xffffffffu));
  EXPECT_EQ(genrand_int32(), 42u) << "past the last word";
  EXPECT_EQ(recorded.taken, 3u);
  DrawFromRecordedWords(nullptr);
  EXPECT_EQ(FirstDifferenceFromStd(50, 10), -1);
  init_genrand(50);
  std::mt19937 reference(50);
  EXPECT_EQ(genrand_int32(), reference()) << "the generator did not move while words were recorded";
}

TEST(MT19937, PeekShowsTheComingWordsOfTheCurrentBlockWithoutDrawing) {
  PositionBefore(50, 10);
  uint32_t word = 0;
  ASSERT_TRUE(PeekWord(0, word));
  uint32_t second = 0;
  ASSERT_TRUE(PeekWord(1, second));
  EXPECT_FALSE(PeekWord(624 - 10, word)) << "beyond the block";
  std::mt19937 reference(50);
  reference.discard(10);
  uint32_t expected = reference();
  ASSERT_TRUE(PeekWord(0, word));
  EXPECT_EQ(word, expected);
  EXPECT_EQ(second, reference());
  EXPECT_EQ(genrand_int32(), expected);
  EXPECT_EQ(Real3OfWord(expected), (double(expected) + 0.5) * (1.0 / 4294967296.0));
}
