#!/usr/bin/env bash
# Formats every C++ file of the repository with clang-format-14 and the
# repository's .clang-format. --check changes nothing and fails, listing the
# files, when any file differs from that style.
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
command -v "$format" >/dev/null || format=clang-format
mapfile -t files < <(git ls-files '*.cpp' '*.h')

if [ "${1:-}" = --check ]; then
  differ=()
  for f in "${files[@]}"; do
    "$format" --dry-run -Werror "$f" >/dev/null 2>&1 || differ+=("$f")
  done
  if [ ${#differ[@]} -gt 0 ]; then
    printf 'not formatted (run scripts/format.sh):\n'
    printf '  %s\n' "${differ[@]}"
    exit 1
  fi
  echo "formatting: ${#files[@]} files as .clang-format says"
  exit 0
fi
"$format" -i "${files[@]}"
