#!/usr/bin/env bash
# Times whole runs of wallpaper-fetcher against a site on loopback: three
# steps ending in a 3840x2160 JPEG converted to Walp.bmp, each run a fresh
# process. Compares the median with the sum of `curl -s -o` of the same four
# files plus `djpeg -bmp` of the picture, timed in the same way and run.
# Needs nginx (nginx-light), curl, djpeg (libjpeg-turbo-progs) and
# ImageMagick's convert. Usage: bench/whole_run.sh [RUNS] (default 21).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-21}
binary="$top/build/wallpaper-fetcher"
[ -x "$binary" ] || { echo "build the program first (build/wallpaper-fetcher)"; exit 1; }

work=$(mktemp -d)
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

chmod 755 "$work"
mkdir -p "$work/site/files" "$work/prog" "$work/logs" "$work/curl"
convert -seed 7 -size 3840x2160 plasma:fractal -blur 0x2 -quality 90 "$work/site/files/uhd.jpg"
echo '<a class="category" href="/cat.html">Landscapes</a>' > "$work/site/index.html"
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
cp "$binary" "$work/prog/"
printf '[General]\r\nDebugMode=0\r\nTryNumber=1\r\nKeepInHistory=0\r\nNumOfSites=1\r\nSavePath=\r\n\r\n[Site1]\r\nBegin=%s/\r\nStep1Get=<a class="category" href="/([^"]+)">\r\nStep1Go=%s/$_1_$\r\nStep2Get=<a href="/([^"]+)"><img\r\nStep2Go=%s/$_1_$\r\nStep3Get=<a class="download" href="/([^"]+)">3840x2160</a>\r\nStep3Go=%s/$_1_$\r\n' \
  "$base" "$base" "$base" "$base" > "$work/prog/Sites.ini"

now_ms() { date +%s%N | awk '{printf "%.3f", $1/1000000}'; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

fetcher_times=()
baseline_times=()
for i in $(seq "$runs"); do
  start=$(now_ms)
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_CURRENT_DESKTOP "$work/prog/wallpaper-fetcher" \
    "$work/prog/Sites.ini"
  end=$(now_ms)
  fetcher_times+=("$(echo "$end - $start" | bc)")
  [ -s "$work/prog/Walp.bmp" ] || { echo "run $i made no Walp.bmp"; sed -i "s/DebugMode=0/DebugMode=1/" "$work/prog/Sites.ini"; "$work/prog/wallpaper-fetcher" "$work/prog/Sites.ini"; exit 1; }

  start=$(now_ms)
  curl -s -o "$work/curl/1" "$base/"
  curl -s -o "$work/curl/2" "$base/cat.html"
  curl -s -o "$work/curl/3" "$base/wall.html"
  curl -s -o "$work/curl/uhd.jpg" "$base/files/uhd.jpg"
  djpeg -bmp -outfile "$work/curl/uhd.bmp" "$work/curl/uhd.jpg"
  end=$(now_ms)
  baseline_times+=("$(echo "$end - $start" | bc)")
done

fetcher=$(printf '%s\n' "${fetcher_times[@]}" | median)
baseline=$(printf '%s\n' "${baseline_times[@]}" | median)
echo "picture: 3840x2160 JPEG, $(stat -c %s "$work/site/files/uhd.jpg") bytes; Walp.bmp $(stat -c %s "$work/prog/Walp.bmp") bytes; $runs runs each"
echo "wallpaper-fetcher whole run, median: $fetcher ms"
echo "curl x4 + djpeg -bmp, median:         $baseline ms"
echo "ratio: $(echo "scale=2; $fetcher / $baseline" | bc)"
