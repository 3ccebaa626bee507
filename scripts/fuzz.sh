#!/usr/bin/env bash
# Builds the fuzz targets with clang-14 (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for a number of executions.
#
#   scripts/fuzz.sh [-n RUNS] [-t SECONDS] [-j JOBS] [TARGET...]
#
#   -n RUNS   executions per target (default 1000000)
#   -t SECONDS  run each target for this long instead (no execution limit)
#   -j JOBS   build jobs (default 2)
#   TARGET    img_parse, img_load, img_from_ascii, text_art, transform
#             (default: all, one after the other)
#
# Each target starts from its seeds in fuzz/corpus/<target> and keeps what it
# finds in build-fuzz-clang/corpus/<target>, which later runs continue from;
# the committed seeds are not changed. A crash, leak, timeout (-timeout=5),
# allocation over 64 MB or RSS over 2 GB is saved into fuzz/crashes/<target>,
# where the fuzz.replay.<target> tests replay it from then on. Prints the
# executions per second of every target and exits non-zero if any failed.
# Needs: clang-14 libclang-rt-14-dev llvm-14 (and the build's usual packages).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=1000000
seconds=0
jobs=2
while getopts "n:t:j:h" opt; do
  case "$opt" in
    n) runs=$OPTARG ;;
    t) seconds=$OPTARG; runs=-1 ;;
    j) jobs=$OPTARG ;;
    *) sed -n '2,20p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
targets=("$@")
[ ${#targets[@]} -eq 0 ] &&
  targets=(img_parse img_load img_from_ascii text_art transform)

if ! command -v clang++-14 >/dev/null; then
  echo "fuzz.sh needs clang-14: apt-get install -y clang-14 libclang-rt-14-dev llvm-14" >&2
  exit 2
fi

build="$here/build-fuzz-clang"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DINTRO_SANITIZE=ON -DINTRO_FUZZ=ON -DINTRO_TESTS=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target "${targets[@]/#/fuzz_}"

status=0
summary=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  crashes="$here/fuzz/crashes/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$corpus" "$crashes"
  if [ "$seconds" -gt 0 ]; then
    echo "== $target: $seconds seconds (log: $log)"
  else
    echo "== $target: $runs executions (log: $log)"
  fi
  start=$(date +%s.%N)
  if (cd "$build" && UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ASAN_OPTIONS=detect_leaks=1 \
      "$build/fuzz/fuzz_$target" -runs="$runs" -max_total_time="$seconds" \
        -malloc_limit_mb=64 \
        -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$crashes/" "$corpus" "$here/fuzz/corpus/$target" \
        >"$log" 2>&1); then
    result=ok
  else
    result=FAILED
    status=1
    tail -n 30 "$log"
  fi
  end=$(date +%s.%N)
  done_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  done_runs=${done_runs:-0}
  rate=$(awk -v n="$done_runs" -v a="$start" -v b="$end" \
    'BEGIN { printf "%d", n / (b - a) }')
  summary+=("$(printf '%-16s %-6s %10s executions %8s exec/s' \
    "$target" "$result" "$done_runs" "$rate")")
done
echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
