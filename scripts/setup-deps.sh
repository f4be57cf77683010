#!/usr/bin/env bash
# Installs the Debian packages Tsumugi needs to build, test and play.
# Does nothing when they are all there already.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsdl2-dev libsdl2-image-dev libpng-dev libjpeg-dev libzstd-dev libxxhash-dev libtomlplusplus-dev gettext libgraphviz-dev libgettextpo-dev nlohmann-json3-dev libfreetype-dev libfontconfig-dev
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-dejavu-core
  libgtest-dev libbenchmark-dev
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev libswscale-dev
  libfluidsynth-dev fluid-soundfont-gm timgm6mb-soundfont
  ffmpeg xvfb xdotool x11-utils openbox
  lcov clang libclang-rt-dev
  lintian desktop-file-utils xdg-utils man-db
  chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=
if [[ $(id -u) -ne 0 ]]; then SUDO=sudo; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
