#!/usr/bin/env bash
# Times `melvaro-cli fuse --align` against `melvaro-cli fuse` on a hand-held series of three
# 12-megapixel pictures, in one run, and prints wall time, CPU time and peak memory of both
# and their ratios (goals: time <= 1.5 x, peak memory <= 1.2 x that of `fuse`).
#
# The series is made once from the seeding photograph (shared/data): enlarged to 5334 x 3000,
# three frames of its central 4000 x 3000 at -2, 0 and +2 EV (linear light, 2.2 curve, JPEG
# quality 92), the outer two moved as a hand-held camera moves (turns of 0.8 and -0.6 degrees,
# shifts of 20..35 px). Needs python3-opencv and GNU time.
#
# Usage: [REPEATS=3] bench/fuse_align_vs_fuse.sh [work-folder]   (default build/bench-fuse-align)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
work="${1:-$root/build/bench-fuse-align}"
repeats="${REPEATS:-3}"
mkdir -p "$work/out"
[ -x /usr/bin/time ] || { echo "needs GNU time (the Debian package 'time')" >&2; exit 1; }
/usr/bin/python3 -c 'import cv2' 2>/dev/null || { echo "needs python3-opencv" >&2; exit 1; }

cmake --preset release >/dev/null
cmake --build --preset release --target melvaro-cli -j "$(nproc)" >/dev/null
cli="$root/build/release/cli/melvaro-cli"

data="${MELVARO_DATA:-$root/../../shared/data}"
[ -d "$data/photos" ] || data=/work/shared/data
if [ ! -f "$work/frame_2.jpg" ]; then
  /usr/bin/python3 - "$data/photos/seeding_by_Clements_Engelhardt.jpg" "$work" <<'PY'
import sys, math
import cv2
import numpy as np

photo = cv2.imread(sys.argv[1], cv2.IMREAD_COLOR).astype(np.float32) / 255.0
big = cv2.resize(photo, (5334, 3000), interpolation=cv2.INTER_CUBIC)
linear = np.power(np.clip(big, 0, 1), 2.2)
w, h = 4000, 3000
cx, cy = big.shape[1] / 2.0, big.shape[0] / 2.0
moves = [(0.8, 35.0, -20.0), (0.0, 0.0, 0.0), (-0.6, -25.0, 30.0)]
for k, ((deg, dx, dy), stops) in enumerate(zip(moves, (-2.0, 0.0, 2.0))):
    a = math.radians(deg)
    # Frame pixel -> photograph point: a turn about the photograph's centre, then the window.
    m = np.array([[math.cos(a), -math.sin(a), 0.0], [math.sin(a), math.cos(a), 0.0]])
    ox, oy = cx - w / 2.0, cy - h / 2.0
    m[:, 2] = [cx + dx - (m[0, 0] * (cx - ox) + m[0, 1] * (cy - oy)) + 0.0,
               cy + dy - (m[1, 0] * (cx - ox) + m[1, 1] * (cy - oy))]
    frame = cv2.warpAffine(linear, m, (w, h), flags=cv2.INTER_LANCZOS4 | cv2.WARP_INVERSE_MAP,
                           borderMode=cv2.BORDER_REFLECT)
    out = np.power(np.clip(frame * 2.0 ** stops, 0, 1), 1 / 2.2)
    cv2.imwrite(f"{sys.argv[2]}/frame_{k}.jpg", np.round(out * 255).astype(np.uint8),
                [cv2.IMWRITE_JPEG_QUALITY, 92])
PY
fi
frames=("$work/frame_0.jpg" "$work/frame_1.jpg" "$work/frame_2.jpg")

source "$root/bench/timing.sh"

machine
echo "3 pictures of 4000 x 3000, JPEG in, TIFF out; each figure the lowest of $repeats runs, taking turns."
runs_fuse="" runs_align=""
for ((r = 0; r < repeats; r++)); do
  runs_fuse+=$(measure "$cli" fuse --quiet -o "$work/out/fused.tif" "${frames[@]}")$'\n'
  runs_align+=$(measure "$cli" fuse --quiet --align -o "$work/out/aligned.tif" "${frames[@]}")$'\n'
done
"$cli" fuse --quiet --align -o "$work/out/aligned.tif" "${frames[@]}" 2>&1 | sed 's/^/  /'
compare "melvaro-cli fuse" "$(printf '%s' "$runs_fuse" | best)" \
  "melvaro-cli fuse --align" "$(printf '%s' "$runs_align" | best)" \
  "fuse --align / fuse" 1.5 1.2 "Goals: wall <= 1.5 x, peak memory <= 1.2 x"
