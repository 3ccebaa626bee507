// Starfield: creation, the random velocities and their draw order, moving,
// resetting at the area's edges and plotting.
#include "textscreen/stars.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "common/random.h"
#include "tests/test_support.h"

namespace {

using test::Grid;
using test::OwnedScreen;
using test::OwnedStars;

// Every reset star: exactly on the centre cell, with components of at most
// 32767 and together at least 8192.
void ExpectFreshStar(const Starfield* f, const Star& s) {
  EXPECT_EQ(s.x, (f->width / 2) * 65536);
  EXPECT_EQ(s.y, (f->height / 2) * 65536);
  EXPECT_LE(std::abs(s.vx), 32767);
  EXPECT_LE(std::abs(s.vy), 32767);
  EXPECT_GE(std::abs(s.vx) + std::abs(s.vy), 8192);
}

TEST(StarsNew, TenStarsAtTheCentreOfEightyByTwentyFive) {
  OwnedStars f(STARSNew());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->originCol, 0);
  EXPECT_EQ(f->originRow, 0);
  EXPECT_EQ(f->width, 80);
  EXPECT_EQ(f->height, 25);
  ASSERT_EQ(f->count, 10);
  for (int32_t i = 0; i < f->count; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f->stars[i].x, 40 * 65536);
    EXPECT_EQ(f->stars[i].y, 12 * 65536);
    ExpectFreshStar(f, f->stars[i]);
  }
}

TEST(StarsFree, ReleasesTheFieldAndSetsTheHandleToNone) {
  Starfield* f = STARSNew();
  ASSERT_NE(f, nullptr);
  STARSFree(&f);
  EXPECT_EQ(f, nullptr);
  STARSFree(&f);
  STARSFree(nullptr);
}

// The generator's first outputs are 41, 18467, 6334, 26500, 19169, 15724,
// 11478, 29358, 26962, 24464, 5705, 28145, 23281, 16827, 9961, 491, 2995,
// 11942, 4827, 5436. Each star takes a then b, then a sign draw for vx and
// one for vy (odd = negative).
TEST(StarsReset, DrawsVelocityThenSignsInOrder) {
  intro::RandReset();
  OwnedStars f(STARSNew());
  ASSERT_NE(f, nullptr);
  const int32_t want[5][2] = {{41, 18467},
                              {19169, 15724},
                              {-26962, -24464},
                              {-23281, -16827},
                              {-2995, 11942}};
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(f->stars[i].vx, want[i][0]) << i;
    EXPECT_EQ(f->stars[i].vy, want[i][1]) << i;
  }
}

// The intro makes 10 stars, then 512 more on the text screen's area, and its
// first scene then draws two phases: 319 and 258 with this generator. Any
// change in the number or order of the stars' draws moves them.
TEST(StarsReset, LeavesTheGeneratorWhereTheFirstSceneExpectsIt) {
  intro::RandReset();
  OwnedStars f(STARSNew());
  f->width = 40;
  f->height = 25;
  STARSSetCount(f, 512);
  ASSERT_EQ(f->count, 512);
  const int32_t p = intro::rand() % 1024;
  const int32_t q = intro::rand() % 1024;
  EXPECT_EQ(p, 319);
  EXPECT_EQ(q, 258);
}

TEST(StarsReset, SameVelocitiesOnEveryReplay) {
  auto velocities = [] {
    intro::RandReset();
    OwnedStars f(STARSNew());
    STARSSetCount(f, 100);
    std::vector<int32_t> v;
    for (int32_t i = 0; i < f->count; ++i) {
      v.push_back(f->stars[i].vx);
      v.push_back(f->stars[i].vy);
    }
    return v;
  };
  EXPECT_EQ(velocities(), velocities());
}

TEST(StarsSetCount, ManyStarsAllStartFreshFromTheNewCentre) {
  OwnedStars f(STARSNew());
  f->width = 41;
  f->height = 60;
  STARSSetCount(f, 2000);
  ASSERT_EQ(f->count, 2000);
  bool negativeX = false, negativeY = false;
  for (int32_t i = 0; i < f->count; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f->stars[i].x, 20 * 65536);
    EXPECT_EQ(f->stars[i].y, 30 * 65536);
    ExpectFreshStar(f, f->stars[i]);
    negativeX |= f->stars[i].vx < 0;
    negativeY |= f->stars[i].vy < 0;
  }
  EXPECT_TRUE(negativeX);
  EXPECT_TRUE(negativeY);
}

// The area is read only when a star is reset: changing it moves no star, and
// the next reset puts that one star (and no other) on the new centre.
TEST(StarsSetCount, ChangingTheAreaMovesNoStarUntilItIsReset) {
  OwnedStars f(STARSNew());
  ASSERT_EQ(f->count, 10);
  f->width = 10;
  f->height = 4;
  STARSReset(f, 3);
  for (int32_t i = 0; i < f->count; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f->stars[i].x, (i == 3 ? 5 : 40) * 65536);
    EXPECT_EQ(f->stars[i].y, (i == 3 ? 2 : 12) * 65536);
  }
}

TEST(StarsSetCount, ZeroOrNegativeLeavesNoStars) {
  for (int32_t n : {0, -1, INT32_MIN}) {
    OwnedStars f(STARSNew());
    STARSSetCount(f, n);
    EXPECT_EQ(f->count, 0) << n;
    STARSMove(f);
    OwnedScreen screen(SCRNew());
    SCRResize(screen, 3, 2);
    STARSDraw(f, screen);
    EXPECT_EQ(Grid(screen), "   \n   ") << n;
  }
}

struct MoveCase {
  const char* name;
  Star star;   // on a 10 x 4 area
  bool reset;  // else the star moved by its velocity
};
void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name; }

class StarsMoveOne : public testing::TestWithParam<MoveCase> {};

TEST_P(StarsMoveOne, ResetsExactlyTheStarsThatLeaveTheArea) {
  const MoveCase& c = GetParam();
  OwnedStars f(STARSNew());
  f->width = 10;
  f->height = 4;
  STARSSetCount(f, 1);
  f->stars[0] = c.star;
  STARSMove(f);
  const Star& s = f->stars[0];
  if (c.reset) {
    ExpectFreshStar(f, s);
  } else {
    EXPECT_EQ(s.x, c.star.x + c.star.vx);
    EXPECT_EQ(s.y, c.star.y + c.star.vy);
    EXPECT_EQ(s.vx, c.star.vx);
    EXPECT_EQ(s.vy, c.star.vy);
  }
}

constexpr int32_t kCell = 65536;

INSTANTIATE_TEST_SUITE_P(
    Edges, StarsMoveOne,
    testing::Values(
        MoveCase{"InsideStays", {3 * kCell, 2 * kCell, 5000, -7000}, false},
        MoveCase{"LeftEdgeFractionStays",
                 {kCell - 1, kCell, -(kCell - 1), 0},
                 false},
        MoveCase{"PastLeftEdge", {kCell - 1, kCell, -kCell, 0}, true},
        MoveCase{
            "LastColumnStays", {8 * kCell, kCell, kCell + kCell - 1, 0}, false},
        MoveCase{"ColumnReachesWidth", {9 * kCell, kCell, kCell, 0}, true},
        MoveCase{"PastTopEdge", {kCell, 100, 0, -101}, true},
        MoveCase{"LastRowStays", {kCell, 3 * kCell, 0, kCell - 1}, false},
        MoveCase{"RowReachesHeight", {kCell, 3 * kCell, 0, kCell}, true},
        MoveCase{"PositionWrapsAround", {INT32_MAX, kCell, 1, 0}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StarsMove, EveryStarStaysInsideTheArea) {
  OwnedStars f(STARSNew());
  f->width = 23;
  f->height = 7;
  STARSSetCount(f, 300);
  for (int step = 0; step < 200; ++step) {
    STARSMove(f);
    for (int32_t i = 0; i < f->count; ++i) {
      const Star& s = f->stars[i];
      ASSERT_GE(s.x, 0);
      ASSERT_GE(s.y, 0);
      ASSERT_LT(s.x >> 16, 23);
      ASSERT_LT(s.y >> 16, 7);
    }
  }
}

TEST(StarsDraw, PlotsOnlyTheCellsOnTheScreen) {
  OwnedStars f(STARSNew());
  STARSSetCount(f, 5);
  const int32_t at[5][2] = {{0, 0}, {4, 2}, {2, 1}, {5, 1}, {1, 3}};
  for (int32_t i = 0; i < 5; ++i) {
    f->stars[i].x = at[i][0] * kCell + 0xFFFF;  // the fraction is dropped
    f->stars[i].y = at[i][1] * kCell + 0x8000;
  }
  OwnedScreen screen(SCRNew());
  SCRResize(screen, 5, 3);
  STARSDraw(f, screen);
  EXPECT_EQ(Grid(screen),
            "*    \n"
            "  *  \n"
            "    *");
}

TEST(StarsNone, OperationsOnNoneDoNothing) {
  STARSSetCount(nullptr, 3);
  STARSMove(nullptr);
  STARSReset(nullptr, 0);
  STARSDraw(nullptr, OwnedScreen(SCRNew()));
  OwnedStars f(STARSNew());
  STARSDraw(f, nullptr);
  const Star before = f->stars[0];
  STARSReset(f, -1);
  STARSReset(f, f->count);
  EXPECT_EQ(f->stars[0].vx, before.vx);
  EXPECT_EQ(f->stars[0].vy, before.vy);
}

}  // namespace
