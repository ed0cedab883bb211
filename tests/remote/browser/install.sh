#!/bin/sh
# install.sh SOURCE_DIR DEST_DIR: installs the browser test's one npm package (playwright-core,
# pinned by package-lock.json; it downloads no browser) into DEST_DIR/node_modules. Without
# npm, or without the registry, it says so and leaves the test to skip itself.
set -u
src=$1
dest=$2
mkdir -p "$dest"
cp "$src/package.json" "$src/package-lock.json" "$dest/"
if [ -f "$dest/node_modules/playwright-core/package.json" ] && cmp -s "$src/package-lock.json" "$dest/node_modules/.talvo-lock"; then
  echo "playwright-core: up to date in $dest"
  exit 0
fi
if ! command -v npm >/dev/null 2>&1; then
  echo "npm not found: the browser test will skip (scripts/deps.sh installs nodejs and npm)"
  exit 0
fi
if ! PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --prefix "$dest" --no-audit --no-fund --ignore-scripts >"$dest/npm.log" 2>&1; then
  echo "npm ci failed (see $dest/npm.log): the browser test will skip"
  tail -5 "$dest/npm.log"
  exit 0
fi
cp "$src/package-lock.json" "$dest/node_modules/.talvo-lock"
echo "playwright-core: installed in $dest"
