#!/bin/sh
# Lines of C++ (.cpp and .h) in src/ and tests/, and the tests' share of all.
# Run from anywhere; counts the tree this script lives in.
cd "$(dirname "$0")/.." || exit 1
count() { find "$1" \( -name '*.cpp' -o -name '*.h' \) -type f -exec cat {} + | wc -l; }
src=$(count src)
tests=$(count tests)
echo "src:   $src"
echo "tests: $tests"
awk -v s="$src" -v t="$tests" 'BEGIN {
  printf "tests / src:         %.1f%%\n", 100 * t / s
  printf "tests / (src+tests): %.1f%%\n", 100 * t / (s + t)
}'
