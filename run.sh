#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
#   ./run.sh              the program on the built-in demonstration bus
#   ./run.sh -- ARGS...   the program with other arguments
set -euo pipefail
cd "$(dirname "$0")"

scripts/deps.sh

build=build/release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALVO_TESTS=OFF -DTALVO_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

if [ "${1:-}" = "--" ]; then
  shift
  exec "$build/src/shell/talvo" "$@"
fi
exec "$build/src/shell/talvo" --demo
