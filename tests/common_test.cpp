// The shared random generator and sine table, checked against values
// computed here from their definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <map>
#include <numbers>

#include "common/random.h"
#include "common/sintab.h"

namespace {

TEST(Rand, StartsWithTheKnownValues) {
  intro::RandReset();
  for (int32_t want : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358})
    EXPECT_EQ(intro::rand(), want);
}

TEST(Rand, FollowsTheRecurrenceFromStateOne) {
  intro::RandReset();
  uint64_t state = 1;
  for (int i = 0; i < 100000; ++i) {
    state = (state * 214013 + 2531011) % (uint64_t(1) << 32);
    ASSERT_EQ(intro::rand(), int32_t(state >> 16 & 0x7FFF)) << "call " << i;
  }
}

TEST(Rand, ResetReplaysTheSequence) {
  intro::RandReset();
  const int32_t a = intro::rand(), b = intro::rand();
  intro::rand();
  intro::RandReset();
  EXPECT_EQ(intro::rand(), a);
  EXPECT_EQ(intro::rand(), b);
}

// One period of SINTAB_SIZE entries: the modulus every user takes is the
// table's length, and entry k is the sine at k / SINTAB_SIZE of a turn.
TEST(SinTab, EveryEntryIsTheRoundedSineButTheListedOnes) {
  ASSERT_EQ(intro::SINTAB_SIZE, static_cast<int32_t>(std::size(intro::SINTAB)));
  const std::map<int, int> exceptions = {
      {129, 23312},  {383, 23312},  {183, 29535},  {329, 29535}, {641, -23312},
      {895, -23312}, {695, -29535}, {841, -29535}, {256, 32766}, {768, -32766}};
  for (int k = 0; k < intro::SINTAB_SIZE; ++k) {
    auto e = exceptions.find(k);
    const long want = e != exceptions.end()
                          ? e->second
                          : std::lround(32767 * std::sin(2 * std::numbers::pi *
                                                         k / intro::SINTAB_SIZE));
    ASSERT_EQ(intro::SINTAB[k], want) << "entry " << k;
  }
}

}  // namespace
