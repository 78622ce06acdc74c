#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the Release build, the Debian package (lintian, installed, run, removed),
# the Windows build's tests under Wine, a short run of every fuzzer on its
# seed corpus, and the suite again built with AddressSanitizer and
# UndefinedBehaviorSanitizer. FAST=1 runs the Release suite only. Each stage
# asks scripts/install-deps.sh for what it needs.
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

echo "== Debian package: lintian, installed with apt, run, removed; uninstall without it"
package_log=$(mktemp)
bash scripts/package-deb.sh | tee "$package_log"
deb=$(sed -n 's/^Wrote //p' "$package_log")
rm -f "$package_log"
lintian --fail-on error "$deb"
# What a fresh machine would install with it: libraries and programs to run
# it, no development package.
empty_status=$(mktemp)
apt-get install -s -o Dir::State::status="$empty_status" "$top/$deb" | awk '/^Inst /{print $2}' >"$empty_status.list"
echo "installed on an empty system with its Recommends: $(wc -l <"$empty_status.list") packages, none for development"
if grep -E -- '-dev$' "$empty_status.list"; then echo "the package pulls in development packages"; exit 1; fi
rm -f "$empty_status" "$empty_status.list"
# Installed and removed here only when it is not installed already and none
# of its files is in place: a copy of the user's is left alone.
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
in_place=""
for f in $(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}'); do
  [ -e "$f" ] && in_place="$in_place $f"
done
if dpkg-query -W -f='${Status}' wallpaper-fetcher 2>/dev/null | grep -q 'installed'; then
  echo "wallpaper-fetcher is installed on this machine: the package is not installed over it"
elif [ -n "$in_place" ]; then
  echo "files of the package are in place already, left alone:$in_place"
else
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$top/$deb" >/dev/null
  mapfile -t files < <(dpkg-query -L wallpaper-fetcher)
  (cd / && wallpaper-fetcher --version)
  [ "$(command -v wallpaper-fetcher)" = /usr/bin/wallpaper-fetcher ]
  man -w wallpaper-fetcher
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq wallpaper-fetcher >/dev/null
  left=""
  for f in "${files[@]}"; do
    case "$f" in *wallpaper-fetcher*) [ -e "$f" ] && left="$left $f" ;; esac
  done
  if [ -n "$left" ] || dpkg-query -W wallpaper-fetcher >/dev/null 2>&1; then
    echo "left after apt-get remove --purge:$left"
    exit 1
  fi
  echo "installed, ran, removed: nothing left"
fi
# cmake --install and the uninstall target: into a prefix that holds a file
# of its own, and one that does not exist yet.
prefixes=$(mktemp -d)
mkdir -p "$prefixes/kept/bin" && touch "$prefixes/kept/bin/other"
cmake --install build-deb --prefix "$prefixes/kept" >/dev/null
cmake --install build-deb --prefix "$prefixes/new" >/dev/null
[ -f "$prefixes/new/share/man/man1/wallpaper-fetcher.1.gz" ]
cmake --build build-deb --target uninstall >/dev/null
if [ "$(cd "$prefixes" && find . | sort | tr '\n' ' ')" != ". ./kept ./kept/bin ./kept/bin/other " ]; then
  echo "left after the uninstall target:"; (cd "$prefixes" && find .); exit 1
fi
rm -rf "$prefixes"
echo "cmake --install, then the uninstall target: nothing left"

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
# The download: both program files and the two text files with CR LF ends.
bash scripts/package-windows.sh
python3 - dist/wallpaper-fetcher-*-windows-x64.zip <<'EOF'
import sys, zipfile
with zipfile.ZipFile(sys.argv[-1]) as z:
    names = sorted(z.namelist())
    assert names == ["README.txt", "Sites.ini.example", "wallpaper-fetcher.com",
                     "wallpaper-fetcher.exe"], names
    for text in ("README.txt", "Sites.ini.example"):
        data = z.read(text)
        assert data.count(b"\n") == data.count(b"\r\n") > 0, text
print("the Windows download holds", ", ".join(names))
EOF

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
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DFETCHER_SANITIZE=address,undefined -DFETCHER_BUILD_TESTS=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j2 --timeout 900)
