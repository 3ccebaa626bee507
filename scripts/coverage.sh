#!/usr/bin/env bash
# Line coverage of the readers by the fuzz corpora: builds the replay programs
# with clang-14's source-based coverage, replays fuzz/corpus/<target> and
# fuzz/crashes/<target> of every target, and reports the lines of the image
# library's sources that the replays run. A second report adds the
# allocation-failure test, which reaches the branches that handle a failed
# allocation: no input can.
#
#   scripts/coverage.sh [-m MIN] [-j JOBS]
#
#   -m MIN   fail when the corpora and the allocation-failure test together
#            run less than MIN % of the lines of img/pnm.cpp or
#            img/text_form.cpp (default 90). The corpora alone are reported
#            too; the lines of a constexpr constructor, which runs only at
#            compile time, count as missed in both.
#   -j JOBS  build jobs (default 2)
#
# Writes an annotated listing of the uncovered lines to
# build-coverage/uncovered.txt. Needs: clang-14 llvm-14.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
min=90
jobs=2
while getopts "m:j:h" opt; do
  case "$opt" in
    m) min=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) sed -n '2,15p' "$0"; exit 2 ;;
  esac
done
if ! command -v clang++-14 >/dev/null || ! command -v llvm-cov-14 >/dev/null; then
  echo "coverage.sh needs clang-14 and llvm-14: apt-get install -y clang-14 llvm-14" >&2
  exit 2
fi

targets=(img_parse img_load img_from_ascii text_art transform)
build="$here/build-coverage"
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
  -DINTRO_TESTS=ON >/dev/null
cmake --build "$build" -j"$jobs" \
  --target "${targets[@]/#/replay_}" alloc_failure_test >/dev/null

rm -rf "$build/profiles"
mkdir -p "$build/profiles"
objects=()
for target in "${targets[@]}"; do
  LLVM_PROFILE_FILE="$build/profiles/$target.profraw" \
    "$build/fuzz/replay_$target" "$here/fuzz/corpus/$target" \
    "$here/fuzz/crashes/$target" 2>"$build/profiles/$target.log" ||
    { tail -n 20 "$build/profiles/$target.log"; exit 1; }
  objects+=(-object "$build/fuzz/replay_$target")
done
LLVM_PROFILE_FILE="$build/profiles/alloc.profraw.extra" \
  "$build/tests/alloc_failure_test" >"$build/profiles/alloc.log" 2>&1 ||
  { tail -n 20 "$build/profiles/alloc.log"; exit 1; }
llvm-profdata-14 merge -sparse "$build"/profiles/*.profraw \
  -o "$build/profiles/corpus.profdata"
llvm-profdata-14 merge -sparse "$build"/profiles/*.profraw \
  "$build/profiles/alloc.profraw.extra" -o "$build/profiles/all.profdata"

sources=("$here/img/pnm.cpp" "$here/img/text_form.cpp" "$here/img/transform.cpp"
  "$here/img/image.cpp")
first="$build/fuzz/replay_${targets[0]}"
# Functions of the same name in several programs (LLVMFuzzerTestOneInput)
# differ; llvm-cov warns about them, and they are none of the library's.
quiet() { grep -v 'functions have mismatched data' || true; }
corpus=(-instr-profile="$build/profiles/corpus.profdata" "${objects[@]:1}")
all=(-instr-profile="$build/profiles/all.profdata" "${objects[@]:1}"
  -object "$build/tests/alloc_failure_test")

echo "== lines run by the fuzz corpora"
llvm-cov-14 report "$first" "${corpus[@]}" "${sources[@]}" 2>&1 | quiet
llvm-cov-14 show "$first" "${corpus[@]}" -show-line-counts-or-regions \
  "${sources[@]}" 2>/dev/null | grep -E '^\S|\|\s+0\|' >"$build/uncovered.txt" || true
echo "== with the allocation-failure test"
llvm-cov-14 report "$first" "${all[@]}" "${sources[@]}" 2>&1 | quiet
echo "(lines the corpora miss: $build/uncovered.txt)"

percent() {
  llvm-cov-14 report "$first" "$@" 2>/dev/null |
    awk '$1 == "TOTAL" { sub("%", "", $(NF - 3)); print $(NF - 3) }'
}
status=0
for source in img/pnm.cpp img/text_form.cpp; do
  alone=$(percent "${corpus[@]}" "$here/$source")
  both=$(percent "${all[@]}" "$here/$source")
  line="$source: $alone % of lines by the corpora, $both % with the allocation-failure test"
  if awk -v p="$both" -v m="$min" 'BEGIN { exit !(p < m) }'; then
    echo "$line: below $min %"
    status=1
  else
    echo "$line"
  fi
done
exit $status
