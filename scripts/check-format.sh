#!/usr/bin/env bash
# Checks that every tracked C and C++ source follows .clang-format, without
# changing any file. Fuzz corpora and the generated font and picture data
# are left out: they are data, not code.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 2; }

mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h' '*.hpp' \
  ':(exclude)fuzz/*/corpus/**' ':(exclude)chartlib/src/plotwick/assets_data.cpp')
if [ "${#files[@]}" -eq 0 ]; then
  echo "check-format: no sources found" >&2
  exit 2
fi
clang-format --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files follow .clang-format"
