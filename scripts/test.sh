#!/usr/bin/env bash
# Installs what is needed, builds every target with warnings as errors and runs
# every test. Usage: scripts/test.sh [release|debug|asan]   (default release)
set -euo pipefail
cd "$(dirname "$0")/.."

preset="${1:-release}"
scripts/install-deps.sh
# Explicit options: a build folder configured otherwise before (by hand) must not skip targets.
cmake --preset "$preset" -DMELVARO_BUILD_TESTS=ON -DMELVARO_BUILD_GUI=ON >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j "$(nproc)"
