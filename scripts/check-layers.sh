#!/usr/bin/env bash
# Fails when an #include in src/ runs against the direction of the layers.
#   src/core/  needs no widgets: no widget header, nothing of src/gui/. Its rooms run one way:
#              register < query < workbook < edit < session
#   src/gui/   the windows. gui/ui (the thin layer over Qt Widgets that every window uses) includes
#              only core/register and itself; the window rooms run one way:
#              ui < reports < history < exchange < info < shell
#   src/app/   the executables on top; they may include anything.
# A room includes its own headers and those of lower rooms only.
# Usage: scripts/check-layers.sh [SOURCE_ROOT]   (the repository by default)
set -euo pipefail
ROOT="${1:-$(dirname "$0")/..}"
cd "$ROOT"

# The rank of a room ("core/edit"), or -1 for what is no room of ours.
rank() {
  case "$1" in
    core/register) echo 1 ;; core/query) echo 2 ;; core/workbook) echo 3 ;; core/edit) echo 4 ;;
    core/session) echo 5 ;;
    gui/ui) echo 10 ;; gui/reports) echo 11 ;; gui/history) echo 12 ;; gui/exchange) echo 13 ;;
    gui/info) echo 14 ;; gui/shell) echo 15 ;;
    app) echo 20 ;;
    *) echo -1 ;;
  esac
}

# Headers of Qt's Widgets module and of the modules built on it.
widget_re='^(QtWidgets/.*|QtCharts/.*|QtPrintSupport/.*|Q(Widget|Dialog|MessageBox|FileDialog|Application|AbstractButton|PushButton|RadioButton|CheckBox|Label|LineEdit|TextEdit|PlainTextEdit|ComboBox|SpinBox|TreeWidget|TreeView|ListWidget|ListView|TableWidget|TableView|HeaderView|ProgressBar|Frame|GroupBox|ScrollArea|MainWindow|Menu|MenuBar|ToolBar|StatusBar|Style|StyleFactory|[A-Za-z]*Layout|SplashScreen|SystemTrayIcon|Printer|PrintDialog|ChartView)|QtWidgets)$'

problems=0
complain() {
  echo "layer violation: $1 -> $2 ($3)"
  problems=$((problems + 1))
}

roomOf() {
  case "$1" in
    src/app/*) echo app ;;
    src/core/* | src/gui/*) cut -d/ -f2-3 <<<"$1" ;;
    *) echo "" ;;
  esac
}

found=0
while IFS= read -r file; do
  found=$((found + 1))
  room=$(roomOf "$file")
  here=$(rank "$room")
  if [ "$here" -lt 0 ]; then
    complain "$file" "-" "a source outside the rooms src/core/*, src/gui/*, src/app"
    continue
  fi
  while IFS= read -r inc; do
    if [[ "$inc" =~ ^\<(.*)\>$ ]]; then
      name="${BASH_REMATCH[1]}"
      if [[ "$room" == core/* ]] && [[ "$name" =~ $widget_re ]]; then
        complain "$file" "<$name>" "a widget header in core"
      fi
      continue
    fi
    name="${inc//\"/}"
    case "$name" in
      core/* | gui/*) to=$(cut -d/ -f1-2 <<<"$name") ;;
      *) continue ;;  # a file beside it, or generated
    esac
    there=$(rank "$to")
    if [ "$there" -lt 0 ]; then
      complain "$file" "$name" "no such room"
    elif [[ "$room" == core/* && "$to" == gui/* ]]; then
      complain "$file" "$name" "core includes nothing of gui"
    elif [ "$room" = gui/ui ] && [ "$to" != gui/ui ] && [ "$to" != core/register ]; then
      complain "$file" "$name" "gui/ui includes only core/register"
    elif [ "$there" -gt "$here" ]; then
      complain "$file" "$name" "$room is below $to"
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"][^>"]+[>"]).*/\1/p' "$file")
done < <(find src -name '*.h' -o -name '*.cpp' | sort)

[ "$found" -gt 10 ] || { echo "check-layers: found no sources under src/"; exit 2; }
if [ "$problems" -gt 0 ]; then
  echo "check-layers: $problems include(s) against the layers"
  exit 1
fi
echo "check-layers: every include runs downwards"
