#!/usr/bin/env bash
# Folders under src/ are layers; an include may name its own folder or one
# below it, never one above. Every window lives in the top layer, app: no
# other folder includes a window header of the framework. The layers,
# bottom to top (the one list of them):
layers=(runtime camera database recording acquisition services fleet app)
# Headers of the framework's windows, drawing and dialogs, as extended
# regular expressions of what follows "wx/".
window_headers='(frame|dialog|panel|window|control|ctrlsub|toplevel|listctrl|listbox|choice|combobox|button|stattext|textctrl|spinctrl|menu|toolbar|statusbr|sizer|msgdlg|textdlg|filedlg|busyinfo|accel|bitmap|image|icon|cursor|dc[a-z]*|aui/.*|html/.*|propgrid/.*|generic/.*|gtk/.*)\.h'
# The layer that may include them.
window_layer=app
# Prints every include that breaks a rule and fails if there is one.
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
  layer=${file%%/*}
  own=$(rank "$layer")
  if [ "$own" -lt 0 ]; then
    echo "$file: folder $layer is not a layer"; status=1; continue
  fi
  while IFS= read -r target; do
    folder=${target%%/*}
    [ "$folder" = "$target" ] && { echo "$file: include \"$target\" names no folder"; status=1; continue; }
    other=$(rank "$folder")
    [ "$other" -lt 0 ] && { echo "$file: include \"$target\" names no layer"; status=1; continue; }
    if [ "$other" -gt "$own" ]; then
      echo "$file: includes $target, a layer above $layer"; status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  if [ "$layer" != "$window_layer" ]; then
    while IFS= read -r target; do
      echo "$file: includes <$target>, a window header outside $window_layer"; status=1
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<\(wx\/[^>]*\)>.*/\1/p' "$file" |
             grep -E "^wx/${window_headers}$" || true)
  fi
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)
exit $status
