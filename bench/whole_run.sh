#!/usr/bin/env bash
# Times whole runs of wallpaper-fetcher against a site on loopback (nginx): a
# 200 KB index, a category page, a download page and a 3840x2160 JPEG
# converted to a 3840x2160 Walp.bmp (DeleteLast=1, KeepInHistory=0), each run
# a fresh process. In every round the commands take turns:
#   fetcher   the program, one whole run
#   before    (only with FETCHER_BEFORE=path) another build of it, the same way
#   floor     build/bench/floor_run: the same crawl and conversion in one
#             process with the same libraries and no isolation, Walp.bmp
#             flushed to disk before its rename as the program does
#   floor-nf  the same without that flush
#   tools     the same crawl with standard tools in one bash script
#             (curl x4, grep -oP, shuf, djpeg -bmp)
#   version   `wallpaper-fetcher --version` (start-up alone)
#   hello     a C hello world (the cost of starting any process)
# and prints medians, the medians of the round-by-round ratios, and the peak
# resident memory of the program (main process, decoder child).
# Needs nginx (nginx-light), curl, djpeg (libjpeg-turbo-progs), ImageMagick's
# convert, bc and a build with -DFETCHER_BUILD_BENCH=ON.
# With PROFILE=1 it then records ten more runs of the program with perf and
# prints where their cycles went, by library (perf from linux-perf).
# With WINDOWS=1 it times the Windows program instead (build-win/, the
# console one, its pictures decoded in its confined child), under Wine in
# the prefix build-win/wine-prefix, against FETCHER_BEFORE (another build's
# wallpaper-fetcher.com) when given, and `--version`; run it under
# xvfb-run, the desktop being Wine's.
# Usage: bench/whole_run.sh [ROUNDS] (default 21).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-21}
binary="$top/build/wallpaper-fetcher"
floor="$top/build/bench/floor_run"
preload="$top/build/bench/libpeak_memory.so"
program_file=wallpaper-fetcher
if [ "${WINDOWS:-0}" = 1 ]; then
  binary="$top/build-win/wallpaper-fetcher.com" floor="$binary" preload="$binary"
  program_file=wallpaper-fetcher.com
  export WINEPREFIX=${WINEPREFIX:-$top/build-win/wine-prefix} WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
fi
for f in "$binary" "$floor" "$preload"; do
  [ -e "$f" ] || { echo "build the program and the benchmarks first (missing $f)"; exit 1; }
done

work=$(mktemp -d)
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  [ "${WINDOWS:-0}" = 1 ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

chmod 755 "$work"
mkdir -p "$work/site/files" "$work/prog" "$work/before" "$work/floor" "$work/logs" "$work/tools"
convert -seed 7 -size 3840x2160 plasma:fractal -quality 90 "$work/site/files/uhd.jpg"
{
  echo '<html><body>'
  for i in $(seq 1500); do
    echo "<div class=\"news\"><a href=\"/news/$i.html\"><img src=\"/t/$i.jpg\"></a> Item $i of the gallery news, some text to read around it</div>"
    [ $((i % 300)) -eq 0 ] && echo "<a class=\"category\" href=\"/cat.html\">Category $i</a>"
  done
  echo '</body></html>'
} > "$work/site/index.html"
echo '<a href="/wall.html"><img src="/t.jpg"></a>' > "$work/site/cat.html"
echo '<a class="download" href="/files/uhd.jpg">3840x2160</a>' > "$work/site/wall.html"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  server {
    listen 127.0.0.1:$port;
    root $work/site;
    index index.html;
  }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.05; done

base="http://127.0.0.1:$port"
step1='<a class="category" href="/([^"]+)">'
step2='<a href="/([^"]+)"><img'
step3='<a class="download" href="/([^"]+)">3840x2160</a>'
write_ini() {
  printf '[General]\r\nDebugMode=0\r\nTryNumber=1\r\nKeepInHistory=0\r\nDeleteLast=1\r\nNumOfSites=1\r\nSavePath=\r\n\r\n[Site1]\r\nBegin=%s/\r\nStep1Get=%s\r\nStep1Go=%s/$_1_$\r\nStep2Get=%s\r\nStep2Go=%s/$_1_$\r\nStep3Get=%s\r\nStep3Go=%s/$_1_$\r\n' \
    "$base" "$step1" "$base" "$step2" "$base" "$step3" "$base" > "$1/Sites.ini"
}
cp "$binary" "$work/prog/"
write_ini "$work/prog"
if [ -n "${FETCHER_BEFORE:-}" ]; then
  cp "$FETCHER_BEFORE" "$work/before/$program_file"
  write_ini "$work/before"
fi
cat > "$work/tools.sh" <<'TOOLS'
base=$1 out=$2
link=$(curl -s "$base/" | grep -oP '<a class="category" href="/\K[^"]+(?=">)' | shuf -n 1)
link=$(curl -s "$base/$link" | grep -oP '<a href="/\K[^"]+(?="><img)' | shuf -n 1)
link=$(curl -s "$base/$link" | grep -oP '<a class="download" href="/\K[^"]+(?=">3840x2160</a>)' | shuf -n 1)
curl -s -o "$out/${link##*/}" "$base/$link"
djpeg -bmp -outfile "$out/Walp.bmp" "$out/${link##*/}"
TOOLS
printf '#include <stdio.h>\nint main(void) { puts("hello"); return 0; }\n' > "$work/hello.c"
cc -O2 -o "$work/hello" "$work/hello.c"

# Milliseconds taken by a command, from bash's own clock (no process started
# to read the time), and the processor time it and its children used (from
# `times` in the subshell this runs in). Prints "WALL CPU".
elapsed_ms() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null
  local end=$EPOCHREALTIME
  local user system
  times >"$work/times"
  { read -r _ _; read -r user system; } <"$work/times"
  echo "($end - $start) * 1000" | bc -l | tr '\n' ' '
  echo "$user $system" | sed -E 's/([0-9]+)m([0-9.]+)s/(\1*60+\2)/g; s/ /+/; s/$/)*1000/; s/^/(/' | bc -l
}
run_program() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CURRENT_DESKTOP "$1/wallpaper-fetcher" "$1/Sites.ini"
}
median() { sort -g | awk -v f="%.${1:-1}f" '{a[NR]=$1} END {printf f, a[int((NR+1)/2)]}'; }
ratio() { echo "scale=4; $1 / $2" | bc -l; }

if [ "${WINDOWS:-0}" = 1 ]; then
  run_program() { wine "$1/wallpaper-fetcher.com" "Z:$1/Sites.ini"; }
  wineserver -p 2>/dev/null || true  # stays between the runs, as Windows itself does
  wineboot -i >/dev/null 2>&1
  names=(fetcher version)
  [ -n "${FETCHER_BEFORE:-}" ] && names=(fetcher before version)
  declare -A times
  for name in "${names[@]}"; do times[$name]=""; done
  ratios=""
  for i in $(seq "$runs"); do
    rm -f "$work"/*/Walp.bmp
    for name in "${names[@]}"; do
      case $name in
        fetcher) read -r t _ < <(elapsed_ms run_program "$work/prog") ;;
        before) read -r t _ < <(elapsed_ms run_program "$work/before") ;;
        version) read -r t _ < <(elapsed_ms wine "$work/prog/wallpaper-fetcher.com" --version) ;;
      esac
      times[$name]+="$t "
      declare "t_$name=$t"
    done
    for dir in prog ${FETCHER_BEFORE:+before}; do
      [ -s "$work/$dir/Walp.bmp" ] || { echo "run $i in $dir made no Walp.bmp"; exit 1; }
    done
    [ -n "${FETCHER_BEFORE:-}" ] && ratios+="$(ratio "$t_fetcher" "$t_before") "
  done
  echo "Windows program under Wine; picture: 3840x2160 JPEG; $runs rounds, medians"
  for name in "${names[@]}"; do
    printf '%-8s %8s ms\n' "$name" "$(printf '%s\n' ${times[$name]} | median)"
  done
  [ -n "$ratios" ] && echo "fetcher/before: $(printf '%s\n' $ratios | median 2 | sed 's/^/x/')"
  exit 0
fi

names=(fetcher floor floor-nf tools version hello)
[ -n "${FETCHER_BEFORE:-}" ] && names=(fetcher before floor floor-nf tools version hello)
declare -A times
declare -A cpu
for name in "${names[@]}"; do times[$name]="" cpu[$name]=""; done
ratio_floor="" ratio_floor_nf="" ratio_tools="" ratio_before=""
for i in $(seq "$runs"); do
  rm -f "$work"/*/Walp.bmp
  read -r t_fetcher c_fetcher < <(elapsed_ms run_program "$work/prog")
  [ -s "$work/prog/Walp.bmp" ] || {
    echo "run $i made no Walp.bmp"
    sed -i "s/DebugMode=0/DebugMode=1/" "$work/prog/Sites.ini"
    run_program "$work/prog"
    exit 1
  }
  if [ -n "${FETCHER_BEFORE:-}" ]; then
    read -r t_before c_before < <(elapsed_ms run_program "$work/before")
    [ -s "$work/before/Walp.bmp" ] || { echo "run $i of $FETCHER_BEFORE made no Walp.bmp"; exit 1; }
    times[before]+="$t_before " cpu[before]+="$c_before "
    ratio_before+="$(ratio "$t_fetcher" "$t_before") "
  fi
  read -r t_floor c_floor < <(elapsed_ms "$floor" "$work/floor" "$base/" "$step1" "$base/\$_1_\$" "$step2" \
    "$base/\$_1_\$" "$step3" "$base/\$_1_\$")
  [ -s "$work/floor/Walp.bmp" ] || { echo "run $i of the floor made no Walp.bmp"; exit 1; }
  read -r t_floor_nf c_floor_nf < <(elapsed_ms "$floor" --no-flush "$work/floor" "$base/" "$step1" \
    "$base/\$_1_\$" "$step2" "$base/\$_1_\$" "$step3" "$base/\$_1_\$")
  read -r t_tools c_tools < <(elapsed_ms bash "$work/tools.sh" "$base" "$work/tools")
  [ -s "$work/tools/Walp.bmp" ] || { echo "run $i of the tools made no Walp.bmp"; exit 1; }
  read -r t_version c_version < <(elapsed_ms "$work/prog/wallpaper-fetcher" --version)
  read -r t_hello c_hello < <(elapsed_ms "$work/hello")
  times[fetcher]+="$t_fetcher " times[floor]+="$t_floor " times[tools]+="$t_tools "
  times[version]+="$t_version " times[hello]+="$t_hello "
  times[floor-nf]+="$t_floor_nf " cpu[floor-nf]+="$c_floor_nf "
  cpu[fetcher]+="$c_fetcher " cpu[floor]+="$c_floor " cpu[tools]+="$c_tools "
  cpu[version]+="$c_version " cpu[hello]+="$c_hello "
  ratio_floor+="$(ratio "$t_fetcher" "$t_floor") "
  ratio_floor_nf+="$(ratio "$t_fetcher" "$t_floor_nf") "
  ratio_tools+="$(ratio "$t_fetcher" "$t_tools") "
done

# Peak memory, in separate runs so that the preloaded reporter costs the
# timed ones nothing.
peaks="$work/peaks"
for i in 1 2 3; do
  PEAK_MEMORY_FILE="$peaks" LD_PRELOAD="$preload" run_program "$work/prog" >/dev/null
done

echo "picture: 3840x2160 JPEG, $(stat -c %s "$work/site/files/uhd.jpg") bytes; index $(stat -c %s "$work/site/index.html") bytes; Walp.bmp $(stat -c %s "$work/prog/Walp.bmp") bytes; $runs rounds, medians"
for name in "${names[@]}"; do
  printf '%-8s %8s ms   processor time %8s ms\n' "$name" "$(printf '%s\n' ${times[$name]} | median)" \
    "$(printf '%s\n' ${cpu[$name]} | median)"
done
echo "fetcher/floor: $(printf '%s\n' $ratio_floor | median 2 | sed 's/^/x/')  (round by round)"
echo "fetcher/floor-nf: $(printf '%s\n' $ratio_floor_nf | median 2 | sed 's/^/x/')"
echo "fetcher/tools: $(printf '%s\n' $ratio_tools | median 2 | sed 's/^/x/')"
[ -n "${FETCHER_BEFORE:-}" ] && echo "fetcher/before: $(printf '%s\n' $ratio_before | median 2 | sed 's/^/x/')"
sort -n "$peaks" | tail -n 1 | awk '{printf "peak resident memory: main process %.1f MB, largest child %.1f MB\n", $1/1024, $2/1024}'

if [ "${PROFILE:-0}" = 1 ]; then
  export -f run_program
  perf record -q -F 4999 -o "$work/perf.data" -- bash -c \
    'for i in 1 2 3 4 5 6 7 8 9 10; do run_program "$1" >/dev/null; done' _ "$work/prog" 2>/dev/null
  echo "profile of ten runs, share of all cycles by library:"
  perf report -i "$work/perf.data" --sort dso --stdio 2>/dev/null | grep -E '^ +[0-9.]+%' | head -n 12
fi
