// Checks of the invariants that the code's comments argue: a stack's bound,
// a lane count, an index inside its array. They run in Debug builds and in
// the sanitizer build and cost nothing in Release, where the condition is not
// evaluated.
#pragma once

#if defined(CORVANE_CHECKS)

// Prints the failed condition with its place and aborts.
[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

#define CORVANE_CHECK(condition) ((condition) ? static_cast<void>(0) : CheckFailed(#condition, __FILE__, __LINE__))

#else

// Not evaluated; sizeof keeps the names in it used, so that no warning asks
// for them to be removed.
#define CORVANE_CHECK(condition) static_cast<void>(sizeof(!(condition)))

#endif
