#!/usr/bin/env bash
# `tavelo view` serving playback: a 1920x1080 composition of 48 frames at
# 24 fps (the title card scaled up, 2 s), played at half resolution as the
# page plays it (JPEG frames, one connection kept alive). The cache is
# warmed by one pass, then every frame is asked for again: frames served a
# second, against the composition's own rate. Then the first frame after a
# scrub: a frame of another resolution (not cached), as a PNG, timed from
# the request to the last byte, beside the render time the server reports
# (X-Render-Ms): the rest is encoding and HTTP.
#   bench/view_bench.sh [TAVELO]   (default build/host/tavelo)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
TAVELO=$(realpath "${1:-$here/../build/host/tavelo}")
T=$(mktemp -d /tmp/tavelo-view-bench.XXXXXX)
pid=
trap '[ -n "$pid" ] && kill -INT $pid 2>/dev/null; wait 2>/dev/null; rm -rf "$T"' EXIT
now() { date +%s.%N; }

sed -e 's/"duration": 1,/"duration": 2,/' -e 's/"width": 320, "height": 180/"width": 1920, "height": 1080/' \
  "$here/../examples/title_card.json" >"$T/title.json"
"$TAVELO" view "$T/title.json" --port 0 -q >"$T/out" 2>"$T/err" &
pid=$!
while ! grep -q "Ctrl-C stops" "$T/out" 2>/dev/null; do
  kill -0 $pid 2>/dev/null || { cat "$T/err"; exit 1; }
  sleep 0.05
done
base=$(grep -o 'http://[^/]*' "$T/out")
comp=$(curl -s "$base/api/comps" | python3 -c 'import json,sys; c=json.load(sys.stdin)[0]; print(c["id"], c["frames"], c["fps"], c["width"], c["height"])')
read -r id frames fps width height <<<"$comp"
urls=()
for ((f = 0; f < frames; f++)); do urls+=(-o /dev/null "$base/api/comps/$id/frame?frame=$f&res=half&format=jpeg"); done

t0=$(now)
curl -s "${urls[@]}"
t1=$(now)
curl -s "${urls[@]}"
t2=$(now)
curl -s "${urls[@]}"
t3=$(now)
# The scrub: frames of quarter resolution are not cached yet.
lat=()
for f in 7 23 41; do
  lat+=("$(curl -s -D "$T/h$f" -o /dev/null -w '%{time_total}' "$base/api/comps/$id/frame?frame=$f&res=quarter")")
  lat+=("$(tr -d '\r' <"$T/h$f" | sed -n 's/^X-Render-Ms: //p')")
done
python3 - "$frames" "$fps" "$width" "$height" "$t0" "$t1" "$t2" "$t3" "${lat[@]}" <<'EOF'
import sys
frames, fps, w, h = int(sys.argv[1]), float(sys.argv[2]), sys.argv[3], sys.argv[4]
t0, t1, t2, t3 = map(float, sys.argv[5:9])
lat = list(map(float, sys.argv[9:]))
cold = frames / (t1 - t0)
warm = frames / min(t2 - t1, t3 - t2)
print(f"composition {w} x {h}, {frames} frames at {fps:g} fps, played at half resolution as JPEG")
print(f"  cold pass (rendering):  {cold:7.1f} frames/s  ({cold / fps:.2f} x the composition's rate)")
print(f"  warm cache (best of 2): {warm:7.1f} frames/s  ({warm / fps:.2f} x the composition's rate)")
for i in range(0, len(lat), 2):
    total, render = lat[i] * 1000, lat[i + 1]
    print(f"  scrub to a new frame:   {total:7.1f} ms to the last byte, {render:.1f} ms of it rendering")
EOF
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
