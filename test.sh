#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs every test. Any test failure or sanitizer finding fails the run.
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh

build=build/test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTALVO_SANITIZE=ON -DTALVO_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# No test may touch the real home: settings and device lists go to a folder of this run's own.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
# The long soak (label "soak") runs only when asked for: ./test.sh -L soak
select=(-LE soak)
for a in "$@"; do
  case "$a" in -L|-L*|--label-regex*) select=() ;; esac
done
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "${select[@]}" "$@"
