#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz/) and runs each for
# a given time, under AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/fuzz.sh [SECONDS] [TARGET...]   (default 300 s each; every target)
# Targets: script expression picture save media snapshot. Each starts from
# its seeds in tests/fuzz/corpus/TARGET and keeps what it learns in
# build-fuzz/corpus/TARGET; an input that crashes is written to
# build-fuzz/findings/TARGET/ (copy it to tests/fuzz/regressions/TARGET/ so
# that the test suite runs it from then on). Exits 1 when a target crashed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then targets=(script expression picture save media snapshot); fi
out=build-fuzz

# TSUMUGI_FUZZ_BUILT=1: the targets are built already (several runs of this
# script at once must not build the same folder together).
if [[ -z ${TSUMUGI_FUZZ_BUILT:-} ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTSUMUGI_FUZZ=ON -DTSUMUGI_BUILD_TESTS=OFF -DTSUMUGI_BUILD_BENCH=OFF >/dev/null
  cmake --build "$out" --target "${targets[@]/#/fuzz_}"
fi

# The media seeds are made by the tests' media maker: a WAV, an MP3, a MIDI
# song and two small videos, each behind the byte that chooses its path.
make_media_seeds() {
  local dir=$1 maker=$out/make_media_seeds
  if [[ ! -x $maker ]]; then
    clang++ -std=c++20 -O1 -Itests -Isrc -x c++ - tests/support/media_fixtures.cpp \
      $(pkg-config --libs libavformat libavcodec libavutil libswscale) -o "$maker" <<'CPP'
#include <fstream>
#include "support/media_fixtures.h"
using namespace tsumugi::test;
int main(int, char** argv) {
  std::string dir = argv[1], error;
  auto put = [&](const std::string& name, char mode, const std::string& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << mode << bytes;
  };
  put("wav", 1, MakeWav(300));
  put("mp3", 1, MakeMp3(300));
  put("mid", 0, MakeMidi({{{0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}, {0, {0xC0, 5}},
                           {10, {0x90, 60, 100}}, {200, {64, 90}}, {100, {0x80, 60, 0}}}}));
  VideoParams small;
  small.width = 32;
  small.height = 24;
  small.frames = 3;
  small.sound = true;
  for (const char* codec : {"msvideo1", "cinepak"}) {
    small.codec = codec;
    WriteVideo(dir + "/v.avi", small, &error);
    std::ifstream in(dir + "/v.avi", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    put(std::string("avi-") + codec, 2, bytes);
    put(std::string("dev-") + codec, 3, bytes);
  }
  std::remove((dir + "/v.avi").c_str());
}
CPP
  fi
  "$maker" "$dir"
}

status=0
for target in "${targets[@]}"; do
  corpus=$out/corpus/$target findings=$out/findings/$target
  mkdir -p "$corpus" "$findings"
  seeds=()
  if [[ $target == media ]]; then
    make_media_seeds "$corpus"
  else
    seeds=(tests/fuzz/corpus/"$target")
  fi
  log=$out/$target.log
  if ! "$out/fuzz_$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
      -max_len=200000 -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    status=1
    echo "$target: CRASHED, see $log and $findings/"
    tail -n 30 "$log"
    continue
  fi
  runs=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | tail -n 1)
  echo "$target: ${runs:-no summary (see $log)}, nothing found"
done
exit $status
