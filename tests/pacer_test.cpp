// The frame pacer's schedule, driven by a clock of the test's own.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "common/pacer.h"

namespace {

constexpr int64_t kMs = 1000000;

struct ScheduleCase {
  const char* name;
  int32_t fps;
  std::vector<int64_t> asks;  // when each presentation is asked for (ns)
  std::vector<int64_t> dues;  // when each may be presented (ns)
};

void PrintTo(const ScheduleCase& c, std::ostream* os) { *os << c.name; }

class PacerSchedule : public testing::TestWithParam<ScheduleCase> {};

TEST_P(PacerSchedule, PresentsEachFrameAtItsDeadline) {
  const ScheduleCase& c = GetParam();
  intro::Pacer pacer(c.fps);
  std::vector<int64_t> dues;
  for (int64_t now : c.asks) dues.push_back(pacer.Next(now));
  EXPECT_EQ(dues, c.dues);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PacerSchedule,
    testing::Values(
        // Asked for early, each frame waits for start + k / fps.
        ScheduleCase{"EarlyFramesWaitForTheirDeadline",
                     50,
                     {100, 101, 102, 103},
                     {100, 100 + 20 * kMs, 100 + 40 * kMs, 100 + 60 * kMs}},
        // Late by less than a period: at once, and the schedule keeps its
        // course, so the next frame is not pushed back.
        ScheduleCase{"SlightlyLateFrameDoesNotShiftTheSchedule",
                     50,
                     {0, 25 * kMs, 26 * kMs},
                     {0, 25 * kMs, 40 * kMs}},
        // More than a period behind: the schedule starts again from now
        // instead of presenting a burst of overdue frames.
        // Frame 1 asked for 25 ms after its deadline, more than the 20 ms
        // period: kept on course, it would be followed by frame 2 at once.
        ScheduleCase{"LateByMoreThanOnePeriodRestartsTheSchedule",
                     50,
                     {0, 45 * kMs, 46 * kMs},
                     {0, 45 * kMs, 65 * kMs}},
        ScheduleCase{"LateByExactlyOnePeriodKeepsTheSchedule",
                     50,
                     {0, 40 * kMs, 41 * kMs},
                     {0, 40 * kMs, 41 * kMs}},
        ScheduleCase{"StallRestartsTheScheduleWithoutABurst",
                     50,
                     {0, 1, 500 * kMs, 500 * kMs + 1},
                     {0, 20 * kMs, 500 * kMs, 520 * kMs}},
        ScheduleCase{"UnlimitedNeverWaits", 0, {5, 6, 7}, {5, 6, 7}},
        ScheduleCase{"RateOutOfRangeIsUnlimited", 1001, {5, 6}, {5, 6}}),
    [](const testing::TestParamInfo<ScheduleCase>& info) {
      return info.param.name;
    });

// Deadlines come from the frame count, not from summed periods: at 60 a
// second (a period that is not a whole number of nanoseconds) frame 6000
// is due exactly 100 s after frame 0.
TEST(Pacer, DeadlinesDoNotDrift) {
  intro::Pacer pacer(60);
  int64_t due = 0;
  for (int k = 0; k <= 6000; ++k) due = pacer.Next(k == 0 ? 0 : due);
  EXPECT_EQ(due, 100000 * kMs);
}

// Deadlines of long runs: k * 10^9 leaves 64 bits from frame 9223372037 on,
// which a run at 1000 frames a second reaches after about 107 days. Checked
// against the same sum in 128 bits, on both sides of that frame and far past
// it, at rates whose period is and is not a whole number of nanoseconds.
struct DeadlineCase {
  const char* name;
  int64_t start, first;  // frames first .. first + 2 * kAcross are checked
  int32_t fps;
};

void PrintTo(const DeadlineCase& c, std::ostream* os) { *os << c.name; }

constexpr int64_t kOldLimit = INT64_MAX / 1000000000;  // the last safe frame
constexpr int64_t kAcross = 2000;

class PacerDeadlines : public testing::TestWithParam<DeadlineCase> {};

TEST_P(PacerDeadlines, AreExactAcrossTheFrameWhereTheProductOverflowed) {
  const DeadlineCase& c = GetParam();
  for (int64_t k = c.first; k <= c.first + 2 * kAcross; ++k) {
    const __int128 exact =
        c.start + static_cast<__int128>(k) * 1000000000 / c.fps;
    ASSERT_EQ(intro::PacerDeadline(c.start, k, c.fps), static_cast<int64_t>(exact))
        << "frame " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    LongRuns, PacerDeadlines,
    testing::Values(
        DeadlineCase{"FirstFramesAt60", 0, 0, 60},
        DeadlineCase{"AcrossTheOldLimitAt1000", 0, kOldLimit - kAcross, 1000},
        DeadlineCase{"AcrossTheOldLimitAt60", 0, kOldLimit - kAcross, 60},
        DeadlineCase{"AcrossTheOldLimitAt7FromALateStart", 123456789 * kMs,
                     kOldLimit - kAcross, 7},
        // A year of presentations at 1000 a second.
        DeadlineCase{"AYearAt1000", 5, int64_t(365) * 86400 * 1000, 1000}),
    [](const testing::TestParamInfo<DeadlineCase>& info) {
      return info.param.name;
    });

}  // namespace
