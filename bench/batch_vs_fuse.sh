#!/usr/bin/env bash
# Times `melvaro-cli batch` on 10 series of three 12-megapixel pictures against 10 separate
# `melvaro-cli fuse` runs of the same series, in one run, and prints wall time, CPU time and
# peak memory of both and their ratios.
#
# Usage: [REPEATS=3] [SERIES=10] bench/batch_vs_fuse.sh [work-folder]   (default build/bench-batch)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
work="${1:-$root/build/bench-batch}"
repeats="${REPEATS:-3}"
count="${SERIES:-10}"
mkdir -p "$work/out"
[ -x /usr/bin/time ] || { echo "needs GNU time (the Debian package 'time')" >&2; exit 1; }

cmake --preset release >/dev/null
cmake --build --preset release --target melvaro-cli melvaro_batch_bench -j "$(nproc)" >/dev/null
cli="$root/build/release/cli/melvaro-cli"

# The series: IMG_0001.jpg .. in threes, with capture data that groups them.
"$root/build/release/bench/melvaro_batch_bench" "$work/series" "$count"

source "$root/bench/timing.sh"

# The separate runs one after the other: summed times, the highest peak.
separate() {
  local total="0 0 0" s files
  for ((s = 0; s < count; s++)); do
    files=()
    for i in 1 2 3; do files+=("$(printf '%s/series/IMG_%04d.jpg' "$work" $((s * 3 + i)))"); done
    total=$(printf '%s\n%s\n' "$total" \
      "$(measure "$cli" fuse --quiet --jpeg-quality 95 -o "$work/out/fuse$s.jpg" "${files[@]}")" |
      awk 'NR == 1 { w = $1; c = $2; m = $3 } NR == 2 { w += $1; c += $2; if ($3 > m) m = $3 }
           END { printf "%.2f %.2f %.0f\n", w, c, m }')
  done
  echo "$total"
}

machine
echo "$count series of 3 pictures of 4000 x 3000; each figure the lowest of $repeats runs, taking turns."
runs_fuse="" runs_batch=""
for ((r = 0; r < repeats; r++)); do
  runs_fuse+=$(separate)$'\n'
  # --overwrite: every run fuses every series again instead of keeping the last run's results.
  runs_batch+=$(measure "$cli" batch --quiet --overwrite --jpeg-quality 95 \
    -o "$work/out/{first}-vtx.jpg" "$work/series")$'\n'
done
compare "$count x melvaro-cli fuse" "$(printf '%s' "$runs_fuse" | best)" \
  "melvaro-cli batch, $count series" "$(printf '%s' "$runs_batch" | best)" \
  "batch / separate runs" 1.05 1.05 \
  "Targets: wall <= 1.05 x the separate runs, peak memory that of one series"
