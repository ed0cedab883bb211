#!/usr/bin/env bash
# Builds the libFuzzer targets in build/fuzz (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 60), printing "<target>: <N> runs, no crash" per target.
# Any finding fails the run; the input that caused it is left in build/fuzz/findings. Make it a
# small file in tests/fuzz/corpus/<target>/ so that the test suite replays it from then on.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     environment: FUZZ_RUNS=N stops a target after N runs
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
scripts/deps.sh

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVO_FUZZ=ON \
  -DTALVO_TESTS=OFF -DTALVO_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzzers >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=()
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
mkdir -p "$build/findings" "$build/logs"
failed=0
for t in "${targets[@]}"; do
  # New inputs go to a working corpus; the checked-in regression inputs only seed it.
  work="$build/corpus/$t"
  mkdir -p "$work"
  log="$build/logs/$t.log"
  limits=(-max_total_time="$seconds")
  [ -n "${FUZZ_RUNS:-}" ] && limits+=(-runs="$FUZZ_RUNS")
  start=$(date +%s.%N)
  if "$build/fuzz/fuzz_$t" "${limits[@]}" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$build/findings/$t-" "$work" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    rate=$(awk -v r="$runs" -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%d", r / (e - s) }')
    echo "$t: $runs runs, no crash ($rate runs/s)"
  else
    failed=1
    echo "$t: FINDING (see $log; input in $build/findings/)"
    grep -m3 -E 'ERROR|property broken|runtime error' "$log" | sed 's/^/  /' || true
  fi
done
exit $failed
