// The program's one MT19937 generator (Matsumoto and Nishimura, 2002 seeding).
// It is seeded once with a fixed value, so the order of draws is behaviour.
#pragma once

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
