#!/usr/bin/env bash
# Runs every melvaro-cli command on the bundled samples with two builds of the
# program and compares the pictures they write, sample for sample (lossless
# outputs, so any changed bit shows). For speed work: the faster build must
# write the very same pictures.
#
# Usage: scripts/same_bits.sh OLD_CLI NEW_CLI [work-folder]
#   e.g. cp build/release/cli/melvaro-cli /tmp/cli-before; (change, build);
#        scripts/same_bits.sh /tmp/cli-before build/release/cli/melvaro-cli
# Exit status 0 when every output is identical, 1 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
old="$1"
new="$2"
work="${3:-build/same-bits}"
rm -rf "$work"
mkdir -p "$work/old" "$work/new"

bracketed=samples/bracketed
photos=samples/photos
# name | arguments (OUT is replaced by the output path)
runs=(
  "fuse-stlouis|fuse -o OUT $bracketed/stlouis/stlouis0.jpg $bracketed/stlouis/stlouis1.jpg $bracketed/stlouis/stlouis2.jpg $bracketed/stlouis/stlouis3.jpg"
  "fuse-rovinia-110|fuse --exposure 110 -o OUT $bracketed/rovinia/rovinia1.jpg $bracketed/rovinia/rovinia2.jpg $bracketed/rovinia/rovinia3.jpg"
  "fuse-beach-16bit|--depth 16 fuse -o OUT $bracketed/secretbeach/SecretBeach1.jpg $bracketed/secretbeach/SecretBeach2.jpg $bracketed/secretbeach/SecretBeach3.jpg"
  "single-sunset|single -o OUT $photos/sunset.jpg"
  "single-seeding-high|single --denoise high -o OUT $photos/seeding.jpg"
  "daylight-up|daylight up -o OUT $photos/picosdeeuropa.jpg"
  "daylight-down-4|daylight down --power 4 -o OUT $photos/sunset.jpg"
  "tonemap-picos|tonemap -o OUT $photos/picosdeeuropa.jpg"
  "tonemap-sunset|tonemap --contrast 12 --details 9 -o OUT $photos/sunset.jpg"
  "contrast-seeding|contrast --lod 12,10,10,25,10,30,10,10 -o OUT $photos/seeding.jpg"
)

status=0
for run in "${runs[@]}"; do
  name="${run%%|*}"
  args="${run#*|}"
  for side in old new; do
    cli="$old"
    [ "$side" = new ] && cli="$new"
    # shellcheck disable=SC2086 # the arguments are split on purpose
    "$cli" --quiet ${args//OUT/$work/$side/$name.png} || {
      echo "$name: the $side build failed" >&2
      status=1
    }
  done
  if cmp -s "$work/old/$name.png" "$work/new/$name.png"; then
    echo "same      $name"
  else
    echo "DIFFERENT $name"
    status=1
  fi
done
exit "$status"
