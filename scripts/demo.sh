#!/usr/bin/env bash
# Installs what is needed, builds the release programs and runs the command-line
# tool on the bundled sample pictures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target melvaro-cli

out_dir="$PWD/build/demo"
mkdir -p "$out_dir"
cli=build/release/cli/melvaro-cli

"$cli" convert -o "$out_dir/seeding.tif" samples/photos/seeding.jpg
echo "Converted samples/photos/seeding.jpg to $out_dir/seeding.tif"

"$cli" fuse -o "$out_dir/stlouis-vtx.jpg" samples/bracketed/stlouis/*.jpg
echo "Fused the bracketed series samples/bracketed/stlouis/*.jpg into $out_dir/stlouis-vtx.jpg"
