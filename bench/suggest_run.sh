#!/usr/bin/env bash
# Times `wallpaper-fetcher --suggest` on local galleries (python3's http.server
# on loopback), each suggestion a fresh process: the demo gallery, and a
# gallery of 48 picture pages in a grid of thumbnails, each page with its
# download per resolution (the demo's own JPEGs under new names). Prints per
# gallery the median wall time, the slowest, and the requests the suggestion
# made (from its "proved:" comment). The target is 10 s a suggestion.
# Needs python3 and a build of the program (build/wallpaper-fetcher).
# Usage: bench/suggest_run.sh [ROUNDS] (default 11).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-11}
binary="$top/build/wallpaper-fetcher"
[ -x "$binary" ] || { echo "build the program first (missing $binary)"; exit 1; }

work=$(mktemp -d)
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The grid gallery, from the demo's pictures.
site="$work/site"
mkdir -p "$site/w" "$site/thumbs" "$site/download"
big=$(ls -S "$top"/demo/gallery/files/*.jpg | head -1)
small=$(ls -S "$top"/demo/gallery/files/*.jpg | tail -1)
thumb=$(ls "$top"/demo/gallery/thumbs/* | head -1)
{
  echo '<html><body><div class="nav"><a href="/about.html">About</a></div><div class="grid">'
  for i in $(seq 1 48); do
    name="picture-$i-of-the-gallery"
    echo "<a href=\"/w/$name.html\"><img src=\"/thumbs/$name.jpg\"></a>"
    cp "$thumb" "$site/thumbs/$name.jpg"
    cp "$small" "$site/download/$name-small.jpg"
    cp "$big" "$site/download/$name-large.jpg"
    printf '<html><body><img src="/thumbs/%s.jpg"><a href="/download/%s-small.jpg">small</a> <a href="/download/%s-large.jpg">large</a></body></html>\n' \
      "$name" "$name" "$name" > "$site/w/$name.html"
  done
  echo '</div></body></html>'
} > "$site/index.html"
echo '<html><body>About</body></html>' > "$site/about.html"

# Serves the folder $1 on a free port of loopback; the port in $port.
serve() {
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  (cd "$1" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
  servers+=($!)
  for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$port/" 2>/dev/null && return
    python3 -c 'import time; time.sleep(0.1)'
  done
}
serve "$top/demo/gallery"
demo_port=$port
serve "$site"
grid_port=$port
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/.state"
mkdir -p "$HOME"

for gallery in "demo $demo_port" "grid-of-48 $grid_port"; do
  label=${gallery% *}
  url="http://127.0.0.1:${gallery#* }/"
  times=()
  requests=""
  for _ in $(seq "$rounds"); do
    start=$(date +%s.%N)
    out=$(cd "$work" && "$binary" --suggest "$url") || { echo "no suggestion for $url"; exit 1; }
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
    requests=$(printf '%s\n' "$out" | sed -n 's/.*; \([0-9]*\) requests in .*/\1/p')
  done
  sorted=$(printf '%s\n' "${times[@]}" | sort -n)
  median=$(printf '%s\n' "$sorted" | sed -n "$(( (rounds + 1) / 2 ))p")
  slowest=$(printf '%s\n' "$sorted" | tail -1)
  printf '%-12s median %.3f s, slowest %.3f s, %s requests\n' "$label" "$median" "$slowest" "$requests"
done
