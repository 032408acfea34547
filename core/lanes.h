// Four float, four int32 and two double lanes side by side, for the ray
// query's tests of several boxes, planes or edges at once and the sensor's
// pixel margins. Each operation rounds as the scalar one does, so the lanes
// give the bytes of the code they replace on any machine: SSE2 on x86-64,
// NEON on AArch64, and plain arrays elsewhere or when CORVANE_SCALAR_LANES
// is defined. The arrays are always compiled (scalar_lanes), so that tests
// can hold the machine's lanes against them.
//
// Min and Max are SSE2's: Min(a, b) is a < b ? a : b, so it returns b when
// either is NaN and when both are zeros of either sign (Max likewise). The
// comparisons are ordered: false when either lane is NaN. A mask lane is all
// ones or all zeros; And, Or and AndNot work on the bits.
#pragma once

#include <cstdint>
#include <cstring>

namespace scalar_lanes {

struct Lanes4f {
  float v[4];
};
struct Lanes4i {
  int32_t v[4];
};
struct Lanes2d {
  double v[2];
};

inline uint32_t Bits(float x) {
  uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}
inline float FromBits(uint32_t b) {
  float x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}
inline uint64_t Bits(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}
inline double FromBits(uint64_t b) {
  double x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}

// Lane by lane: r[k] = op(a[k], b[k]).
template <typename Lanes, typename Op>
inline Lanes EachLane(Lanes a, Lanes b, Op op) {
  Lanes r;
  for (unsigned k = 0; k < sizeof(r.v) / sizeof(r.v[0]); ++k) r.v[k] = op(a.v[k], b.v[k]);
  return r;
}
inline float Mask4f(bool set) { return FromBits(set ? ~uint32_t(0) : uint32_t(0)); }
inline double Mask2d(bool set) { return FromBits(set ? ~uint64_t(0) : uint64_t(0)); }

inline Lanes4f Load4f(const float* p) { return Lanes4f{{p[0], p[1], p[2], p[3]}}; }
inline void Store(float* p, Lanes4f a) { std::memcpy(p, a.v, sizeof a.v); }
inline void StoreUnaligned(float* p, Lanes4f a) { std::memcpy(p, a.v, sizeof a.v); }
inline Lanes4f Broadcast4f(float x) { return Lanes4f{{x, x, x, x}}; }
inline Lanes4f Set4f(float x0, float x1, float x2, float x3) { return Lanes4f{{x0, x1, x2, x3}}; }
inline Lanes4f Zero4f() { return Broadcast4f(0.0f); }
inline Lanes4f MagnitudeMask4f() { return Broadcast4f(FromBits(uint32_t(0x7fffffff))); }

inline Lanes4f Add(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return x + y; });
}
inline Lanes4f Sub(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return x - y; });
}
inline Lanes4f Mul(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return x * y; });
}
inline Lanes4f Div(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return x / y; });
}
inline Lanes4f Min(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return x < y ? x : y; });
}
inline Lanes4f Max(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return x > y ? x : y; });
}
inline Lanes4f LessMask(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return Mask4f(x < y); });
}
inline Lanes4f LessEqualMask(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return Mask4f(x <= y); });
}
inline Lanes4f GreaterMask(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return Mask4f(x > y); });
}
inline Lanes4f GreaterEqualMask(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return Mask4f(x >= y); });
}
inline Lanes4f EqualMask(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return Mask4f(x == y); });
}
inline Lanes4f And(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return FromBits(Bits(x) & Bits(y)); });
}
inline Lanes4f Or(Lanes4f a, Lanes4f b) {
  return EachLane(a, b, [](float x, float y) { return FromBits(Bits(x) | Bits(y)); });
}
// The bits of b where mask is clear.
inline Lanes4f AndNot(Lanes4f mask, Lanes4f b) {
  return EachLane(mask, b, [](float x, float y) { return FromBits(~Bits(x) & Bits(y)); });
}
inline int MaskBits(Lanes4f a) {
  int bits = 0;
  for (int k = 0; k < 4; ++k) bits |= int(Bits(a.v[k]) >> 31) << k;
  return bits;
}
template <int k>
inline Lanes4f BroadcastLane(Lanes4f a) {
  return Broadcast4f(a.v[k]);
}
inline Lanes4f SwapHalves(Lanes4f a) { return Lanes4f{{a.v[2], a.v[3], a.v[0], a.v[1]}}; }
inline Lanes4f SwapNeighbours(Lanes4f a) { return Lanes4f{{a.v[1], a.v[0], a.v[3], a.v[2]}}; }
inline float FirstLane(Lanes4f a) { return a.v[0]; }

inline Lanes4i Load4i(const int32_t* p) { return Lanes4i{{p[0], p[1], p[2], p[3]}}; }
inline Lanes4i Zero4i() { return Lanes4i{{0, 0, 0, 0}}; }
inline Lanes4i GreaterMask(Lanes4i a, Lanes4i b) {
  return EachLane(a, b, [](int32_t x, int32_t y) { return x > y ? int32_t(-1) : int32_t(0); });
}
inline int MaskBits(Lanes4i a) {
  int bits = 0;
  for (int k = 0; k < 4; ++k) bits |= int(uint32_t(a.v[k]) >> 31) << k;
  return bits;
}

inline Lanes2d LoadUnaligned2d(const double* p) { return Lanes2d{{p[0], p[1]}}; }
inline Lanes2d Broadcast2d(double x) { return Lanes2d{{x, x}}; }
inline void StoreUnaligned(double* p, Lanes2d a) { std::memcpy(p, a.v, sizeof a.v); }
inline Lanes2d Add(Lanes2d a, Lanes2d b) {
  return EachLane(a, b, [](double x, double y) { return x + y; });
}
inline Lanes2d Sub(Lanes2d a, Lanes2d b) {
  return EachLane(a, b, [](double x, double y) { return x - y; });
}
inline Lanes2d Mul(Lanes2d a, Lanes2d b) {
  return EachLane(a, b, [](double x, double y) { return x * y; });
}
inline Lanes2d Min(Lanes2d a, Lanes2d b) {
  return EachLane(a, b, [](double x, double y) { return x < y ? x : y; });
}
inline Lanes2d GreaterEqualMask(Lanes2d a, Lanes2d b) {
  return EachLane(a, b, [](double x, double y) { return Mask2d(x >= y); });
}
inline Lanes2d And(Lanes2d a, Lanes2d b) {
  return EachLane(a, b, [](double x, double y) { return FromBits(Bits(x) & Bits(y)); });
}
inline Lanes2d AndNot(Lanes2d mask, Lanes2d b) {
  return EachLane(mask, b, [](double x, double y) { return FromBits(~Bits(x) & Bits(y)); });
}
inline int MaskBits(Lanes2d a) { return int(Bits(a.v[0]) >> 63) | int(Bits(a.v[1]) >> 63) << 1; }
// Each lane truncated toward zero to an int32 and back: SSE2's conversion,
// which gives INT32_MIN for NaN and for values outside the int32 range.
inline Lanes2d TruncatedToInt32(Lanes2d a) {
  Lanes2d r;
  for (int k = 0; k < 2; ++k) {
    bool fits = a.v[k] > -2147483649.0 && a.v[k] < 2147483648.0;
    r.v[k] = fits ? double(int32_t(a.v[k])) : -2147483648.0;
  }
  return r;
}

}  // namespace scalar_lanes

// CORVANE_MACHINE_LANES tells that native_lanes are not the arrays.
#if !defined(CORVANE_SCALAR_LANES) && defined(__SSE2__)
#include "core/lanes_sse2.h"
#define CORVANE_MACHINE_LANES 1
namespace native_lanes = sse2_lanes;
#elif !defined(CORVANE_SCALAR_LANES) && defined(__aarch64__) && defined(__ARM_NEON)
#include "core/lanes_neon.h"
#define CORVANE_MACHINE_LANES 1
namespace native_lanes = neon_lanes;
#else
namespace native_lanes = scalar_lanes;
#endif

// The machine's lanes, by the names the code uses.
using native_lanes::Add;
using native_lanes::And;
using native_lanes::AndNot;
using native_lanes::Broadcast2d;
using native_lanes::Broadcast4f;
using native_lanes::BroadcastLane;
using native_lanes::Div;
using native_lanes::EqualMask;
using native_lanes::FirstLane;
using native_lanes::GreaterEqualMask;
using native_lanes::GreaterMask;
using native_lanes::Lanes2d;
using native_lanes::Lanes4f;
using native_lanes::Lanes4i;
using native_lanes::LessEqualMask;
using native_lanes::LessMask;
using native_lanes::Load4f;
using native_lanes::Load4i;
using native_lanes::LoadUnaligned2d;
using native_lanes::MagnitudeMask4f;
using native_lanes::MaskBits;
using native_lanes::Max;
using native_lanes::Min;
using native_lanes::Mul;
using native_lanes::Or;
using native_lanes::Set4f;
using native_lanes::Store;
using native_lanes::StoreUnaligned;
using native_lanes::Sub;
using native_lanes::SwapHalves;
using native_lanes::SwapNeighbours;
using native_lanes::TruncatedToInt32;
using native_lanes::Zero4f;
using native_lanes::Zero4i;

// The lanes of b where mask is set, of c elsewhere.
template <typename Lanes>
inline Lanes Select(Lanes mask, Lanes b, Lanes c) {
  return Or(And(mask, b), AndNot(mask, c));
}
