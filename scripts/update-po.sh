#!/usr/bin/env bash
# Gathers Tsumugi's own words (Words and WordsLater in the player's layer)
# into po/tsumugi.pot and merges them into every po/LANG.po, for a
# translator to fill in what is new.
set -euo pipefail
cd "$(dirname "$0")/.."
xgettext --from-code=UTF-8 --language=C++ -k -kWords -kWordsLater --package-name=tsumugi \
  --no-location --sort-output -o po/tsumugi.pot src/engine/player/*.cpp
for po in po/*.po; do
  msgmerge --quiet --update --backup=none --no-location --sort-output "$po" po/tsumugi.pot
done
