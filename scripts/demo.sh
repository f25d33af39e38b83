#!/usr/bin/env bash
# Installs what is needed, builds the release programs and runs the command-line
# tool on the bundled sample pictures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target melvaro-cli melvaro

out_dir="$PWD/build/demo"
mkdir -p "$out_dir"
cli=build/release/cli/melvaro-cli

"$cli" fuse -o "$out_dir/stlouis-vtx.jpg" samples/bracketed/stlouis/*.jpg
echo "Fused the bracketed series samples/bracketed/stlouis/*.jpg into $out_dir/stlouis-vtx.jpg"

"$cli" single -o "$out_dir/sunset-vtx.jpg" samples/photos/sunset.jpg
echo "Made a VTX image of the single picture samples/photos/sunset.jpg: $out_dir/sunset-vtx.jpg"

"$cli" tonemap -o "$out_dir/picosdeeuropa-tonemapped.jpg" samples/photos/picosdeeuropa.jpg
echo "Tone-mapped samples/photos/picosdeeuropa.jpg into $out_dir/picosdeeuropa-tonemapped.jpg"

echo
echo "Start the desktop program with: build/release/app/melvaro"
echo "or open the series in it at once: build/release/app/melvaro samples/bracketed/stlouis/*.jpg"
