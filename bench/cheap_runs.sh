#!/usr/bin/env bash
# What a headless run costs an author's CI, today's build beside the build of
# another commit (default 46f411c), measured on the same machine in one go:
#   - the sample game played to its end with a screenshot;
#   - start-up alone (a game whose only line is ".end");
#   - one PNG screenshot (a run with 40 more screenshots, less one without,
#     divided by 40);
#   - lines of text typed at ".tsp 0" into a window of 14 lines (100,000
#     with TEXT_LINES=100000; 2,000 by default, as the base build needs
#     several milliseconds a line on a small machine). Every 500 lines a
#     ".wat 1" lets engine time pass, so that the runner does not take the
#     long run for an endless loop.
# Each figure is the median processor time (user + system) of several runs.
# The screenshots of the sample game from both builds are then compared
# pixel by pixel: the pictures must not change.
#   bench/cheap_runs.sh [BASE_COMMIT] [RUNS]
# Today's build is build-bench/ (Release); the base is built once, in a
# worktree under /tmp.
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-46f411c}
runs=${2:-21}
today=$PWD/build-bench/tsumugi
base_tree=/tmp/tsumugi-base-$(git rev-parse --short "$base")
if [[ ! -x $base_tree/build/tsumugi ]]; then
  if [[ ! -d $base_tree ]]; then git worktree add --detach "$base_tree" "$base" >/dev/null; fi
  (cd "$base_tree" && BUILD_DIR=build BUILD_TYPE=Release scripts/build.sh \
    -DTSUMUGI_BUILD_TESTS=OFF -DTSUMUGI_BUILD_BENCH=OFF)
fi
[[ -x $today ]] || { echo "build-bench/tsumugi is missing: build it first (README, Benchmarks)"; exit 1; }
python3 - "$base_tree/build/tsumugi" "$today" "$runs" "$base" <<'PY'
import os, shutil, statistics, subprocess, sys, tempfile

base, today, runs, base_name = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
work = tempfile.mkdtemp(prefix="tsumugi-cheap-")
sample = os.path.abspath("games/sample")

def cpu_ms(command):
    """Processor time of one run of the command, in milliseconds."""
    pid = os.posix_spawn(command[0], command, os.environ,
                         file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                       (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: " + " ".join(command))
    return (usage.ru_utime + usage.ru_stime) * 1000

def median(make_command, count=runs):
    """Medians for base and today, run alternately so that both see the same machine."""
    times = {base: [], today: []}
    for i in range(count):
        for binary in (base, today):
            times[binary].append(cpu_ms(make_command(binary)))
    return statistics.median(times[base]), statistics.median(times[today])

def write(path, text, encoding="cp932"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding=encoding, newline="\r\n") as f:
        f.write(text)

inputs = open(os.path.join(sample, "play.input")).read()
write(os.path.join(work, "plain.input"), inputs, "utf-8")
shots = inputs.rstrip("\n").rsplit("\n", 1)[0] + "\n"
shots += "".join(f"screenshot {work}/extra{i}.png\n" for i in range(40)) + "click 320 400\n"
write(os.path.join(work, "shots.input"), shots, "utf-8")
write(os.path.join(work, "end/data/start.txt"), ".end\n")
text_lines = int(os.environ.get("TEXT_LINES", "2000"))
lines = "".join(f"{n}行目：吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。\n"
                + (".wat 1\n" if n % 500 == 499 else "") for n in range(text_lines))
write(os.path.join(work, "text/data/start.txt"), ".tsw\n.tsp 0\n" + lines + ".end\n")

def play(binary, input_name, screenshot=True):
    command = [binary, "--headless", "--input", os.path.join(work, input_name),
               "--save-dir", os.path.join(work, "saves")]
    if screenshot:
        command += ["--screenshot", os.path.join(work, "end.png")]
    return command + [sample]

rows = []
rows.append(("sample game, headless, with a screenshot",
             median(lambda b: play(b, "plain.input")), "under 20 ms"))
rows.append(("start-up (a game of one line, \".end\")",
             median(lambda b: [b, "--headless", os.path.join(work, "end")]), ""))
plain = median(lambda b: play(b, "plain.input", screenshot=False))
extra = median(lambda b: play(b, "shots.input", screenshot=False))
rows.append(("one 640x480 screenshot", tuple((e - p) / 40 for e, p in zip(extra, plain)),
             "under 3 ms"))
rows.append((f"{text_lines:,} lines of text at .tsp 0",
             median(lambda b: [b, "--headless", os.path.join(work, "text")], max(3, runs // 5)),
             "under half of the base"))

print(f"\nProcessor time, median (ms)        base {base_name:>8}      today   today/base   goal")
for name, (b, t), goal in rows:
    print(f"{name:<42} {b:9.1f} {t:10.1f}   {t / b:9.2f}   {goal}")

# The pictures: every screenshot of the sample game's run, from both builds.
def screenshots(binary, folder):
    os.makedirs(folder)
    # One in the middle of the opening movie, then one at every wait.
    text = f"wait 1234\nscreenshot {folder}/movie.png\n" + "".join(
        line if not line.startswith("click") else f"screenshot {folder}/{i}.png\n{line}"
        for i, line in enumerate(inputs.splitlines(keepends=True)))
    write(os.path.join(folder, "shots.input"), text, "utf-8")
    subprocess.run([binary, "--headless", "--input", os.path.join(folder, "shots.input"),
                    "--save-dir", os.path.join(folder, "saves"),
                    "--screenshot", os.path.join(folder, "end.png"), sample],
                   check=True, stdout=subprocess.DEVNULL)
    return sorted(f for f in os.listdir(folder) if f.endswith(".png"))

def pixels(path):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo",
                           "-pix_fmt", "rgb24", "-"], check=True, capture_output=True).stdout

names = screenshots(base, os.path.join(work, "base-shots"))
screenshots(today, os.path.join(work, "today-shots"))
differ = [n for n in names if pixels(os.path.join(work, "base-shots", n)) !=
          pixels(os.path.join(work, "today-shots", n))]
print(f"\nScreenshots of the sample game compared pixel by pixel: {len(names)}, "
      f"{'all identical' if not differ else 'DIFFERENT: ' + ', '.join(differ)}")
shutil.rmtree(work)
sys.exit(1 if differ else 0)
PY
