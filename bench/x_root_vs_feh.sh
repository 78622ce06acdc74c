#!/usr/bin/env bash
# The X root path of a run (decode Walp.bmp, compose it into each monitor,
# publish it as the root window's background) against `feh --bg-fill` on the
# same bitmap and the same two monitors of a 3840x1080 screen, each started
# as a whole process, in turn, ROUNDS times (default 10); prints each one's
# times and medians, and checks that both drew each monitor the same way.
#
#   bash scripts/install-deps.sh bench
#   cmake -S . -B build -DFETCHER_BUILD_BENCH=ON && cmake --build build
#   bash bench/x_root_vs_feh.sh [ROUNDS]
#
# PICTURE=WxH chooses the bitmap's size (default 1920x1200: scaled into each
# 1920x1080 monitor, the top and bottom cut off).
set -euo pipefail
rounds=${1:-10}
build=${BUILD:-build}
picture=${PICTURE:-1920x1200}
draw="$build/bench/x_root_draw"
[ -x "$draw" ] || { echo "x_root_vs_feh: build $draw first (FETCHER_BUILD_BENCH=ON)" >&2; exit 2; }
command -v feh >/dev/null || { echo "x_root_vs_feh: feh is not installed" >&2; exit 2; }

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 3840x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(cat "$work/display")"
xrandr -d "$display" --setmonitor left 1920/508x1080/286+0+0 screen >/dev/null
xrandr -d "$display" --setmonitor right 1920/508x1080/286+1920+0 none >/dev/null

# A smooth picture, red growing to the right, green downwards.
python3 - "$work/Walp.bmp" "${picture%x*}" "${picture#*x}" <<'PY'
import struct, sys
path, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
pad = (4 - w * 3 % 4) % 4
rows = []
for y in range(h - 1, -1, -1):
    g = y * 255 // (h - 1)
    rows.append(b"".join(bytes((128, g, x * 255 // (w - 1))) for x in range(w)) + b"\0" * pad)
data = b"".join(rows)
header = b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
header += struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
open(path, "wb").write(header + data)
PY

# The root window's pixels at the middle and the left edge of each monitor.
sample() {
  xwd -root -silent -display "$display" | python3 -c '
import struct, sys
d = sys.stdin.buffer.read()
f = struct.unpack(">25I", d[:100])
off = f[0] + f[19] * 12
def px(x, y):
    return "%06X" % (struct.unpack("<I", d[off + y * f[12] + x * 4:off + y * f[12] + x * 4 + 4])[0] & 0xFFFFFF)
print(" ".join(px(x, y) for x, y in ((960, 540), (2880, 540), (4, 540), (1924, 540))))'
}

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N); echo "$end - $start" | bc; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

ours=() theirs=()
for round in $(seq 1 "$rounds"); do
  ours+=("$(seconds "$draw" "$display" "$work/Walp.bmp" fill)")
  theirs+=("$(HOME="$work" DISPLAY="$display" seconds feh --no-fehbg --bg-fill "$work/Walp.bmp")")
done
"$draw" "$display" "$work/Walp.bmp" fill
ours_pixels=$(sample)
HOME="$work" DISPLAY="$display" feh --no-fehbg --bg-fill "$work/Walp.bmp"
feh_pixels=$(sample)

echo "x root path, $picture bitmap, two 1920x1080 monitors, fill, $rounds rounds (seconds)"
echo "  wallpaper-fetcher: ${ours[*]}"
echo "  feh --bg-fill:     ${theirs[*]}"
echo "  median: wallpaper-fetcher $(printf '%s\n' "${ours[@]}" | median), feh $(printf '%s\n' "${theirs[@]}" | median)"
echo "  pixels (middle and left edge of each monitor): wallpaper-fetcher $ours_pixels; feh $feh_pixels"
