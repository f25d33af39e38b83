#!/usr/bin/env bash
# Builds the loader's fuzzer with clang and runs it on each format in turn,
# starting from freshly written seed files. Usage: scripts/fuzz.sh [seconds per format]
# (default 600) [formats...] (default: bmp jpg png tif). Crashing inputs land in
# build/fuzz/artifacts/FORMAT/; each one belongs in tests/picture/data as a
# regression case. Runs at the lowest priority: the machine stays usable.
#
# The decoding libraries are the system's, built without coverage: the
# fuzzer is guided by our own code (format detection, header checks, the
# TIFF checks, conversion) and mutates blindly beyond it, while the
# sanitizers see the libraries' faults where they pass through intercepted
# calls (memcpy, memset, malloc and free: overruns, invalid frees, huge
# allocations). Expect findings to need many executions.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
shift || true
formats=("$@")
[ ${#formats[@]} -eq 0 ] && formats=(bmp jpg png tif)

scripts/install-deps.sh
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev >/dev/null
fi

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DMELVARO_BUILD_FUZZ=ON -DMELVARO_BUILD_GUI=OFF -DMELVARO_BUILD_TESTS=OFF -DMELVARO_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
  >/dev/null
nice -n 19 cmake --build "$build" -j "$(nproc)" --target melvaro_loader_fuzz melvaro_fuzz_seeds

rm -rf "$build/seeds"
ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/melvaro_fuzz_seeds" "$build/seeds"

status=0
for format in "${formats[@]}"; do
  corpus="$build/corpus/$format"
  artifacts="$build/artifacts/$format"
  mkdir -p "$corpus" "$artifacts"
  log="$build/fuzz-$format.log"
  echo "fuzzing $format for ${seconds}s (log: $log)"
  # Fork mode keeps going past a crash, so one run finds every fault it can.
  # A failed huge allocation returns null, as it does outside the sanitizer;
  # one above 1 GB is kept as an "oom" input: a picture the loader should
  # perhaps have refused from its header.
  MELVARO_FUZZ_EXT="$format" ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 nice -n 19 \
    "$build/fuzz/melvaro_loader_fuzz" -fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 \
    -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=1024 \
    -artifact_prefix="$artifacts/" "$corpus" "$build/seeds/$format" >"$log" 2>&1 || true
  summary=$(grep -E '^#[0-9]+: cov' "$log" | tail -n 1 || true)
  echo "  ${summary:-no progress line: see the log}"
  found=$(find "$artifacts" -type f | wc -l)
  if [ "$found" -gt 0 ]; then
    echo "  $found crashing, hanging or memory-hungry inputs in $artifacts"
    status=1
  fi
done
exit $status
