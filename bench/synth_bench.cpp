// The synthesizer's cost: the intro's song rendered for 60 s (2,880,000
// frames) in the audio callback's blocks of 1024 frames, in processor time.
// The target is at most 0.3 s for the minute; the "realtime" counter says how
// many seconds of sound a second of processor time renders.
//
//   synth_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "synth/synth.h"

namespace {

constexpr char kSongFile[] = INTRO_SOURCE_DIR "/data/song.txt";
constexpr int32_t kSeconds = 60;
constexpr int32_t kBlock = 1024;

void SongMinute(benchmark::State& state) {
  char error[256] = "";
  Song* song = SONGLoad(kSongFile, error, sizeof error);
  if (!song) {
    state.SkipWithError(error);
    return;
  }
  std::vector<int16_t> out(kBlock * SYNTH_CHANNELS);
  for (auto _ : state) {
    Synth* synth = SYNTHNew(song);
    for (int32_t done = 0; done < kSeconds * SYNTH_RATE; done += kBlock) {
      SYNTHRender(synth, out.data(), kBlock);
      benchmark::DoNotOptimize(out.data());
    }
    SYNTHFree(&synth);
  }
  state.counters["realtime"] = benchmark::Counter(
      kSeconds * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
  SONGFree(&song);
}
BENCHMARK(SongMinute)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
