#!/usr/bin/env bash
# Rewrites tests/data/pictures: the picture samples of every format and
# variant, and in expected/ what FreeImage (the Linux build's decoder) makes
# of each, as 24-bit bitmaps. The Windows build's parity test compares its
# Walp.bmp with these; tests/picture/decoders_test checks they are still true.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFETCHER_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$(nproc)" --target make_picture_samples
rm -f tests/data/pictures/expected/*.bmp
find tests/data/pictures -maxdepth 1 -type f ! -name README.md -delete
build/tests/make_picture_samples tests/data/pictures 2> >(grep -v '^TIFFFieldWithTag' >&2)
echo "tests/data/pictures rewritten: $(ls tests/data/pictures/expected | wc -l) samples"
