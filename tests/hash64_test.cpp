#include "core/hash64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct KnownHash {
  std::string text;
  uint64_t hash;
};

}  // namespace

// The published values of the algorithm with seed 0: no input, a short tail
// only, and stripes followed by every kind of tail.
TEST(Hash64, GivesThePublishedValues) {
  const KnownHash rows[] = {
      {"", 0xEF46DB3751D8E999ull},
      {"abc", 0x44BC2CF5AD770999ull},
      {"Nobody inspects the spammish repetition", 0xFBCEA83C8A378BF1ull},
  };
  for (const KnownHash& row : rows) {
    EXPECT_EQ(Hash64(row.text.data(), row.text.size()), row.hash) << "'" << row.text << "'";
  }
}

TEST(Hash64, FedInPiecesGivesTheHashOfTheWhole) {
  std::string text;
  for (int k = 0; k < 300; ++k) text += char(k * 37 + 11);
  uint64_t whole = Hash64(text.data(), text.size());
  for (size_t piece : {1u, 3u, 7u, 31u, 32u, 33u, 64u, 100u}) {
    Hash64Stream stream = Hash64Begin();
    for (size_t at = 0; at < text.size(); at += piece) {
      size_t size = text.size() - at < piece ? text.size() - at : piece;
      Hash64Add(stream, text.data() + at, size);
    }
    EXPECT_EQ(Hash64End(stream), whole) << "pieces of " << piece;
  }
}

TEST(Hash64, ChangesWithAnyByteAndWithTheLength) {
  std::string text(100, 'x');
  uint64_t original = Hash64(text.data(), text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    std::string changed = text;
    changed[at] ^= 1;
    EXPECT_NE(Hash64(changed.data(), changed.size()), original) << "byte " << at;
  }
  EXPECT_NE(Hash64(text.data(), text.size() - 1), original);
}
