#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the Release build (build/, with Debian's build flags) and its suite, the
# Debian package made from that build (lintian, installed, run, removed), the
# Windows build's tests under Wine, then one clang build with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize/) that runs
# the suite again and every fuzzer for a short time on its seed corpus.
# FAST=1 runs the Release suite only. What every stage needs is installed
# first (scripts/install-deps.sh, by purpose); each stage says how long it
# took.
#
# The Windows build and the sanitizer build are compiled in the background,
# at a lower priority, while the Release suite, the package's checks and the
# Windows tests run (they use a core at most for much of their time); their
# output is shown when their stage begins.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)
logs=$(mktemp -d)

stage_name=""
stage_start=$SECONDS
# Ends the stage under way with its time, and begins the one named, if any.
stage() {
  if [ -n "$stage_name" ]; then
    echo "-- $stage_name: $((SECONDS - stage_start)) s (all so far: $SECONDS s)"
  fi
  stage_name=$1
  stage_start=$SECONDS
  if [ -n "$stage_name" ]; then echo "== $stage_name"; fi
}

# background NAME COMMAND...: runs COMMAND in a session of its own, its output
# in $logs/NAME.log. finish NAME: waits for it, shows its output and its
# time, and fails when it failed. Whatever still runs when this script ends
# is stopped.
declare -A background_pids=()
background() {
  local name=$1
  shift
  setsid nice -n 10 bash -c 'start=$SECONDS; status=0; "$@" || status=$?
    echo "-- $0, in the background: $((SECONDS - start)) s"; exit $status' "$name" "$@" \
    >"$logs/$name.log" 2>&1 </dev/null &
  background_pids[$name]=$!
}
finish() {
  local status=0
  wait "${background_pids[$1]}" || status=$?
  unset "background_pids[$1]"
  cat "$logs/$1.log"
  [ "$status" -eq 0 ] || { echo "$1 failed"; exit 1; }
}
stop_background() {
  local pid
  for pid in "${background_pids[@]}"; do kill -- -"$pid" 2>/dev/null || true; done
  rm -rf "$logs"
}
trap 'stage ""; stop_background' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

stage "Dependencies"
if [ "${FAST:-0}" = 1 ]; then
  bash scripts/install-deps.sh test
else
  # All at once: the background builds then install nothing while apt
  # installs the package in the foreground.
  bash scripts/install-deps.sh test package windows fuzz
fi

stage "Formatting"
bash scripts/format.sh --check

# The package is made from this build (scripts/package-deb.sh build), so it
# is built the way Debian builds its packages; the tests install nothing.
stage "Release build and tests"
. scripts/debian-build-flags.sh
cmake -S . -B build "${debian_cmake_flags[@]}" -DFETCHER_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
if [ "${FAST:-0}" != 1 ]; then
  background "Windows build" bash scripts/build-windows.sh
fi
(cd build && ctest --output-on-failure -j2 --timeout 600)
[ "${FAST:-0}" = 1 ] && exit 0

stage "Debian package: lintian, installed with apt, run, removed; uninstall without it"
package_log=$(mktemp)
bash scripts/package-deb.sh build | tee "$package_log"
deb=$(sed -n 's/^Wrote //p' "$package_log")
rm -f "$package_log"
lintian --fail-on error "$deb"
# The program, its manual page, its documentation and the user units: no
# file of the tests that share its build.
contents=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' | sort | tr '\n' ' ')
expected="/usr/bin/wallpaper-fetcher /usr/lib/systemd/user/wallpaper-fetcher.service \
/usr/lib/systemd/user/wallpaper-fetcher.timer /usr/share/doc/wallpaper-fetcher/README.md \
/usr/share/doc/wallpaper-fetcher/Sites.ini.example /usr/share/doc/wallpaper-fetcher/changelog.Debian.gz \
/usr/share/doc/wallpaper-fetcher/copyright /usr/share/man/man1/wallpaper-fetcher.1.gz "
if [ "$contents" != "$expected" ]; then
  echo "the package holds: $contents"; echo "it should hold:    $expected"; exit 1
fi
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
cmake --install build --prefix "$prefixes/kept" >/dev/null
cmake --install build --prefix "$prefixes/new" >/dev/null
[ -f "$prefixes/new/share/man/man1/wallpaper-fetcher.1.gz" ]
cmake --build build --target uninstall >/dev/null
if [ "$(cd "$prefixes" && find . | sort | tr '\n' ' ')" != ". ./kept ./kept/bin ./kept/bin/other " ]; then
  echo "left after the uninstall target:"; (cd "$prefixes" && find .); exit 1
fi
rm -rf "$prefixes"
echo "cmake --install, then the uninstall target: nothing left"

stage "Windows build and tests (MinGW-w64 x64, under Wine in Xvfb)"
finish "Windows build"
# The sanitizer build is compiled while the Windows tests run. The library,
# the program and the fuzzers at -O2 (at -O1 the link fuzzer ran little more
# than half as many inputs), the tests' own code at -O0 (with the sanitizers,
# it builds in less than half the time it takes at -O1); assertions stay on,
# and line tables are enough for the reports' stack traces.
CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only" -DFETCHER_TEST_OPTIMIZATION_LEVEL=-O0 \
  -DFETCHER_SANITIZE=address,undefined -DFETCHER_BUILD_TESTS=ON -DFETCHER_BUILD_FUZZ=ON >/dev/null
background "AddressSanitizer and UndefinedBehaviorSanitizer build" cmake --build build-sanitize -j"$jobs"
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
    readme = z.read("README.txt")
    assert b"```" not in readme and b"`" not in readme, "README.txt is not plain text"
    assert b"scripts/" not in readme, "README.txt holds the build steps"
    assert b"StepKGet" in readme, "README.txt has no guide to writing a site"
    example = z.read("Sites.ini.example")
    assert b"\r\nSavePath=C:\\Users\\" in example and b"/home/" not in example, "Sites.ini.example"
print("the Windows download holds", ", ".join(names))
EOF

stage "AddressSanitizer and UndefinedBehaviorSanitizer build (clang): the tests and the fuzzers"
finish "AddressSanitizer and UndefinedBehaviorSanitizer build"
export ASAN_OPTIONS=abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

stage "Tests with AddressSanitizer and UndefinedBehaviorSanitizer"
(cd build-sanitize && ctest --output-on-failure -j2 --timeout 900)

stage "Fuzzers (libFuzzer, bounded time each, $jobs at a time)"
# Each fuzzer on a copy of its seed corpus, in a folder of its own where it
# writes what it finds; the folder of one that failed is kept.
fuzz_runs=$(mktemp -d)
fuzz_one() {
  local fuzzer=$1 work status=0
  work=$fuzz_runs/$(basename "$fuzzer" _fuzz)
  mkdir -p "$work/corpus"
  cp -r "fuzz/corpus/$(basename "$fuzzer" _fuzz)/." "$work/corpus/" 2>/dev/null || true
  (cd "$work" && "$top/$fuzzer" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 \
     -timeout=10 -print_final_stats=1 corpus >log 2>&1) || status=$?
  echo "$status" >"$work/status"
}
fuzzers=(build-sanitize/fuzz/*_fuzz)
for ((i = 0; i < ${#fuzzers[@]}; i += jobs)); do
  running=()
  for fuzzer in "${fuzzers[@]:i:jobs}"; do
    fuzz_one "$fuzzer" &
    running+=($!)
  done
  wait "${running[@]}"
done
failed=0
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer" _fuzz)
  work=$fuzz_runs/$name
  echo "fuzzer $name: $(grep -E '^stat::number_of_executed_units' "$work/log" || echo 'no stats')"
  if [ "$(cat "$work/status")" -ne 0 ]; then
    tail -n 60 "$work/log"
    echo "fuzzer $name failed; its input, findings and log are in $work"
    failed=1
  else
    rm -rf "$work"
  fi
done
[ "$failed" -eq 0 ] || exit 1
rmdir "$fuzz_runs"
