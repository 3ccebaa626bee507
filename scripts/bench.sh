#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them all, each against its peers or
# its floor in the same run; every program ends with its table of ratios of
# medians. The repetitions of all the benchmarks of a program run in random
# order, so a slow spell of a shared machine falls on ours and the peers alike.
# Usage: scripts/bench.sh [extra Google Benchmark flags]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh" test
cmake -S "$here" -B "$here/build-bench" -DCMAKE_BUILD_TYPE=Release \
  -DINTRO_BENCH=ON -DINTRO_TESTS=OFF >/dev/null
cmake --build "$here/build-bench" -j"$(nproc)"
export SDL_VIDEODRIVER=dummy
# Each program stays on one processor, the last one it may use: the virtual
# processors of a shared machine can differ a lot in speed (on the one this
# was written on, by up to 2.5 times for work bound by memory), and a program
# that migrated half way would compare ours and a peer measured on different
# ones.
pin=()
if command -v taskset >/dev/null; then
  cpu=$(taskset -cp $$ | sed 's/.*: //' | tr ',' '\n' | tail -n1 | sed 's/.*-//')
  pin=(taskset -c "$cpu")
fi
for bench in pnm_bench transform_bench render_bench present_bench frame_bench fade_bench; do
  echo "== $bench"
  "${pin[@]}" "$here/build-bench/bench/$bench" --benchmark_repetitions=5 \
    --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true "$@" 2>&1 |
    grep -v -E '_(mean|stddev|cv) '
done
# The GIF recorder: size and processor time of 1,000 presentations.
echo "== gif_bench"
"${pin[@]}" bash "$here/bench/gif_bench.sh" "$here/build-bench/bin/intro-capture" "$here/data"
