#!/usr/bin/env bash
# Builds the Windows x64 program, build-win/wallpaper-fetcher.exe, with
# MinGW-w64, and its tests (run them with ctest in build-win under Wine, as
# scripts/test.sh does). Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-deps.sh windows

cmake -S . -B build-win -DCMAKE_BUILD_TYPE=Release -DFETCHER_BUILD_TESTS=ON ${FETCHER_CMAKE_ARGS:-} \
  -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build build-win -j"$jobs"
echo "built $(pwd)/build-win/wallpaper-fetcher.exe"
