#include "platform/random.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <set>

namespace {

// Every test starts from the generator's start state.
class RandomTest : public ::testing::Test {
 protected:
  void SetUp() override { SeedRnd(0); }
};

// One step of the generator is observable through UnitRandomSingle (it consumes one).
int NextState() {
  UnitRandomSingle();
  return QueryRndState();
}

TEST_F(RandomTest, StartStateAndTheFirstSixStepsAreTheMinstdSequence) {
  EXPECT_EQ(QueryRndState(), 4660);
  const int expected[] = {224942860, 539475828, 650989866, 1951098782, 1446483090, 2049422479};
  for (int e : expected) EXPECT_EQ(NextState(), e);
}

TEST_F(RandomTest, UnitValuesFromTheStartStateAreExact) {
  EXPECT_EQ(UnitRandomDouble(), 0.4189887270692887);
  EXPECT_EQ(QueryRndState(), 539475828);  // two steps
  SeedRnd(0);
  EXPECT_EQ(UnitRandomSingle(), 0.837977409362793f);
  EXPECT_EQ(QueryRndState(), 224942860);  // one step
}

TEST_F(RandomTest, RandSequencesFromTheStartState) {
  for (int e : {3, 2, 5, 1, 4}) EXPECT_EQ(Rand(1, 6), e);
  SeedRnd(0);
  EXPECT_EQ(Rand(6, 1), 3);  // bounds in either order
  SeedRnd(0);
  EXPECT_EQ(Rand(2000, 9999), 5351);
}

TEST_F(RandomTest, EqualBoundsReturnTheBoundAndStillConsumeTwoSteps) {
  EXPECT_EQ(Rand(7, 7), 7);
  EXPECT_EQ(QueryRndState(), 539475828);
  EXPECT_EQ(Rnd(2.5, 2.5), 2.5);
  EXPECT_EQ(QueryRndState(), 1951098782);
}

TEST_F(RandomTest, SeedingClearsTheSignAndAvoidsTheFixedPoints) {
  SeedRnd(12345);
  EXPECT_EQ(QueryRndState(), 12345);
  EXPECT_EQ(RndSeed(), 12345);
  for (int bad : {0, -1, 2147483647}) {
    SeedRnd(bad);
    EXPECT_EQ(QueryRndState(), 4660) << bad;
  }
  SeedRnd(-5);
  EXPECT_EQ(QueryRndState(), 2147483643);
  EXPECT_EQ(RndSeed(), -5);
}

TEST_F(RandomTest, RndStaysInsideItsHalfOpenRangeInEitherOrder) {
  for (int i = 0; i < 2000; ++i) {
    double a = Rnd(-3.0, 5.0);
    EXPECT_GE(a, -3.0);
    EXPECT_LT(a, 5.0);
    double b = Rnd(5.0, -3.0);
    EXPECT_GE(b, -3.0);
    EXPECT_LT(b, 5.0);
    double u = Rnd();
    EXPECT_GE(u, 0.0);
    EXPECT_LT(u, 1.0);
    // Far from zero the doubles are 2 apart here: rounding must not reach the bound.
    EXPECT_LT(Rnd(1e16, 1e16 + 4), 1e16 + 4);
    // A span beyond the largest double still gives numbers inside the bounds.
    double wide = Rnd(-DBL_MAX, DBL_MAX);
    EXPECT_TRUE(wide >= -DBL_MAX && wide < DBL_MAX) << wide;
  }
}

TEST_F(RandomTest, RandCoversSmallRangesAndTheWholeIntRangeWithoutOverflow) {
  std::set<int> seen;
  for (int i = 0; i < 600; ++i) {
    int v = Rand(-2, 3);
    ASSERT_GE(v, -2);
    ASSERT_LE(v, 3);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 6u);
  bool negative = false, positive = false;
  for (int i = 0; i < 200; ++i) {
    int v = Rand(INT_MIN, INT_MAX);
    negative |= v < -1000000000;
    positive |= v > 1000000000;
    int w = Rand(INT_MAX, INT_MIN);
    negative |= w < -1000000000;
    positive |= w > 1000000000;
  }
  EXPECT_TRUE(negative);
  EXPECT_TRUE(positive);
  EXPECT_EQ(Rand(INT_MAX, INT_MAX), INT_MAX);
  EXPECT_EQ(Rand(INT_MIN, INT_MIN), INT_MIN);
}

TEST_F(RandomTest, UnitDoubleNeverReachesOne) {
  // The largest state gives the largest value: still below 1.
  for (int i = 0; i < 100000; ++i) ASSERT_LT(UnitRandomDouble(), 1.0);
  for (int i = 0; i < 100000; ++i) ASSERT_LT(UnitRandomSingle(), 1.0f);
}

}  // namespace
