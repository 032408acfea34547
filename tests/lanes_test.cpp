#include "core/lanes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// The machine's lanes (SSE2, NEON) against the plain arrays, bit for bit;
// in a build with CORVANE_SCALAR_LANES both sides are the arrays.

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kDenormal = std::numeric_limits<float>::denorm_min();

// Values where rounding, NaN and signed zeros decide: each pair of them
// meets in some lane.
const std::vector<float> kSpecialFloats = {0.0f,   -0.0f, 1.0f,  -1.0f,    0.5f,      3.0f,       -7.25f,
                                           kInf,   -kInf, kNaN,  -kNaN,    kDenormal, -kDenormal, 1e-38f,
                                           1e-30f, 2e-6f, 1e38f, -3.4e38f, 0.0001f,   1.0001f,    16777217.0f};
const std::vector<double> kSpecialDoubles = {0.0,
                                             -0.0,
                                             0.5,
                                             -0.5,
                                             1.0,
                                             -1.0,
                                             0.9999999999,
                                             1023.75,
                                             -1023.75,
                                             2147483647.0,
                                             2147483647.9,
                                             2147483648.0,
                                             -2147483648.0,
                                             -2147483648.9,
                                             -2147483649.0,
                                             1e300,
                                             -1e300,
                                             5e-324,
                                             -5e-324,
                                             1.0 / 3.0,
                                             std::numeric_limits<double>::infinity(),
                                             -std::numeric_limits<double>::infinity(),
                                             std::numeric_limits<double>::quiet_NaN()};

uint32_t FloatBits(float x) {
  uint32_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}
uint64_t DoubleBits(double x) {
  uint64_t b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}

// The bits of each lane of a result, whichever side gave it.
std::vector<uint64_t> LaneBits(int x) { return {uint64_t(x)}; }
std::vector<uint64_t> LaneBits(float x) { return {FloatBits(x)}; }
template <typename Lanes4f>
std::vector<uint64_t> FloatLaneBits(Lanes4f a) {
  alignas(16) float v[4];
  Store(v, a);
  return {FloatBits(v[0]), FloatBits(v[1]), FloatBits(v[2]), FloatBits(v[3])};
}
template <typename Lanes2d>
std::vector<uint64_t> DoubleLaneBits(Lanes2d a) {
  double v[2];
  StoreUnaligned(v, a);
  return {DoubleBits(v[0]), DoubleBits(v[1])};
}
std::vector<uint64_t> LaneBits(scalar_lanes::Lanes4f a) { return FloatLaneBits(a); }
std::vector<uint64_t> LaneBits(scalar_lanes::Lanes2d a) { return DoubleLaneBits(a); }
#if defined(CORVANE_MACHINE_LANES)
std::vector<uint64_t> LaneBits(native_lanes::Lanes4f a) { return FloatLaneBits(a); }
std::vector<uint64_t> LaneBits(native_lanes::Lanes2d a) { return DoubleLaneBits(a); }
#endif

// Lane quadruples: every pair of special values in some lane, then random
// bit patterns (NaN payloads, denormals and all).
std::vector<std::vector<float>> FloatInputs() {
  std::vector<std::vector<float>> inputs;
  const size_t n = kSpecialFloats.size();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      inputs.push_back(
          {kSpecialFloats[i], kSpecialFloats[j], kSpecialFloats[(i + j) % n], kSpecialFloats[(i + 2 * j) % n]});
    }
  }
  std::mt19937 bits(50);
  for (int r = 0; r < 20000; ++r) {
    std::vector<float> lanes(4);
    for (float& x : lanes) {
      uint32_t b = uint32_t(bits());
      std::memcpy(&x, &b, sizeof x);
    }
    inputs.push_back(lanes);
  }
  return inputs;
}

// op(a, b) on both sides for a, b from every pair of inputs in turn; op is
// a generic lambda whose unqualified calls find each side's operations.
template <typename Op>
void ExpectSameFloatLanes(const std::string& name, Op op) {
  const std::vector<std::vector<float>> inputs = FloatInputs();
  for (size_t i = 0; i < inputs.size(); ++i) {
    alignas(16) float a[4];
    alignas(16) float b[4];
    std::memcpy(a, inputs[i].data(), sizeof a);
    std::memcpy(b, inputs[(i * 7 + 1) % inputs.size()].data(), sizeof b);
    for (int k = 0; k < 4; ++k) b[k] = (i % 5 == 0) ? a[(k + 1) % 4] : b[k];  // equal and swapped lanes
    std::vector<uint64_t> native = LaneBits(op(native_lanes::Load4f(a), native_lanes::Load4f(b)));
    std::vector<uint64_t> scalar = LaneBits(op(scalar_lanes::Load4f(a), scalar_lanes::Load4f(b)));
    ASSERT_EQ(native, scalar) << name << " of input " << i;
  }
}

template <typename Op>
void ExpectSameDoubleLanes(const std::string& name, Op op) {
  const size_t n = kSpecialDoubles.size();
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      const double a[2] = {kSpecialDoubles[i], kSpecialDoubles[j]};
      const double b[2] = {kSpecialDoubles[j], kSpecialDoubles[(i + j) % n]};
      std::vector<uint64_t> native = LaneBits(op(native_lanes::LoadUnaligned2d(a), native_lanes::LoadUnaligned2d(b)));
      std::vector<uint64_t> scalar = LaneBits(op(scalar_lanes::LoadUnaligned2d(a), scalar_lanes::LoadUnaligned2d(b)));
      ASSERT_EQ(native, scalar) << name << " of " << a[0] << ", " << a[1] << " and " << b[0] << ", " << b[1];
    }
  }
}

#define EXPECT_SAME_FLOAT_LANES(expression) \
  ExpectSameFloatLanes(#expression, []([[maybe_unused]] auto a, [[maybe_unused]] auto b) { return expression; })
#define EXPECT_SAME_DOUBLE_LANES(expression) \
  ExpectSameDoubleLanes(#expression, []([[maybe_unused]] auto a, [[maybe_unused]] auto b) { return expression; })

TEST(Lanes, ArithmeticMatchesTheArraysBitForBit) {
  EXPECT_SAME_FLOAT_LANES(Add(a, b));
  EXPECT_SAME_FLOAT_LANES(Sub(a, b));
  EXPECT_SAME_FLOAT_LANES(Mul(a, b));
  EXPECT_SAME_FLOAT_LANES(Div(a, b));
  EXPECT_SAME_FLOAT_LANES(Min(a, b));
  EXPECT_SAME_FLOAT_LANES(Max(a, b));
}

TEST(Lanes, ComparisonsAndMasksMatchTheArrays) {
  EXPECT_SAME_FLOAT_LANES(LessMask(a, b));
  EXPECT_SAME_FLOAT_LANES(LessEqualMask(a, b));
  EXPECT_SAME_FLOAT_LANES(GreaterMask(a, b));
  EXPECT_SAME_FLOAT_LANES(GreaterEqualMask(a, b));
  EXPECT_SAME_FLOAT_LANES(EqualMask(a, b));
  EXPECT_SAME_FLOAT_LANES(And(a, b));
  EXPECT_SAME_FLOAT_LANES(Or(a, b));
  EXPECT_SAME_FLOAT_LANES(AndNot(a, b));
  EXPECT_SAME_FLOAT_LANES(Select(LessMask(a, b), a, b));
  EXPECT_SAME_FLOAT_LANES(MaskBits(a));
  EXPECT_SAME_FLOAT_LANES(MaskBits(GreaterEqualMask(a, b)));
}

TEST(Lanes, ShufflesAndConstantsMatchTheArrays) {
  EXPECT_SAME_FLOAT_LANES(BroadcastLane<1>(a));
  EXPECT_SAME_FLOAT_LANES(BroadcastLane<2>(b));
  EXPECT_SAME_FLOAT_LANES(SwapHalves(a));
  EXPECT_SAME_FLOAT_LANES(SwapNeighbours(a));
  EXPECT_SAME_FLOAT_LANES(FirstLane(b));
  EXPECT_EQ(LaneBits(native_lanes::Set4f(1.0f, -0.0f, kNaN, kDenormal)),
            LaneBits(scalar_lanes::Set4f(1.0f, -0.0f, kNaN, kDenormal)));
  EXPECT_EQ(LaneBits(native_lanes::Broadcast4f(-kInf)), LaneBits(scalar_lanes::Broadcast4f(-kInf)));
  EXPECT_EQ(LaneBits(native_lanes::Zero4f()), LaneBits(scalar_lanes::Zero4f()));
  EXPECT_EQ(LaneBits(native_lanes::MagnitudeMask4f()), LaneBits(scalar_lanes::MagnitudeMask4f()));
  EXPECT_EQ(LaneBits(native_lanes::MagnitudeMask4f()), std::vector<uint64_t>(4, 0x7fffffff));
}

// The rule the ray query's widening and slab tests rely on, on the machine's lanes.
TEST(Lanes, MinAndMaxGiveTheSecondOperandForNaNAndZeros) {
  const Lanes4f first = Set4f(kNaN, 1.0f, -0.0f, 0.0f);
  const Lanes4f second = Set4f(1.0f, kNaN, 0.0f, -0.0f);
  for (const Lanes4f& m : {Min(first, second), Max(first, second)}) {
    std::vector<uint64_t> bits = LaneBits(m);
    EXPECT_EQ(bits[0], FloatBits(1.0f));
    EXPECT_NE(bits[1] & 0x7fc00000, 0u) << "NaN";
    EXPECT_EQ(bits[2], FloatBits(0.0f));
    EXPECT_EQ(bits[3], FloatBits(-0.0f));
  }
}

TEST(Lanes, IntegerLanesMatchTheArrays) {
  const int32_t values[] = {std::numeric_limits<int32_t>::min(), -2, -1, 0, 1, 7, std::numeric_limits<int32_t>::max()};
  for (int32_t x : values) {
    for (int32_t y : values) {
      alignas(16) const int32_t a[4] = {x, y, 0, ~x};
      alignas(16) const int32_t b[4] = {y, x, y, 0};
      int native = MaskBits(GreaterMask(native_lanes::Load4i(a), native_lanes::Load4i(b)));
      int scalar = MaskBits(GreaterMask(scalar_lanes::Load4i(a), scalar_lanes::Load4i(b)));
      ASSERT_EQ(native, scalar) << x << " against " << y;
      EXPECT_EQ(MaskBits(GreaterMask(native_lanes::Load4i(a), native_lanes::Zero4i())),
                MaskBits(GreaterMask(scalar_lanes::Load4i(a), scalar_lanes::Zero4i())));
    }
  }
}

TEST(Lanes, DoubleLanesMatchTheArrays) {
  EXPECT_SAME_DOUBLE_LANES(Add(a, b));
  EXPECT_SAME_DOUBLE_LANES(Sub(a, b));
  EXPECT_SAME_DOUBLE_LANES(Mul(a, b));
  EXPECT_SAME_DOUBLE_LANES(Min(a, b));
  EXPECT_SAME_DOUBLE_LANES(GreaterEqualMask(a, b));
  EXPECT_SAME_DOUBLE_LANES(And(GreaterEqualMask(a, b), b));
  EXPECT_SAME_DOUBLE_LANES(AndNot(a, b));
  EXPECT_SAME_DOUBLE_LANES(MaskBits(a));
  EXPECT_SAME_DOUBLE_LANES(TruncatedToInt32(a));
}

TEST(Lanes, TruncationGivesInt32MinOutsideTheInt32Range) {
  // Read at run time: GCC folds a constant conversion beyond the range differently.
  volatile double beyond = 2147483648.0;
  const double in[2] = {-0.75, beyond};
  std::vector<uint64_t> bits = LaneBits(TruncatedToInt32(LoadUnaligned2d(in)));
  EXPECT_EQ(bits[0], DoubleBits(0.0));
  EXPECT_EQ(bits[1], DoubleBits(-2147483648.0));
}

}  // namespace
