#!/usr/bin/env bash
# check_install.sh BUILD_DIR [CMAKE]: installs BUILD_DIR under a temporary DESTDIR with the
# prefix a package uses and checks the programs, the desktop entry, the file types, the icon
# and the manual pages. Each problem is one line; any problem fails.
set -uo pipefail
build=$1
cmake=${2:-cmake}
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

if ! DESTDIR="$dest" "$cmake" --install "$build" --prefix /usr >"$dest.log" 2>&1; then
  cat "$dest.log"; rm -f "$dest.log"; echo "install failed"; exit 1
fi
rm -f "$dest.log"
root=$dest/usr
problems=0
problem() { echo "$*"; problems=$((problems + 1)); }

for prog in talvo talvoctl talvo-ampsim; do
  [ -x "$root/bin/$prog" ] || problem "bin/$prog missing or not executable"
  [ -s "$root/share/man/man1/$prog.1" ] || problem "man page $prog.1 missing"
done

desktop=$root/share/applications/talvo.desktop
mime=$root/share/mime/packages/talvo.xml
icon=$root/share/icons/hicolor/scalable/apps/talvo.svg
if [ -f "$desktop" ]; then
  out=$(desktop-file-validate "$desktop" 2>&1) || problem "desktop entry invalid: $out"
  [ -z "$out" ] || problem "desktop entry: $out"
  grep -qx 'Exec=talvo %f' "$desktop" || problem "desktop entry does not run talvo %f"
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [ "$icon_name" = "$(basename "$icon" .svg)" ] || problem "desktop entry names icon '$icon_name'"
  types=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' ' ')
  [ -n "$types" ] || problem "desktop entry lists no file types"
else
  problem "desktop entry missing"; types=""
fi

if [ -f "$mime" ]; then
  xmllint --noout "$mime" 2>&1 || problem "file type definitions are not well-formed XML"
  for t in $types; do
    grep -qF "<mime-type type=\"$t\">" "$mime" || problem "file type $t of the desktop entry is not defined"
  done
  for glob in '*.VKP' '*.DMP'; do
    grep -qF "<glob pattern=\"$glob\"/>" "$mime" || problem "no file type for $glob"
  done
else
  problem "file type definitions missing"
fi

if [ -f "$icon" ]; then
  xmllint --noout "$icon" 2>&1 || problem "icon is not well-formed SVG"
else
  problem "icon missing"
fi

for page in "$root"/share/man/man1/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || problem "$(basename "$page"): $warnings"
done

# Every option a program's --help offers (and every talvoctl command it lists) is in its manual
# page: the two are written apart and drift apart otherwise.
page_text() {
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/"//g' "$1"
}
for prog in talvo talvoctl talvo-ampsim; do
  page=$root/share/man/man1/$prog.1
  [ -f "$page" ] || continue
  help=$(QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 "$root/bin/$prog" --help 2>&1)
  text=$(page_text "$page")
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -qF -- "$option" <<<"$text" || problem "$prog.1 does not mention $option"
  done
  if [ "$prog" = talvoctl ]; then
    for command in $(sed -n 's/^  \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p' <<<"$help"); do
      grep -qE "^(\.[BIR]+ )?$command( |$)" <<<"$text" || problem "talvoctl.1 does not describe the command $command"
    done
  fi
done

[ $problems -eq 0 ] || exit 1
echo "install tree complete"
