// A fast 64-bit hash of bytes (the xxHash64 algorithm, seed 0), whole or fed
// in pieces. It identifies the inputs a samples file was traced from and
// checks that file's records: gigabytes pass through it, so it works on
// eight bytes at a time in four independent lanes.
#pragma once

#include <cstddef>
#include <cstdint>

// The running state of a hash fed in pieces; the pieces may be cut anywhere.
struct Hash64Stream {
  uint64_t lanes[4];
  uint64_t total;             // bytes fed so far
  unsigned char pending[32];  // the start of a stripe not yet complete
  size_t pending_count;
};

// A stream that has been fed nothing.
Hash64Stream Hash64Begin();

// Feeds size bytes to stream.
void Hash64Add(Hash64Stream& stream, const void* bytes, size_t size);

// The hash of everything fed; stream stays as it was.
uint64_t Hash64End(const Hash64Stream& stream);

// The hash of size bytes in one piece.
uint64_t Hash64(const void* bytes, size_t size);
