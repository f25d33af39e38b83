#!/usr/bin/env bash
# Renders the toolbar images (32 x 32) and the program icon (256 x 256) from src/.
set -euo pipefail
cd "$(dirname "$0")"
for svg in src/*.svg; do
  convert -background none -density 96 "$svg" "$(basename "${svg%.svg}").png"
done
