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

# The table of two runs' best figures and their ratios, as every script prints it:
#   compare BASE_LABEL "w c m" NEW_LABEL "w c m" RATIO_NAME WALL_GOAL MEMORY_GOAL GOAL_TEXT
# e.g. compare "melvaro-cli fuse" "$fuse" "melvaro-cli fuse --align" "$aligned" \
#        "fuse --align / fuse" 1.5 1.2 "Goals: wall <= 1.5 x, peak memory <= 1.2 x"
compare() {
  local bw bc bm nw nc nm
  read -r bw bc bm <<<"$2"
  read -r nw nc nm <<<"$4"
  echo "Load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
  printf '\n%-28s %9s %9s %10s\n' run wall_s cpu_s peak_MB
  printf '%-28s %9s %9s %10s\n' "$1" "$bw" "$bc" "$bm"
  printf '%-28s %9s %9s %10s\n' "$3" "$nw" "$nc" "$nm"
  awk -v nw="$nw" -v bw="$bw" -v nc="$nc" -v bc="$bc" -v nm="$nm" -v bm="$bm" -v name="$5" \
    -v wallGoal="$6" -v memoryGoal="$7" -v goals="$8" 'BEGIN {
    printf "\n%s: wall %.3f  cpu %.3f  peak memory %.3f\n", name, nw / bw, nc / bc, nm / bm
    printf "%s: %s\n", goals, nw <= wallGoal * bw && nm <= memoryGoal * bm ? "met" : "missed"
  }'
}

# The machine and its load, for the figures that follow.
machine() {
  echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
  echo "Load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
}
