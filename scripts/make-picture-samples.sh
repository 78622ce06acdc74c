#!/usr/bin/env bash
# Rewrites tests/data/pictures: the picture samples of every format and
# variant, and in expected/ what FreeImage (the Linux build's decoder) makes
# of each, as 24-bit bitmaps. The Windows build's parity test compares its
# Walp.bmp with these.
#
#   bash scripts/make-picture-samples.sh --check [PROGRAM]
#
# rewrites nothing and fails, naming each file, when tests/data/pictures is
# no longer what the generator (PROGRAM, else build/tests/make_picture_samples
# built first) and FreeImage make; the test suite runs it so.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  --check) check=1 program=${2:-} ;;
  "") check=0 program="" ;;
  *) echo "usage: bash scripts/make-picture-samples.sh [--check [PROGRAM]]" >&2; exit 2 ;;
esac
if [ -z "$program" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFETCHER_BUILD_TESTS=ON >/dev/null
  cmake --build build -j"$(nproc)" --target make_picture_samples
  program=build/tests/make_picture_samples
fi
if [ "$check" = 1 ]; then
  if ! "$program" --check tests/data/pictures 2> >(grep -v '^TIFFFieldWithTag' >&2); then
    echo "tests/data/pictures differs from what is made now: run scripts/make-picture-samples.sh" >&2
    exit 1
  fi
  echo "tests/data/pictures: $(ls tests/data/pictures/expected | wc -l) samples as made now"
  exit 0
fi
rm -f tests/data/pictures/expected/*.bmp
find tests/data/pictures -maxdepth 1 -type f ! -name README.md -delete
"$program" tests/data/pictures 2> >(grep -v '^TIFFFieldWithTag' >&2)
echo "tests/data/pictures rewritten: $(ls tests/data/pictures/expected | wc -l) samples"
