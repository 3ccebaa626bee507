// Frame pacing: at most a given number of presentations a second, on absolute
// deadlines. Deadline k of a run is start + k * 10^9 / fps nanoseconds, taken
// from the frame count rather than summed, so the schedule never drifts, and
// computed without overflow however long the run (PacerDeadline). A
// frame that is late by at most one period is presented at once and the
// schedule keeps its course; one that is later than that starts the schedule
// again from now, so a stall is never followed by a burst. Waiting sleeps on
// the monotonic clock; it never spins.
#pragma once

#include <cstdint>

namespace intro {

class Pacer {
 public:
  // fps from 1 to 1000 paces; 0 (or anything outside that range) is
  // unlimited, and Wait then returns at once. A default pacer is unlimited.
  Pacer() = default;
  explicit Pacer(int32_t fps);

  void SetRate(int32_t fps);
  int32_t Rate() const { return fps_; }

  // Sleeps until the next presentation is due.
  void Wait();

  // The moment, in nanoseconds of the monotonic clock, at which the
  // presentation asked for at now is due; advances the schedule by one frame.
  // Wait is this plus the sleep, kept apart so the schedule can be checked
  // without a clock.
  int64_t Next(int64_t now);

 private:
  int64_t Deadline(int64_t k) const;

  int32_t fps_ = 0;
  bool started_ = false;
  int64_t start_ = 0;  // when frame 0 of the current schedule was due
  int64_t frame_ = 0;  // the frame whose deadline comes next
};

// Nanoseconds of the monotonic clock.
int64_t MonotonicNanoseconds();

// start + floor(k * 10^9 / fps): when frame k (0 or more) of a schedule whose
// frame 0 was due at start falls due at fps (1 to 1000) frames a second. The
// frame count is split into whole seconds and the frames left over, so the
// result is exact and nothing overflows for any k whose deadline itself fits
// in 64 bits (292 years of nanoseconds), not only while k * 10^9 does.
int64_t PacerDeadline(int64_t start, int64_t k, int32_t fps);

}  // namespace intro
