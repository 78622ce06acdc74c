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
  # One clang-format for all the files (one for each takes seconds): it names
  # each difference as FILE:LINE:COLUMN: error: code should be clang-formatted.
  status=0
  report=$("$format" --dry-run -Werror "${files[@]}" 2>&1 >/dev/null) || status=$?
  mapfile -t differ < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
    <<<"$report" | sort -u)
  if [ ${#differ[@]} -gt 0 ]; then
    printf 'not formatted (run scripts/format.sh):\n'
    printf '  %s\n' "${differ[@]}"
    exit 1
  fi
  if [ "$status" -ne 0 ]; then
    printf '%s\n' "$report" >&2
    exit 1
  fi
  echo "formatting: ${#files[@]} files as .clang-format says"
  exit 0
fi
"$format" -i "${files[@]}"
