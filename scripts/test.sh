#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the Release build, the Windows build's tests under Wine, a short run of
# every fuzzer on its seed corpus, and the suite again built with
# AddressSanitizer and UndefinedBehaviorSanitizer. FAST=1 runs the Release
# suite only. Each stage asks scripts/install-deps.sh for what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)

bash scripts/install-deps.sh test

echo "== Formatting"
bash scripts/format.sh --check

echo "== Release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFETCHER_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j2 --timeout 600)
[ "${FAST:-0}" = 1 ] && exit 0

echo "== Windows build and tests (MinGW-w64 x64, under Wine in Xvfb)"
bash scripts/build-windows.sh
# A fresh Wine prefix each run, booted once for all the Windows tests.
export WINEPREFIX="$top/build-win/wine-prefix" WINEARCH=win64 WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
status=0
xvfb-run -a -s "-screen 0 1024x768x24" bash -c 'wineboot -i >/dev/null 2>&1 &&
  (cd build-win && ctest --output-on-failure --timeout 600); s=$?; wineserver -k; exit $s' || status=$?
rm -rf "$WINEPREFIX"
[ "$status" -eq 0 ] || { echo "Windows tests failed"; exit 1; }

echo "== Fuzzers (libFuzzer, bounded time each)"
bash scripts/install-deps.sh fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFETCHER_BUILD_FUZZ=ON -DFETCHER_SANITIZE=address,undefined -DFETCHER_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"
for fuzzer in build-fuzz/fuzz/*_fuzz; do
  name=$(basename "$fuzzer" _fuzz)
  corpus=$(mktemp -d)
  cp -r "fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
  status=0
  (cd "$corpus" && "$top/$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 \
     -timeout=10 -print_final_stats=1 "$corpus" >"$corpus.log" 2>&1) || status=$?
  echo "fuzzer $name: $(grep -E '^stat::number_of_executed_units' "$corpus.log" || echo 'no stats')"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$corpus.log"
    echo "fuzzer $name failed"
    exit 1
  fi
  rm -rf "$corpus" "$corpus.log"
done

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build and tests"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DFETCHER_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j2 --timeout 900)
