#!/usr/bin/env bash
# Runs the whole test suite N times (default 3) with two busy loops beside it, the way a shared
# two-core machine loads it, and prints each run's wall time and the tests that failed by name.
# Run it before calling a change to timing-sensitive code done: the suite must pass loaded.
#
#   scripts/suite-under-load.sh [N] [CTEST-ARGS...]      logs in build/under-load/run-K.log
set -uo pipefail
cd "$(dirname "$0")/.."

runs=${1:-3}
shift || true

# Build first, unloaded and once; a build error ends here.
./test.sh -N >/dev/null || { echo "the build failed; see ./test.sh" >&2; exit 1; }

logs=build/under-load
mkdir -p "$logs"
busy=()
stop_busy() { [ ${#busy[@]} -gt 0 ] && kill "${busy[@]}" 2>/dev/null; wait 2>/dev/null; busy=(); }
trap stop_busy EXIT INT TERM

failed_runs=0
for ((k = 1; k <= runs; k++)); do
  for _ in 1 2; do
    ( while :; do :; done ) &
    busy+=($!)
  done
  log="$logs/run-$k.log"
  start=$(date +%s)
  ./test.sh "$@" >"$log" 2>&1
  status=$?
  took=$(( $(date +%s) - start ))
  stop_busy
  # CTest runs a suite at a time; the cases that failed are named in GoogleTest's own lines.
  failures=$(grep -E '^\[  FAILED  \] [^ ]+ \([0-9]+ ms\)' "$log" | sed -E 's/^\[  FAILED  \] ([^ ]+) .*/\1/' | sort -u)
  [ -z "$failures" ] && failures=$(sed -n '/The following tests FAILED:/,$p' "$log" | grep -E '^\s+[0-9]+ - ' | sed -E 's/^\s+[0-9]+ - //')
  summary=$(grep -E 'tests passed, [0-9]+ tests failed' "$log" | tail -1)
  if [ "$status" -eq 0 ]; then
    echo "run $k: ${took} s, passed (${summary})"
  else
    failed_runs=$((failed_runs + 1))
    echo "run $k: ${took} s, FAILED (${summary:-see $log})"
    [ -n "$failures" ] && echo "$failures" | sed 's/^/    /'
  fi
done
echo "$((runs - failed_runs)) of $runs runs passed under load"
[ "$failed_runs" -eq 0 ]
