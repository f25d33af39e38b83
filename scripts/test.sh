#!/usr/bin/env bash
# Installs what is needed, builds every target with warnings as errors and runs
# every test. Usage: scripts/test.sh [release|debug|asan]   (default release)
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-release}"
scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j "$(nproc)"
