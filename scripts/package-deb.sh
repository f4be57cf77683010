#!/usr/bin/env bash
# Builds a Debian package of Tsumugi (in build-package/) and prints its path.
# Install it with: sudo apt install ./build-package/tsumugi_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
# Built with the distribution's hardening flags (fortified functions,
# read-only relocations bound at start), as Debian builds its own packages.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
BUILD_DIR=build-package BUILD_TYPE=Release scripts/build.sh \
  -DTSUMUGI_BUILD_TESTS=OFF -DTSUMUGI_BUILD_BENCH=OFF -DTSUMUGI_SANITIZE=OFF \
  "-DCMAKE_C_FLAGS=$CFLAGS $CPPFLAGS" "-DCMAKE_CXX_FLAGS=$CXXFLAGS $CPPFLAGS" \
  "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS"
(cd build-package && cpack -G DEB >/dev/null)
ls "$PWD"/build-package/tsumugi_*.deb
