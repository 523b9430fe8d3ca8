#!/usr/bin/env bash
# The engine's floor for SortTo: sqlite3's own time to copy the same shuffled register into a
# new file sorted by the numeric serial number, with no code of ours in between.
# Usage: bench/sqlite-floor.sh [BUILD_DIR] [PERSONS]
set -euo pipefail
BUILD=${1:-build}
PERSONS=${2:-100000}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

"$BUILD/bench/hj-sample" --shuffled "$PERSONS" "$WORK/shuffled.wav" 20240630 >/dev/null
for round in 1 2 3; do
  rm -f "$WORK/sorted.wav"
  sqlite3 "$WORK/shuffled.wav" <<SQL | grep -E '^Run Time' | tail -1
ATTACH '$WORK/sorted.wav' AS sorted;
PRAGMA sorted.journal_mode=OFF;
PRAGMA sorted.synchronous=OFF;
.timer on
CREATE TABLE sorted.records AS SELECT * FROM records ORDER BY CAST(序号 AS REAL);
SQL
done
