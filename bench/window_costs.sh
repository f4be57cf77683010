#!/usr/bin/env bash
# What the window costs, measured under Xvfb (a 1920x1080 screen, no window
# manager, no graphics card) with SDL's dummy sound driver:
#  - one present of the screen (bench/present_bench), whole and one line;
#  - the first scene: a game that shows a picture and a line of text in its
#    window and ends; wall-clock time from start to exit and the most memory
#    held, medians of 7 runs, for each renderer, at 1x and 2x;
#  - threads, and processor time over 10 seconds while the game waits at a
#    click wait with a blinking marker, and at a choice (its hover timer
#    ticks every 10 ms).
# Figures only; nothing here passes or fails.
#   bench/window_costs.sh [build folder, default build-bench]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
binary=$build/tsumugi
work=$(mktemp -d)
xvfb=
trap '[[ -n $xvfb ]] && kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT

exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 2>/dev/null &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.05; done
export DISPLAY=:$(head -1 "$work/display")
export SDL_AUDIODRIVER=dummy

echo "== One present (bench/present_bench) =="
"$build/bench/present_bench" --benchmark_min_time=0.5 2>/dev/null | grep -E "^BM_|^-|Benchmark"

make_game() {  # folder, lines of start.txt
  mkdir -p "$1/data"
  cp games/sample/data/bg1.bmp "$1/data/"
  cp games/sample/data/clk.bmp "$1/data/tcl.bmp"
  cp games/sample/data/clk.bmp "$1/data/clk.bmp"
  printf '%s\r\n' "${@:2}" | iconv -f utf-8 -t cp932 > "$1/data/start.txt"
}
make_game "$work/scene" ".pic bg1" ".tsp 0" ".tsw" "おはようございます。" ".end"
make_game "$work/click" ".pic bg1" ".tsw" "おはようございます。" ".mst tcl clk 0 4 5 500" ".clk 0" ".end"
make_game "$work/choice" ".pic bg1" ".tsw" ".slt" "一つ目" "二つ目" "." ".1" ".end" ".2" ".end" "."

# Wall-clock milliseconds and peak memory (KiB) of one run.
run_once() {
  python3 - "$@" <<'EOF'
import resource, subprocess, sys, time
start = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
ms = (time.monotonic() - start) * 1000
print(f"{ms:.0f} {resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss}")
EOF
}

median() { sort -n | sed -n 4p; }

echo
echo "== First scene: start, a picture and a line of text, end (medians of 7) =="
first_scene() {  # label, arguments
  local times=() peaks=() ms kb
  for _ in $(seq 7); do
    read -r ms kb < <(run_once "$binary" "${@:2}" "$work/scene")
    times+=("$ms") peaks+=("$kb")
  done
  printf '  %-34s %4d ms   %3d MiB\n' "$1" "$(printf '%s\n' "${times[@]}" | median)" \
    $(($(printf '%s\n' "${peaks[@]}" | median) / 1024))
}
first_scene "headless (no window, no sound)" --headless
first_scene "--version (loading the libraries)" --version
for renderer in software accelerated; do
  for scale in 1 2; do
    first_scene "$renderer ${scale}x, no sound" --renderer "$renderer" --scale "$scale" --no-sound
  done
  first_scene "$renderer 2x, sound (dummy device)" --renderer "$renderer" --scale 2
done

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

echo
echo "== Waiting for the player, 10 seconds at 2x =="
for renderer in software accelerated; do
  for game in click choice; do
    "$binary" --renderer "$renderer" "$work/$game" >/dev/null 2>&1 &
    pid=$!
    sleep 2
    threads=$(ls "/proc/$pid/task" | wc -l)
    before=$(cpu_ticks $pid)
    sleep 10
    after=$(cpu_ticks $pid)
    kill $pid
    wait $pid 2>/dev/null || true
    ticks=$(getconf CLK_TCK)
    printf '  %-12s at a %-6s  %d threads   CPU %s%% of one core\n' "$renderer" "$game" "$threads" \
      "$(awk -v t=$((after - before)) -v hz="$ticks" 'BEGIN {printf "%.2f", 100 * t / hz / 10}')"
  done
done
