#!/usr/bin/env bash
# Fuzzes the media glue (tests/fuzz/media_fuzz.cpp) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/fuzz-media.sh [SECONDS]   (default 300)
# Seeds are made from the tests' media maker; findings go to build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
out=build-fuzz
mkdir -p "$out/corpus"
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -Isrc -Itests)
sources=(tests/fuzz/media_fuzz.cpp src/platform/media/{ffmpeg_input,audio_file,video_file,midi_song,midi_player,media_devices,media_service,cd_tracks}.cpp
         src/common/{file_lookup,text_codec}.cpp src/platform/gdi/surface.cpp)
libs=$(pkg-config --libs libavformat libavcodec libavutil libswresample libswscale fluidsynth)
clang++ "${flags[@]}" "${sources[@]}" $libs -o "$out/media_fuzz"

# Seeds: a WAV, an MP3, a MIDI song and two small videos, each behind the
# byte that chooses its path.
seed_maker=$out/make_seeds
clang++ -std=c++20 -O1 -Itests -Isrc -x c++ - tests/support/media_fixtures.cpp \
  $(pkg-config --libs libavformat libavcodec libavutil libswscale) -o "$seed_maker" <<'EOF'
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
EOF
"$seed_maker" "$out/corpus"
"$out/media_fuzz" -max_total_time="$seconds" -max_len=200000 -rss_limit_mb=2048 \
  -artifact_prefix="$out/" "$out/corpus" 2>&1 | tail -n 15
