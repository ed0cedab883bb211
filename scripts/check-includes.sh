#!/usr/bin/env bash
# Includes run downward only: a file under src/ includes from its own folder or from a folder
# below it, never from one above. Prints every include that runs upward as
#   src/FOLDER/FILE:LINE: includes "OTHER/HEADER.h" from OTHER/, which sits above FOLDER/
# and exits 1 when there is one.
#
#   scripts/check-includes.sh [SRC]     SRC: the source folder (the one beside this script's)

set -euo pipefail

src=${1:-"$(dirname "$0")/../src"}
if [[ ! -d $src ]]; then
  echo "check-includes: no folder $src" >&2
  exit 2
fi

# The order from the bottom. Folders of one level may include each other; sim/ and tools/
# live beside src/ and sit beside shell/; talvo/ is the generated version header. remote/ serves
# the editors to a page and sits below the windows that start it.
declare -A level=(
  [programs]=0 [widgets]=0 [talvo]=0
  [link]=1
  [state]=2
  [devices]=3
  [memory]=4
  [editors]=5
  [peq]=6
  [testsignal]=7
  [remote]=8
  [shell]=9 [sim]=9 [tools]=9
)

status=0
while IFS= read -r -d '' file; do
  rel=${file#"$src"/}
  folder=${rel%%/*}
  if [[ $folder == "$rel" || -z ${level[$folder]+set} ]]; then
    echo "src/$rel: not in a folder of the order (add its folder to scripts/check-includes.sh)"
    status=1
    continue
  fi
  lineno=0
  while IFS= read -r line; do
    lineno=$((lineno + 1))
    [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]] || continue
    header=${BASH_REMATCH[1]}
    # A bare name is a header of the file's own folder.
    [[ $header == */* ]] || continue
    from=${header%%/*}
    if [[ -z ${level[$from]+set} ]]; then
      echo "src/$rel:$lineno: includes \"$header\" from $from/, which is in no level of the order"
      status=1
    elif ((level[$from] > level[$folder])); then
      echo "src/$rel:$lineno: includes \"$header\" from $from/, which sits above $folder/"
      status=1
    fi
  done <"$file"
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)

exit $status
