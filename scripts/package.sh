#!/usr/bin/env bash
# Builds the Debian package of melvaro and melvaro-cli (build/package/melvaro_VERSION_ARCH.deb)
# and checks it: the desktop entry and the AppStream metainfo validate, and both programs run
# from the unpacked package. Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# What building and checking the package takes beyond the build itself.
tools=(dpkg-dev file desktop-file-utils appstream)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DMELVARO_BUILD_TESTS=OFF -DMELVARO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/melvaro_*.deb
(cd "$build" && cpack >/dev/null)
deb=$(ls "$build"/melvaro_*.deb)

desktop-file-validate resources/melvaro.desktop
appstreamcli validate --no-net resources/org.melvaro.Melvaro.metainfo.xml

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
for f in usr/bin/melvaro usr/bin/melvaro-cli usr/share/man/man1/melvaro.1 \
  usr/share/man/man1/melvaro-cli.1 usr/share/applications/melvaro.desktop \
  usr/share/metainfo/org.melvaro.Melvaro.metainfo.xml usr/share/melvaro/Melvaro_loc.ini \
  usr/share/icons/hicolor/48x48/apps/melvaro.png \
  usr/share/bash-completion/completions/melvaro-cli; do
  [ -e "$unpacked/$f" ] || { echo "package.sh: $f missing from $deb" >&2; exit 1; }
done
"$unpacked/usr/bin/melvaro-cli" --version
"$unpacked/usr/bin/melvaro-cli" --quiet fuse -o "$unpacked/fused.jpg" samples/bracketed/stlouis/*.jpg
[ -s "$unpacked/fused.jpg" ]
# The desktop program starts and keeps running until it is stopped.
status=0
HOME="$unpacked" QT_QPA_PLATFORM=offscreen timeout 5 "$unpacked/usr/bin/melvaro" >/dev/null 2>&1 ||
  status=$?
[ "$status" -eq 124 ] || { echo "package.sh: melvaro ended with status $status" >&2; exit 1; }

dpkg-deb --field "$deb" Package Version Architecture Depends
echo "Package: $deb"
