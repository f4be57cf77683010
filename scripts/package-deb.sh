#!/usr/bin/env bash
# Builds a Debian package of Tsumugi (in build-package/) and prints its path.
# Install it with: sudo apt install ./build-package/tsumugi_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
BUILD_DIR=build-package BUILD_TYPE=Release scripts/build.sh \
  -DTSUMUGI_BUILD_TESTS=OFF -DTSUMUGI_BUILD_BENCH=OFF -DTSUMUGI_SANITIZE=OFF
(cd build-package && cpack -G DEB >/dev/null)
ls "$PWD"/build-package/tsumugi_*.deb
