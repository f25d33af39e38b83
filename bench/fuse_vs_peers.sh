#!/usr/bin/env bash
# Times `melvaro-cli fuse` against enfuse and OpenCV's Mertens fusion on
# 12-megapixel series of 3, 5 and 9 pictures made from the bundled samples, in
# one run, and prints wall time, CPU time, peak memory and the ratios
# ours/theirs.
#
# Usage: [REPEATS=3] bench/fuse_vs_peers.sh [work-folder]   (default build/bench-fuse)
# Installs its peers (enfuse, python3-opencv) through apt when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
work="${1:-$root/build/bench-fuse}"
repeats="${REPEATS:-3}"
mkdir -p "$work/series" "$work/out"

# --- the peers ------------------------------------------------------------
# The system's Python, which the Debian OpenCV bindings belong to.
python=/usr/bin/python3
need=()
command -v enfuse >/dev/null || need+=(enfuse)
"$python" -c 'import cv2' 2>/dev/null || need+=(python3-opencv)
command -v convert >/dev/null || need+=(imagemagick)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${need[@]}" >/dev/null
fi

# --- our program ------------------------------------------------------------
cmake --preset release >/dev/null
cmake --build --preset release --target melvaro-cli -j "$(nproc)" >/dev/null
cli="$root/build/release/cli/melvaro-cli"

cat >"$work/mertens.py" <<'EOF'
# OpenCV's exposure fusion with its default weights (contrast, saturation and
# well-exposedness all 1), reading and writing the files like the others.
import sys
import cv2
import numpy as np

import time

out, inputs = sys.argv[1], sys.argv[2:]
pictures = [cv2.imread(p, cv2.IMREAD_COLOR) for p in inputs]
start = time.perf_counter()
fused = cv2.createMergeMertens().process(pictures)
seconds = time.perf_counter() - start
cv2.imwrite(out, np.clip(fused * 255.0, 0, 255).astype(np.uint8), [cv2.IMWRITE_JPEG_QUALITY, 95])
# The fusion call alone, without reading and writing, for the comparison.
with open(out + ".process", "w") as f:
    f.write("%.3f\n" % seconds)
EOF

# --- the series: 4000 x 3000 JPEGs ----------------------------------------
# The four St. Louis exposures upscaled, and further exposures derived from
# them by brightness changes. 3: three originals; 5: all four and one more;
# 9: all four and five more.
src="$root/samples/bracketed/stlouis"
make_frame() {  # name source factor
  local out="$work/series/$1.jpg"
  [ -f "$out" ] || convert "$src/$2.jpg" -resize '4000x3000!' -evaluate multiply "$3" \
    -quality 95 "$out"
}
make_frame a stlouis0 1.0
make_frame b stlouis1 1.0
make_frame c stlouis2 1.0
make_frame d stlouis3 1.0
make_frame e stlouis0 2.2
make_frame f stlouis1 1.6
make_frame g stlouis2 0.6
make_frame h stlouis3 0.45
make_frame i stlouis3 0.7
# The real St. Louis series at its original 2816 x 2112 (the samples hold it
# at half size).
make_full() {  # name source
  local out="$work/series/$1.jpg"
  [ -f "$out" ] || convert "$src/$2.jpg" -resize '200%' -quality 95 "$out"
}
make_full s0 stlouis0
make_full s1 stlouis1
make_full s2 stlouis2
make_full s3 stlouis3
declare -A series=(
  [3]="a b d"
  [5]="a b c d g"
  [9]="a b c d e f g h i"
  [stl]="s0 s1 s2 s3"
)
sizes=(3 5 9 stl)

# --- timing -----------------------------------------------------------------
# Prints "wall cpu peakMB" of one command from GNU time's report.
measure() {
  local report="$work/out/time.txt"
  /usr/bin/time -v -o "$report" "$@" >/dev/null 2>"$work/out/stderr.txt" || {
    echo "failed: $*" >&2
    cat "$work/out/stderr.txt" >&2
    exit 1
  }
  awk -F': ' '
    /Elapsed \(wall clock\)/ { n = split($2, t, ":"); wall = 0; for (i = 1; i <= n; i++) wall = wall * 60 + t[i] }
    /User time/ { user = $2 } /System time/ { sys = $2 }
    /Maximum resident set size/ { rss = $2 }
    END { printf "%.2f %.2f %.0f\n", wall, user + sys, rss / 1024 }' "$report"
}

# Keeps, of several runs, the lowest of each figure: the machine is shared,
# and a run that another program slowed down says nothing about ours.
best() {  # "wall cpu mem" lines on stdin
  sort -n -k1,1 | awk 'NR == 1 { w = $1; c = $2; m = $3 }
    { if ($2 < c) c = $2; if ($3 < m) m = $3 } END { printf "%s %s %s\n", w, c, m }'
}

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "Load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Each figure: the lowest of $repeats runs, the three programs taking turns."
echo "Series 3, 5, 9: 12-megapixel pictures; stl: the 4 St. Louis pictures at 2816 x 2112."
printf '\n%-7s %-8s %9s %9s %10s\n' pictures program wall_s cpu_s peak_MB
declare -A result process
for n in "${sizes[@]}"; do
  files=()
  for f in ${series[$n]}; do files+=("$work/series/$f.jpg"); done
  declare -A runs=([ours]="" [enfuse]="" [opencv]="" [process]="")
  for ((r = 0; r < repeats; r++)); do
    runs[ours]+=$(measure "$cli" fuse --quiet --jpeg-quality 95 -o "$work/out/ours$n.jpg" \
      "${files[@]}")$'\n'
    runs[enfuse]+=$(measure enfuse --exposure-weight=1 --saturation-weight=1 --contrast-weight=1 \
      --compression=95 -o "$work/out/enfuse$n.jpg" "${files[@]}")$'\n'
    runs[opencv]+=$(measure "$python" "$work/mertens.py" "$work/out/opencv$n.jpg" \
      "${files[@]}")$'\n'
    runs[process]+=$(cat "$work/out/opencv$n.jpg.process")$'\n'
  done
  process[$n]=$(printf '%s' "${runs[process]}" | sort -n | head -1)
  for p in ours enfuse opencv; do
    result[$n,$p]=$(printf '%s' "${runs[$p]}" | best)
    read -r wall cpu mem <<<"${result[$n,$p]}"
    printf '%-7s %-8s %9s %9s %10s\n' "$n" "$p" "$wall" "$cpu" "$mem"
  done
done

echo
echo "OpenCV's process() call alone (no reading, no writing), seconds:"
for n in "${sizes[@]}"; do printf '  %-4s %s\n' "$n" "${process[$n]}"; done

echo
echo "Ratios ours/theirs (wall, CPU, peak memory; 'opencv call' is our whole run"
echo "against OpenCV's process() call alone):"
for n in "${sizes[@]}"; do
  read -r ow oc om <<<"${result[$n,ours]}"
  for p in enfuse opencv; do
    read -r tw tc tm <<<"${result[$n,$p]}"
    awk -v n="$n" -v p="$p" -v ow="$ow" -v oc="$oc" -v om="$om" -v tw="$tw" -v tc="$tc" -v tm="$tm" \
      'BEGIN { printf "  %-3s vs %-11s wall %.2f  cpu %.2f  memory %.2f\n", n, p, ow / tw, oc / tc, om / tm }'
  done
  awk -v n="$n" -v ow="$ow" -v t="${process[$n]}" \
    'BEGIN { printf "  %-3s vs %-11s wall %.2f\n", n, "opencv call", ow / t }'
done
read -r _ _ m3 <<<"${result[3,ours]}"
read -r _ _ m9 <<<"${result[9,ours]}"
read -r _ _ e3 <<<"${result[3,enfuse]}"
awk -v a="$m9" -v b="$m3" 'BEGIN { printf "Our peak memory, 9 pictures / 3 pictures: %.2f\n", a / b }'

echo
echo "Targets: wall <= 0.3 x enfuse and <= 0.5 x OpenCV's process() call (every series);"
echo "peak memory at 3 pictures <= enfuse's; memory 9/3 <= 1.15"
ok=1
for n in "${sizes[@]}"; do
  read -r ow _ _ <<<"${result[$n,ours]}"
  read -r ew _ _ <<<"${result[$n,enfuse]}"
  awk -v o="$ow" -v e="$ew" -v c="${process[$n]}" 'BEGIN { exit !(o <= 0.3 * e && o <= 0.5 * c) }' ||
    { ok=0; echo "  missed: $n pictures"; }
done
awk -v a="$m3" -v b="$e3" 'BEGIN { exit !(a <= b) }' || { ok=0; echo "  missed: memory at 3 pictures"; }
awk -v a="$m9" -v b="$m3" 'BEGIN { exit !(a <= 1.15 * b) }' || { ok=0; echo "  missed: memory 9/3"; }
[ "$ok" -eq 1 ] && echo "All targets met." || echo "Some targets missed."
echo "Fused pictures: $work/out"
