#!/usr/bin/env bash
# Typing pace in the window while music plays.
#
# Runs the window host under Xvfb with SDL's dummy sound driver: a game
# that types 1,000 characters at 1 ms each, and the same with MIDI music (the
# distribution's SoundFont) and an MP3 playing, each against a game that
# only starts (and starts its music) and ends. Prints the wall-clock time of
# the typing alone, the median of five runs each; the music must not slow it
# down.
#   bench/window_pacing.sh [path/to/tsumugi]
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build-bench/tsumugi}
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT

display=:$((200 + $$ % 500))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp &
xvfb=$!
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done

make_game() {  # folder, lines of start.txt
  mkdir -p "$1/data"
  printf '%s\r\n' "${@:2}" | iconv -f utf-8 -t cp932 > "$1/data/start.txt"
}
text=$(printf 'あ%.0s' $(seq 100))
typing=(.tsp 1 .tsw)
for _ in $(seq 10); do typing+=("$text"); done
make_game "$work/empty" .end
make_game "$work/quiet" "${typing[@]}" .end
make_game "$work/music_empty" ".mid song 0" ".mp3 tune 0" .end
make_game "$work/music" ".mid song 0" ".mp3 tune 0" "${typing[@]}" .end
for game in music_empty music; do
  cp games/sample/data/morning.mid "$work/$game/data/song.mid"
  cp games/sample/data/evening.mp3 "$work/$game/data/tune.mp3"
done

median_ms() {  # game folder
  local times=()
  for _ in $(seq 5); do
    local start end
    start=$(date +%s%N)
    DISPLAY=$display SDL_AUDIODRIVER=dummy "$binary" "$1" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}

empty=$(median_ms "$work/empty")
quiet=$(median_ms "$work/quiet")
music_empty=$(median_ms "$work/music_empty")
music=$(median_ms "$work/music")
echo "1,000 characters at 1 ms each in the window (medians of 5 runs, start-up taken off):"
echo "  without music   $((quiet - empty)) ms   (start-up ${empty} ms)"
echo "  with music      $((music - music_empty)) ms   (start-up ${music_empty} ms; goal: no slower than without)"
