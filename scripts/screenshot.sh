#!/usr/bin/env bash
# Takes the README's picture of the main window: starts `talvo --demo` on a virtual X server
# (Xvfb) and lets the program save its own window after start-up.
#   scripts/screenshot.sh [BUILD_DIR]     (default build/release; built when missing)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
if [ ! -x "$build/src/shell/talvo" ]; then
  scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALVO_TESTS=OFF -DTALVO_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target talvo
fi

out=docs/main-window.png
mkdir -p docs
# A settings folder of its own, so the picture does not depend on this machine's settings.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# The X server's own display variable wins over any platform the caller may have chosen.
env -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$config" \
  xvfb-run -a -s '-screen 0 1280x800x24' "$build/src/shell/talvo" --demo --screenshot "$out"
echo "wrote $out"
