// The program's one MT19937 generator (Matsumoto and Nishimura, 2002 seeding).
// It is seeded once with a fixed value, so the order of draws is behaviour.
#pragma once

#include <cstddef>
#include <cstdint>

// Seeds the state from one word by the standard linear recurrence.
void init_genrand(uint32_t s);
// Seeds the state from a key array. A key of length 0 or less reads no word
// and seeds like the one-word key {0}.
void init_by_array(const uint32_t init_key[], int key_length);

uint32_t genrand_int32();  // [0, 0xffffffff]
long genrand_int31();      // [0, 0x7fffffff]
double genrand_real1();    // [0, 1]
double genrand_real2();    // [0, 1)
double genrand_real3();    // (0, 1)
double genrand_res53();    // [0, 1) with 53-bit resolution

// The next `count` words, as that many calls of genrand_int32 give them, a
// block of the generator at a time.
void DrawWords(uint32_t* words, size_t count);

// The generator's whole state: restoring it repeats the draws made since it
// was saved.
struct MT19937State {
  uint32_t mt[624];
  int mti;
};
MT19937State SaveGenerator();
void RestoreGenerator(const MT19937State& state);

// Words of the generator's sequence recorded ahead, for the draws of one
// thread: while a thread reads from them, every draw it makes takes the next
// word here instead of advancing the generator. A draw past the last word
// gives past_end; `taken` still counts it, so the reader sees that it ran out.
struct RecordedWords {
  const uint32_t* words;
  size_t count;
  size_t taken;
  uint32_t past_end;
};

// From now on the calling thread draws from `recorded`; nullptr returns it
// to the generator. Other threads are not affected.
void DrawFromRecordedWords(RecordedWords* recorded);

// The word that the generator's draw `ahead` draws from now (0: the next)
// will return, without drawing; false when it lies beyond the generator's
// current block of 624 words. Recorded words are not looked at.
bool PeekWord(int ahead, uint32_t& word);

// genrand_real2 and genrand_real3 of a given word.
inline double Real2OfWord(uint32_t word) { return word * (1.0 / 4294967296.0); }
inline double Real3OfWord(uint32_t word) { return (double(word) + 0.5) * (1.0 / 4294967296.0); }
