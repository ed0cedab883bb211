#!/usr/bin/env bash
# Takes the README's picture of the room remote's page at phone width (docs/remote-phone.png):
# runs the browser test, which drives the page in headless Chromium against the simulated
# amplifier and saves the page after moving the left gain and a PEQ band.
#   scripts/remote-screenshot.sh [BUILD_DIR]     (default build/dev; the test built when missing)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/dev}
if [ ! -x "$build/tests/remote/test_remote_browser" ]; then
  scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTALVO_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target test_remote_browser
fi
sh tests/remote/browser/install.sh tests/remote/browser "$build/tests/remote/browser"

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p docs
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
  TALVO_REMOTE_SCREENSHOT="$PWD/docs/remote-phone.png" \
  "$build/tests/remote/test_remote_browser" --gtest_brief=1
test -s docs/remote-phone.png
echo "docs/remote-phone.png"
