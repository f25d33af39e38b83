#!/usr/bin/env bash
# Accuracy of our alignment against Hugin's align_image_stack and OpenCV's
# AlignMTB on series with known motion (bench/align_accuracy.py says how they
# are made and measured), then the speed of estimation and resampling on
# 12-megapixel pictures (bench/align_bench.cpp).
#
# Usage: bench/align_vs_peers.sh [work-folder] [SET ...]   (default build/bench-align)
# Installs the peers (hugin-tools, python3-opencv) through apt when missing.
# The series are made once in the work folder and reused by later runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
work="${1:-$root/build/bench-align}"
shift || true
mkdir -p "$work"

# The system's Python, which the Debian OpenCV bindings belong to.
python=/usr/bin/python3
need=()
command -v align_image_stack >/dev/null || need+=(hugin-tools)
"$python" -c 'import cv2' 2>/dev/null || need+=(python3-opencv)
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}" >&2
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${need[@]}" >/dev/null
fi

cmake --preset release >/dev/null
cmake --build --preset release --target melvaro_align_files melvaro_align_bench -j "$(nproc)" >/dev/null

# The full-size originals live beside the repository (shared/data); the bundled
# samples are their reduced copies.
data="${MELVARO_DATA:-$root/../../shared/data}"
[ -d "$data/photos" ] || data=/work/shared/data
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "Load before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
"$python" bench/align_accuracy.py build/release/bench/melvaro_align_files "$data" "$work" "$@"
echo
echo "Load before the speed run: $(cut -d' ' -f1-3 /proc/loadavg)"
build/release/bench/melvaro_align_bench --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true
