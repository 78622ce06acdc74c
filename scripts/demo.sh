#!/usr/bin/env bash
# Builds wallpaper-fetcher and shows its main job offline: a small wallpaper
# gallery (demo/gallery) is served on 127.0.0.1, and one run walks it in three
# steps to a picture, converts it to Walp.bmp and installs it as the wallpaper.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

bash scripts/install-deps.sh demo
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFETCHER_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target wallpaper-fetcher >/dev/null

work="$top/out/demo"
mkdir -p "$work/pictures"
rm -f "$work/port"

python3 scripts/demo_server.py "$top/demo/gallery" "$work/port" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")

# Keep the history of earlier demo runs, so a second run picks another picture.
if [ ! -f "$work/Sites.ini" ]; then
  sed -e "s|@PORT@|$port|g" -e "s|@SAVE_PATH@|$work/pictures/|" demo/Sites.ini.in |
    sed 's/$/\r/' > "$work/Sites.ini"
else
  sed -i -E "s|http://127\.0\.0\.1:[0-9]+/|http://127.0.0.1:$port/|" "$work/Sites.ini"
fi

echo "== Gallery served at http://127.0.0.1:$port/ from demo/gallery"
echo "== Running: build/wallpaper-fetcher $work/Sites.ini"
echo
# What this run did is read from its own trace, not from the files that
# earlier runs left in the save directory.
trace="$work/trace.txt"
set +e
build/wallpaper-fetcher "$work/Sites.ini" | tee "$trace"
code=${PIPESTATUS[0]}
set -e
echo
echo "== Exit code: $code"
picture=""
if grep -q '^Press any key, all steps are done$' "$trace"; then
  picture=$(sed -n 's/^m_strWalpFileName\.data() = //p' "$trace" | tail -n 1)
fi
if [ -n "$picture" ]; then
  url=$(sed -n 's/^Picked [0-9]* : //p' "$trace" | tail -n 1)
  echo "== This run's picture: $picture"
  if [ -n "$url" ] && grep -aqF "=$url"$'\r' "$work/Sites.ini"; then
    echo "   fetched from $url, now the newest line of the history"
  elif [ -n "$url" ]; then
    echo "   fetched from $url; no screen showed it, so it is kept for a later run"
  fi
  bitmap="$work/pictures/Walp.bmp"
  if [ -f "$bitmap" ]; then echo "== Bitmap made from it: $bitmap ($(stat -c %s "$bitmap") bytes)"; fi
  failure=$(sed -n 's/^strWallpaperError\.data() = //p' "$trace" | tail -n 1)
  if [ -z "$failure" ]; then
    echo "== The desktop took it as its wallpaper."
  else
    echo "== No desktop took it: $failure"
  fi
else
  echo "== This run made no new wallpaper (the trace above says why); the desktop keeps its picture."
fi
echo "== History in $work/Sites.ini:"
grep -a '^Recent' "$work/Sites.ini" | tr -d '\r' | grep -v '=$' | sed 's/^/   /' || echo "   (empty)"
