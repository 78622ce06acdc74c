#include "platform/crt_random.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(CrtRandomTest, MatchesTheWindowsRuntimeSequence) {
  // The Windows C runtime's rand() after srand(1) (also its state at start).
  CrtSrand(1);
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
  for (int value : expected) EXPECT_EQ(value, CrtRand());
  CrtSrand(0);
  EXPECT_EQ(38, CrtRand());
  EXPECT_EQ(7719, CrtRand());
}

// Finds a seed whose first draw is `wanted`, so that a test can place a
// chosen value where RandomInRange will draw it.
uint32_t SeedForFirstDraw(int wanted) {
  for (uint32_t seed = 0;; ++seed) {
    CrtSrand(seed);
    if (CrtRand() == wanted) return seed;
  }
}

int DrawWith(int r, int lo, int hi) {
  CrtSrand(SeedForFirstDraw(r));
  return RandomInRange(lo, hi);
}

TEST(RandomInRangeTest, TheTopDrawStaysInRangeAndOddBoundsAreMended) {
  EXPECT_EQ(2, DrawWith(32767, 1, 2));  // the scaling alone would give 3
  EXPECT_EQ(0, DrawWith(32767, 0, 0));
  EXPECT_EQ(1, DrawWith(32767, 1, 0));  // NumOfSites 0: bounds 0 and 1
  EXPECT_EQ(0, DrawWith(0, 1, 0));
  EXPECT_EQ(32767, DrawWith(32767, 1, -5));  // a negative hi becomes 32767
}

TEST(RandomInRangeTest, EveryIndexIsReachedAndNoneOutside) {
  CrtSrand(12345);
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    const int value = RandomInRange(0, 6);
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 6);
    seen.insert(value);
  }
  EXPECT_EQ(7u, seen.size());
}

}  // namespace
