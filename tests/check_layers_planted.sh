#!/usr/bin/env bash
# The layer check must fail on each planted wrong include, one at a time, in a copy of src/.
set -euo pipefail
REPO="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
plant() {  # file, include line
  rm -rf "$work/src" && cp -r "$REPO/src" "$work/src"
  printf '%s\n' "$2" >>"$work/src/$1"
  if bash "$REPO/scripts/check-layers.sh" "$work" >/dev/null; then
    echo "not caught: $2 in $1"
    exit 1
  fi
}
rm -rf "$work/src" && cp -r "$REPO/src" "$work/src"
bash "$REPO/scripts/check-layers.sh" "$work" >/dev/null || { echo "the clean tree fails"; exit 1; }
plant core/register/store.cpp '#include <QWidget>'
plant core/query/conditions.h '#include <QtWidgets/QLabel>'
plant core/edit/rules.cpp '#include "gui/ui/dialogs.h"'
plant core/register/history.cpp '#include "core/edit/rules.h"'
plant gui/ui/widgets.cpp '#include "core/edit/rules.h"'
plant gui/reports/cardprint.cpp '#include "gui/info/infowindow.h"'
echo "every planted include was caught"
