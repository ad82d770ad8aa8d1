#!/usr/bin/env bash
# Installs the Debian packages that Reelwork needs to build, test and run,
# skipping those already installed. Needs root (or sudo).
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core
  qt6-translations-l10n
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg mpeg2dec
  libgtest-dev ccache
  dvdauthor # authored DVDs with navigation packs for the project writer's tests
  mjpegtools # mpeg2enc and mplex: rips from another encoder and multiplexer for the engine's tests
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
