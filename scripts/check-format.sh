#!/usr/bin/env bash
# Fails when a C++ source of ours is not formatted by .clang-format (clang-format 14, Debian 12's).
# The generated pronunciation tables are left as their generator writes them.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' \
  'bench/*.h' | grep -v -E '^src/core/query/pinyin_(table|supplement)\.cpp$')
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "check-format: run clang-format -i on the files above"
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
