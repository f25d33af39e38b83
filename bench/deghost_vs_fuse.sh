#!/usr/bin/env bash
# Time and peak memory of `melvaro-cli fuse --deghost` against `fuse` on a 12-megapixel
# bracket of three pictures (the sunset photograph at -2/0/+2 EV, a patch moved in the first),
# taking turns, three runs each; prints every run and the ratios of the lowest figures.
# With --align, also `fuse --align` and `fuse --deghost --align`, and whether the two together
# stay within the sum of their overheads (1 + align's + deghost's, in times `fuse`).
# Usage: bench/deghost_vs_fuse.sh [--align] [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
aligned=0
if [ "${1:-}" = --align ]; then
  aligned=1
  shift
fi
build="${1:-build/release}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$build/bench/melvaro_ghost_quality" --write "$work"
files=("$work"/ghost0.jpg "$work"/ghost1.jpg "$work"/ghost2.jpg)
echo "load before: $(uptime)"
run() {  # name, then the options
  local name=$1
  shift
  /usr/bin/time -f "$name %e %U %S %M" "$build/cli/melvaro-cli" fuse --quiet "$@" \
    -o "$work/out.jpg" "${files[@]}" 2>&1 >/dev/null | grep "^$name "
}
for i in 1 2 3; do
  run fuse
  run deghost --deghost
  if [ "$aligned" = 1 ]; then
    run align --align
    run both --deghost --align
  fi
done | tee "$work/runs"
echo "load after: $(uptime)"
awk -v aligned="$aligned" '
  function lower(table, key, value) {
    if (!(key in table) || value < table[key]) table[key] = value
  }
  function ratios(name) {
    printf "%s / fuse: wall %.3f  cpu %.3f  peak memory %.3f\n", name,
      wall[name] / wall["fuse"], cpu[name] / cpu["fuse"], mem[name] / mem["fuse"]
  }
  { lower(wall, $1, $2); lower(cpu, $1, $3 + $4); lower(mem, $1, $5) }
  END {
    printf "run        wall_s   cpu_s  peak_MB\n"
    for (n in wall) printf "%-8s %8.2f %7.2f %8.0f\n", n, wall[n], cpu[n], mem[n] / 1024
    ratios("deghost")
    if (!aligned) exit
    ratios("align")
    ratios("both")
    # The goal of the two together: no more than both overheads added.
    w = wall["align"] / wall["fuse"] + wall["deghost"] / wall["fuse"] - 1
    c = cpu["align"] / cpu["fuse"] + cpu["deghost"] / cpu["fuse"] - 1
    printf "deghost + align goal (1 + both overheads): wall %.3f  cpu %.3f: %s\n", w, c,
      wall["both"] / wall["fuse"] <= w && cpu["both"] / cpu["fuse"] <= c ? "met" : "missed"
  }' "$work/runs"
