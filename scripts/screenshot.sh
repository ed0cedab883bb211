#!/usr/bin/env bash
# Takes the README's pictures: starts `talvo --demo` on a virtual X server (Xvfb) once per
# window and lets the program save that window itself after start-up.
#   scripts/screenshot.sh [BUILD_DIR]     (default build/release; built when missing)
# Writes docs/main-window.png, docs/connect-window.png, docs/search-window.png,
# docs/device-list.png, the editor pictures docs/gain-left.png, docs/gain-right.png,
# docs/limiter-left.png, docs/limiter-right.png, docs/peq-left.png, docs/peq-right.png and
# docs/xover-window.png, the sine test's docs/sine-window.png and docs/main-window-sine.png, and
# the memory pictures docs/memory-window.png, docs/manage-window.png and docs/program-name.png,
# and the File > Import EQ... window docs/eq-import.png.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
if [ ! -x "$build/src/shell/talvo" ]; then
  scripts/deps.sh
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALVO_TESTS=OFF -DTALVO_BENCH=OFF >/dev/null
  cmake --build "$build" -j "$(nproc)" --target talvo
fi

mkdir -p docs
# Settings and the device list in folders of their own, so the pictures do not depend on this
# machine; the list holds a few named amplifiers (the demonstration bus answers to IDs 1 and 3).
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/data/talvo"
printf '%s\r\n' '[count]' 'no=0' '' \
  '[1]' 'vi=1' 'name=Stage left' 'id=1' 'subid=1' '' \
  '[2]' 'vi=1' 'name=Stage right' 'id=3' 'subid=1' '' \
  '[3]' 'vi=1' 'name=Delay tower' 'id=12' 'subid=300' '' \
  '[5]' 'vi=1' 'name=Sub bass' 'id=21' 'subid=1' > "$home/data/talvo/DSPdevi.ini"

shoot() {
  local window=$1 out=$2
  # The X server's own display variable wins over any platform the caller may have chosen.
  env -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
    xvfb-run -a -s '-screen 0 1280x800x24' "$build/src/shell/talvo" --demo --screenshot "$out" --window "$window"
  echo "wrote $out"
}

shoot main docs/main-window.png
shoot connect docs/connect-window.png
shoot search docs/search-window.png
shoot devices docs/device-list.png
shoot xover-left docs/xover-window.png
shoot sine docs/sine-window.png
shoot main-sine docs/main-window-sine.png
# The PEQ editors show the demonstration program, whose curves are not flat.
for editor in gain-left gain-right limiter-left limiter-right peq-left peq-right; do
  shoot "$editor" "docs/$editor.png"
done
shoot memory docs/memory-window.png
shoot manage docs/manage-window.png
shoot program-name docs/program-name.png
shoot eq-import docs/eq-import.png
