#!/usr/bin/env bash
# Fails when an #include in src/ runs against the direction of the layers:
#   register < query < exchange < maintenance < shell < app
# A folder includes only its own and lower folders; ui/ (the widgets layer under every window)
# may be included only by sources of the gui library, the executable and ui/ itself, and itself
# includes only register/; no source of the core library includes a widget header.
# Usage: scripts/check-layers.sh [SOURCE_ROOT]   (the repository by default)
set -euo pipefail
ROOT="${1:-$(dirname "$0")/..}"
cd "$ROOT"

# Known exceptions ("file -> included file"), each to go away.
KNOWN=(
)

rank() {
  case "$1" in
    register) echo 1 ;; query) echo 2 ;; exchange) echo 3 ;; maintenance) echo 4 ;;
    shell) echo 5 ;; app) echo 6 ;; ui) echo 0 ;; *) echo -1 ;;
  esac
}

# The core library's sources, as src/CMakeLists.txt lists them, and their headers.
core_sources=$(awk '
  /^(add_library\(core |target_sources\(core )/ { take = 1 }
  take { for (i = 1; i <= NF; i++) if ($i ~ /\.cpp\)?$/) { f = $i; sub(/\)$/, "", f); print f } }
  take && /\)/ { take = 0 }' src/CMakeLists.txt)
declare -A core=()
for f in $core_sources; do
  core["src/$f"]=1
  [ -f "src/${f%.cpp}.h" ] && core["src/${f%.cpp}.h"]=1
done
[ "${#core[@]}" -gt 10 ] || { echo "check-layers: found no core sources in src/CMakeLists.txt"; exit 2; }

# Headers of Qt's Widgets module, and the parts of ours built on them.
widget_re='^(QtWidgets/.*|Q(Widget|Dialog|MessageBox|FileDialog|Application|AbstractButton|PushButton|RadioButton|CheckBox|Label|LineEdit|TextEdit|PlainTextEdit|ComboBox|SpinBox|TreeWidget|TreeView|ListWidget|ListView|TableWidget|TableView|HeaderView|ProgressBar|Frame|GroupBox|ScrollArea|MainWindow|Menu|MenuBar|ToolBar|StatusBar|Style|StyleFactory|[A-Za-z]*Layout|SplashScreen|SystemTrayIcon)|QtWidgets)$'

problems=0
complain() {
  local line="$1 -> $2"
  for k in "${KNOWN[@]}"; do [ "$k" = "$line" ] && return; done
  echo "layer violation: $line ($3)"
  problems=$((problems + 1))
}

while IFS= read -r file; do
  folder=$(cut -d/ -f2 <<<"$file")
  here=$(rank "$folder")
  while IFS= read -r inc; do
    if [[ "$inc" =~ ^\<(.*)\>$ ]]; then
      name="${BASH_REMATCH[1]}"
      if [ -n "${core[$file]:-}" ] && [[ "$name" =~ $widget_re ]]; then
        complain "$file" "<$name>" "a widget header in core"
      fi
      continue
    fi
    name="${inc//\"/}"
    to=$(cut -d/ -f1 <<<"$name")
    there=$(rank "$to")
    [ "$there" -lt 0 ] && continue  # a file beside it, or generated
    if [ "$to" = ui ]; then
      if [ -n "${core[$file]:-}" ]; then
        complain "$file" "$name" "ui/ from core"
      fi
    elif [ "$folder" = ui ]; then
      [ "$to" = register ] || complain "$file" "$name" "ui/ includes only register/"
    elif [ "$there" -gt "$here" ]; then
      complain "$file" "$name" "$folder/ is below $to/"
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"][^>"]+[>"]).*/\1/p' "$file")
done < <(find src -name '*.h' -o -name '*.cpp' | sort)

if [ "$problems" -gt 0 ]; then
  echo "check-layers: $problems include(s) against the layers"
  exit 1
fi
echo "check-layers: every include runs downwards"
