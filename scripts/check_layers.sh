#!/usr/bin/env bash
# Folders under src/ are layers; an include may name its own folder or one
# below it, never one above. Bottom to top:
layers=(runtime camera database recording acquisition services app)
# Prints every include that points up and fails if there is one.
# Usage: check_layers.sh [SOURCE_FOLDER]   (default: the project's src/)
set -euo pipefail
cd "${1:-$(dirname "$0")/../src}"
rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}
status=0
while IFS= read -r file; do
  own=$(rank "${file%%/*}")
  if [ "$own" -lt 0 ]; then
    echo "$file: folder ${file%%/*} is not a layer"; status=1; continue
  fi
  while IFS= read -r target; do
    folder=${target%%/*}
    [ "$folder" = "$target" ] && { echo "$file: include \"$target\" names no folder"; status=1; continue; }
    other=$(rank "$folder")
    [ "$other" -lt 0 ] && { echo "$file: include \"$target\" names no layer"; status=1; continue; }
    if [ "$other" -gt "$own" ]; then
      echo "$file: includes $target, a layer above ${file%%/*}"; status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)
exit $status
