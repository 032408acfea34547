#include "core/mt19937.h"

namespace {

constexpr int N = 624;
constexpr int M = 397;
static_assert(sizeof(MT19937State::mt) == N * sizeof(uint32_t), "a saved state holds the whole array");
constexpr uint32_t kMatrixA = 0x9908b0dfu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7fffffffu;

uint32_t mt[N];
int mti = N + 1;  // N + 1: never seeded
const uint32_t mag01[2] = {0x0u, kMatrixA};

// The words this thread draws instead of the generator's, if any.
thread_local RecordedWords* recorded_words = nullptr;

uint32_t Temper(uint32_t y) {
  y ^= (y >> 11);
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= (y >> 18);
  return y;
}

void Twist() {
  int kk;
  uint32_t y;
  for (kk = 0; kk < N - M; kk++) {
    y = (mt[kk] & kUpperMask) | (mt[kk + 1] & kLowerMask);
    mt[kk] = mt[kk + M] ^ (y >> 1) ^ mag01[y & 0x1u];
  }
  for (; kk < N - 1; kk++) {
    y = (mt[kk] & kUpperMask) | (mt[kk + 1] & kLowerMask);
    mt[kk] = mt[kk + (M - N)] ^ (y >> 1) ^ mag01[y & 0x1u];
  }
  y = (mt[N - 1] & kUpperMask) | (mt[0] & kLowerMask);
  mt[N - 1] = mt[M - 1] ^ (y >> 1) ^ mag01[y & 0x1u];
  mti = 0;
}

// Makes the next block when every word of the last one was drawn, seeding
// with 5489 first when nothing seeded the generator.
inline void TwistWhenSpent() {
  if (mti < N) return;
  if (mti == N + 1) init_genrand(5489u);
  Twist();
}

}  // namespace

void init_genrand(uint32_t s) {
  mt[0] = s;
  for (mti = 1; mti < N; mti++) {
    mt[mti] = 1812433253u * (mt[mti - 1] ^ (mt[mti - 1] >> 30)) + uint32_t(mti);
  }
}

void init_by_array(const uint32_t init_key[], int key_length) {
  init_genrand(19650218u);
  int i = 1;
  int j = 0;
  int k = (N > key_length ? N : key_length);
  for (; k; k--) {
    // An empty key mixes in zeros instead of reading past the array.
    uint32_t key = key_length > 0 ? init_key[j] : 0u;
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525u)) + key + uint32_t(j);
    i++;
    j++;
    if (i >= N) {
      mt[0] = mt[N - 1];
      i = 1;
    }
    if (j >= key_length) j = 0;
  }
  for (k = N - 1; k; k--) {
    mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941u)) - uint32_t(i);
    i++;
    if (i >= N) {
      mt[0] = mt[N - 1];
      i = 1;
    }
  }
  mt[0] = 0x80000000u;  // the most significant bit is 1: a non-zero initial state
}

uint32_t genrand_int32() {
  if (recorded_words != nullptr) {
    RecordedWords& recorded = *recorded_words;
    size_t k = recorded.taken++;
    return k < recorded.count ? recorded.words[k] : recorded.past_end;
  }
  TwistWhenSpent();
  return Temper(mt[mti++]);
}

void DrawWords(uint32_t* words, size_t count) {
  if (recorded_words != nullptr) {
    for (size_t k = 0; k < count; k++) words[k] = genrand_int32();
    return;
  }
  size_t k = 0;
  while (k < count) {
    TwistWhenSpent();
    size_t block = size_t(N - mti);
    size_t take = count - k < block ? count - k : block;
    for (size_t j = 0; j < take; j++) words[k + j] = Temper(mt[size_t(mti) + j]);
    mti += int(take);
    k += take;
  }
}

MT19937State SaveGenerator() {
  MT19937State state;
  for (int k = 0; k < N; k++) state.mt[k] = mt[k];
  state.mti = mti;
  return state;
}

void RestoreGenerator(const MT19937State& state) {
  for (int k = 0; k < N; k++) mt[k] = state.mt[k];
  mti = state.mti;
}

void DrawFromRecordedWords(RecordedWords* recorded) { recorded_words = recorded; }

bool PeekWord(int ahead, uint32_t& word) {
  if (ahead < 0 || mti >= N || ahead >= N - mti) return false;
  word = Temper(mt[mti + ahead]);
  return true;
}

long genrand_int31() { return long(genrand_int32() >> 1); }

double genrand_real1() { return genrand_int32() * (1.0 / 4294967295.0); }

double genrand_real2() { return Real2OfWord(genrand_int32()); }

double genrand_real3() { return Real3OfWord(genrand_int32()); }

double genrand_res53() {
  uint32_t a = genrand_int32() >> 5;
  uint32_t b = genrand_int32() >> 6;
  return (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
}
