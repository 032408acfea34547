# The compiler flags of every Corvane build, in one place: the project's own
# CMakeLists.txt and the fuzz harnesses' project include this file after
# project().

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

# Release unless the configure line names another build type.
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Release (-O2), Debug (-O0 -g), RelWithDebInfo or MinSizeRel" FORCE)
endif()

# The optimisation level changes speed only: the examples give the same bytes
# at -O0 and -O2. Release stays at -O2 rather than CMake's -O3. NDEBUG is safe
# to define: no assert() guards anything in the program or its tests; the
# project's own checks have their switch below.
foreach(language C CXX)
  set(CMAKE_${language}_FLAGS_RELEASE "-O2 -DNDEBUG")
  set(CMAKE_${language}_FLAGS_DEBUG "-O0 -g")
endforeach()

# Float results are part of the program's output: no fused multiply-add, no
# reassociation, no machine-specific instruction selection, whatever the
# build type. -Wfloat-conversion names every implicit double-to-float
# narrowing: each is a rounding point, so each is written out as float(...).
add_compile_options(-ffp-contract=off -Wall -Wextra -Wfloat-conversion)

option(CORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(CORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer, for the tests of the code that runs on several threads;
# it cannot be combined with AddressSanitizer.
option(CORVANE_SANITIZE_THREADS "Build with ThreadSanitizer" OFF)
if(CORVANE_SANITIZE_THREADS)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=thread)
endif()

# CORVANE_CHECK (core/check.h) tests invariants in Debug and in the sanitizer
# builds, so that the sanitizer suites check them on every run; Release
# evaluates none of them.
if(CORVANE_SANITIZE OR CORVANE_SANITIZE_THREADS)
  add_compile_definitions(CORVANE_CHECKS=1)
else()
  add_compile_definitions($<$<CONFIG:Debug>:CORVANE_CHECKS=1>)
endif()

# The lane operations of core/lanes.h as plain arrays of four instead of the
# machine's SIMD registers. They give the same bytes; the switch lets one
# machine build and test both.
option(CORVANE_SCALAR_LANES "Build the lane operations as plain arrays instead of SSE2 or NEON" OFF)
if(CORVANE_SCALAR_LANES)
  add_compile_definitions(CORVANE_SCALAR_LANES=1)
endif()
