#!/usr/bin/env bash
# Builds wallpaper-fetcher and shows its main job offline: a small wallpaper
# gallery (demo/gallery) is served on 127.0.0.1, and one run walks it in three
# steps to a picture, converts it to Walp.bmp and installs it as the wallpaper.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
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
set +e
build/wallpaper-fetcher "$work/Sites.ini"
code=$?
set -e
echo
echo "== Exit code: $code"
picture=$(ls -t "$work/pictures" | grep -v -e '^Walp\.bmp$' -e '^temp\.file$' | head -n 1 || true)
if [ -n "$picture" ]; then
  echo "== Picture saved: $work/pictures/$picture"
fi
if [ -f "$work/pictures/Walp.bmp" ]; then
  echo "== Bitmap: $work/pictures/Walp.bmp ($(stat -c %s "$work/pictures/Walp.bmp") bytes)"
fi
echo "== History in $work/Sites.ini:"
grep -a '^Recent' "$work/Sites.ini" | tr -d '\r' | grep -v '=$' | sed 's/^/   /' || echo "   (empty)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== A desktop session is present: the wallpaper was handed to it (see the trace above)."
else
  echo "== No desktop session here (DISPLAY is not set): Walp.bmp is ready, but no desktop took it."
fi
