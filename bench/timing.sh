# What the scripts that time melvaro-cli runs against each other share; sourced, with $work set
# to the script's work folder (its out/ sub-folder takes the reports).

# Prints "wall cpu peakMB" of one command from GNU time's report.
measure() {
  local report="$work/out/time.txt"
  /usr/bin/time -f "%e %U %S %M" -o "$report" "$@" >/dev/null 2>"$work/out/stderr.txt" || {
    echo "failed: $*" >&2
    cat "$work/out/stderr.txt" >&2
    exit 1
  }
  awk '{ printf "%.2f %.2f %.0f\n", $1, $2 + $3, $4 / 1024 }' "$report"
}

# Of several runs the lowest of each figure: the machine is shared.
best() {
  sort -n -k1,1 | awk 'NR == 1 { w = $1; c = $2; m = $3 }
    { if ($2 < c) c = $2; if ($3 < m) m = $3 } END { printf "%s %s %s\n", w, c, m }'
}

# The machine and its load, for the figures that follow.
machine() {
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
  echo "Load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
}
