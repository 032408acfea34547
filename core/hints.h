// What the compiler is told beyond the language: where to inline and what
// to fetch early. Each has a plain fallback, so that any C++17 compiler
// builds the code; none changes a result.
#pragma once

#if defined(__GNUC__)
// Inline by force: for functions that run for every node a query visits.
#define CORVANE_ALWAYS_INLINE __attribute__((always_inline)) inline
// Never inline: keeps a rare path out of its caller's loop.
#define CORVANE_NOINLINE __attribute__((noinline))
#else
#define CORVANE_ALWAYS_INLINE inline
#define CORVANE_NOINLINE
#endif

// Asks for the cache line at p, to be read soon, into every cache level.
inline void PrefetchForReading(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p, 0, 3);
#else
  static_cast<void>(p);
#endif
}

// Asks for the cache line at p, to be written soon, into every cache level.
inline void PrefetchForWriting(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p, 1, 3);
#else
  static_cast<void>(p);
#endif
}
