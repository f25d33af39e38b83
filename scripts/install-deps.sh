#!/usr/bin/env bash
# Installs the Debian packages Melvaro builds and tests with. Does nothing when
# they are all present; uses sudo when not run as root.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  libfreeimage-dev libtiff-dev libtbb-dev qt6-base-dev libsimpleini-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
