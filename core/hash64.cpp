#include "core/hash64.h"

#include <cstring>

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

constexpr size_t kStripe = 32;

uint64_t RotateLeft(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

// The words are read little-endian whatever the host, so that a hash means
// the same bytes everywhere.
uint64_t Read64(const unsigned char* p) {
  uint64_t value = 0;
  std::memcpy(&value, p, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  value = __builtin_bswap64(value);
#endif
  return value;
}

uint64_t Read32(const unsigned char* p) {
  uint32_t value = 0;
  std::memcpy(&value, p, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  value = __builtin_bswap32(value);
#endif
  return value;
}

uint64_t Round(uint64_t lane, uint64_t word) {
  lane += word * kPrime2;
  lane = RotateLeft(lane, 31);
  return lane * kPrime1;
}

uint64_t MergeLane(uint64_t hash, uint64_t lane) {
  hash ^= Round(0, lane);
  return hash * kPrime1 + kPrime4;
}

// Feeds the whole stripes of size bytes; returns how many bytes they took.
// The lanes live in locals meanwhile: the bytes may alias the stream.
size_t AddStripes(Hash64Stream& stream, const unsigned char* p, size_t size) {
  uint64_t lane0 = stream.lanes[0];
  uint64_t lane1 = stream.lanes[1];
  uint64_t lane2 = stream.lanes[2];
  uint64_t lane3 = stream.lanes[3];
  size_t taken = 0;
  for (; size - taken >= kStripe; taken += kStripe) {
    lane0 = Round(lane0, Read64(p + taken));
    lane1 = Round(lane1, Read64(p + taken + 8));
    lane2 = Round(lane2, Read64(p + taken + 16));
    lane3 = Round(lane3, Read64(p + taken + 24));
  }
  stream.lanes[0] = lane0;
  stream.lanes[1] = lane1;
  stream.lanes[2] = lane2;
  stream.lanes[3] = lane3;
  return taken;
}

}  // namespace

Hash64Stream Hash64Begin() {
  Hash64Stream stream{};
  stream.lanes[0] = kPrime1 + kPrime2;
  stream.lanes[1] = kPrime2;
  stream.lanes[2] = 0;
  stream.lanes[3] = 0 - kPrime1;
  return stream;
}

void Hash64Add(Hash64Stream& stream, const void* bytes, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  stream.total += size;
  if (stream.pending_count > 0) {
    size_t taken = kStripe - stream.pending_count < size ? kStripe - stream.pending_count : size;
    std::memcpy(stream.pending + stream.pending_count, p, taken);
    stream.pending_count += taken;
    p += taken;
    size -= taken;
    if (stream.pending_count < kStripe) return;
    AddStripes(stream, stream.pending, kStripe);
    stream.pending_count = 0;
  }
  size_t taken = AddStripes(stream, p, size);
  p += taken;
  size -= taken;
  std::memcpy(stream.pending, p, size);
  stream.pending_count = size;
}

uint64_t Hash64End(const Hash64Stream& stream) {
  uint64_t hash = 0;
  if (stream.total >= kStripe) {
    const uint64_t* lanes = stream.lanes;
    hash = RotateLeft(lanes[0], 1) + RotateLeft(lanes[1], 7) + RotateLeft(lanes[2], 12) + RotateLeft(lanes[3], 18);
    for (int k = 0; k < 4; ++k) hash = MergeLane(hash, lanes[k]);
  } else {
    hash = kPrime5;
  }
  hash += stream.total;

  const unsigned char* p = stream.pending;
  size_t left = stream.pending_count;
  for (; left >= 8; p += 8, left -= 8) hash = RotateLeft(hash ^ Round(0, Read64(p)), 27) * kPrime1 + kPrime4;
  if (left >= 4) {
    hash = RotateLeft(hash ^ (Read32(p) * kPrime1), 23) * kPrime2 + kPrime3;
    p += 4;
    left -= 4;
  }
  for (; left > 0; ++p, --left) hash = RotateLeft(hash ^ (*p * kPrime5), 11) * kPrime1;

  hash ^= hash >> 33;
  hash *= kPrime2;
  hash ^= hash >> 29;
  hash *= kPrime3;
  hash ^= hash >> 32;
  return hash;
}

uint64_t Hash64(const void* bytes, size_t size) {
  Hash64Stream stream = Hash64Begin();
  Hash64Add(stream, bytes, size);
  return Hash64End(stream);
}
