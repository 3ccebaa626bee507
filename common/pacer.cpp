#include "common/pacer.h"

#include <cerrno>
#include <ctime>

namespace intro {

namespace {

constexpr int64_t kSecond = 1000000000;
constexpr int32_t kMaxRate = 1000;

}  // namespace

Pacer::Pacer(int32_t fps) { SetRate(fps); }

void Pacer::SetRate(int32_t fps) {
  fps_ = fps >= 1 && fps <= kMaxRate ? fps : 0;
  started_ = false;
}

int64_t Pacer::Deadline(int64_t k) const {
  return PacerDeadline(start_, k, fps_);
}

int64_t Pacer::Next(int64_t now) {
  if (fps_ == 0) return now;
  if (!started_ || now > Deadline(frame_ + 1)) {
    // The first frame, or more than one period behind: start again from now.
    started_ = true;
    start_ = now;
    frame_ = 0;
  }
  const int64_t due = Deadline(frame_);
  ++frame_;
  return due > now ? due : now;
}

void Pacer::Wait() {
  if (fps_ == 0) return;
  const int64_t due = Next(MonotonicNanoseconds());
  timespec at{static_cast<time_t>(due / kSecond),
              static_cast<long>(due % kSecond)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) ==
         EINTR) {
  }
}

int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * kSecond + now.tv_nsec;
}

int64_t PacerDeadline(int64_t start, int64_t k, int32_t fps) {
  // k = whole * fps + rest, so k * 10^9 / fps = whole * 10^9 + rest * 10^9 /
  // fps exactly; rest * 10^9 stays below 10^12.
  const int64_t whole = k / fps, rest = k % fps;
  return start + whole * kSecond + rest * kSecond / fps;
}

}  // namespace intro
