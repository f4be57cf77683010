#!/usr/bin/env bash
# Time and peak memory of the checker and of a load on inputs as large as
# the engine accepts, each run of the real binary measured on its own (wall
# time, processor time, peak resident memory). Goal: under 500 MB on any
# input, and the checker's largest game (a) in well under two seconds.
#   checker (a)  254 scenarios of 10,000 random lines (commands known and
#                unknown, blocks, labels, jumps, substitutions)
#   checker (b)  a 12 MB scenario of unknown commands (".foo")
#   checker (c)  a 64 MB scenario of unknown commands (the largest scenario)
#   load         a 64 MB save file: one text variable of 60 MB (refused as
#                damaged), 64 MB of empty lines, 64 MB of short variable
#                lines, 32 stored lines of 1.9 million characters
#   bench/huge_inputs.sh [TSUMUGI]
# TSUMUGI defaults to build-bench/tsumugi (Release); the inputs are made in
# a temporary folder and removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build-bench/tsumugi}
[[ -x $binary ]] || { echo "$binary is missing: build it first (README, Benchmarks)"; exit 1; }
[[ -x /usr/bin/time ]] || { echo "GNU time is missing: apt-get install time"; exit 1; }
python3 - "$(realpath "$binary")" <<'PY'
import os, random, shutil, subprocess, sys, tempfile

binary = sys.argv[1]
work = tempfile.mkdtemp(prefix="tsumugi-huge-")

def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

def measure(name, args):
    """Runs the binary once under GNU time (a process started by this one
    would count this one's memory in its peak); prints wall and processor
    time and the peak."""
    report = os.path.join(work, "time.txt")
    with open(os.devnull, "w") as null:
        code = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", report, binary] + args,
                              stdout=null, stderr=null).returncode
    wall, user, system, peak_kb = open(report).read().split()[-4:]
    print(f"{name:48s} {float(wall):6.2f} s wall {float(user) + float(system):6.2f} s cpu "
          f"{int(peak_kb) / 1024:7.1f} MB peak  (exit {code})", flush=True)

# --- The checker ---------------------------------------------------------------
rng = random.Random(20261207)
first = [".let", ".jmp", ".sub", ".pic", ".spr", ".slt", ".btn", ".cas", ".", ".1", ".2", ".0",
         ".skp", ".end", ".wav", ".mid", ".txt", ".tpr", ".rcl", ".foo", ".x", ":lab", "text",
         "[a]", "[b[c]]", ".= 1", ".els", "\t.", ""]
words = ["a", "b", "c", "1", "0", "-5", "99999999999", "flag999", "off9", "pink", "start",
         "s1 lab", "[a]", "bg", "= 1", "+ 2"]

def random_line():
    line = rng.choice(first)
    for _ in range(rng.randint(0, 4)):
        line += " " + rng.choice(words)
    return line

game = os.path.join(work, "random")
write(os.path.join(game, "data/config.txt"), b".int a b\r\n.str c\r\n")
for n in range(254):
    name = "start" if n == 0 else f"s{n}"
    text = "\r\n".join(random_line() for _ in range(10000)) + "\r\n"
    write(os.path.join(game, f"data/{name}.txt"), text.encode("cp932"))
measure("checker (a) 254 x 10,000 random lines", ["check", game])
shutil.rmtree(game)

for label, size in (("(b) 12 MB", 12 << 20), ("(c) 64 MB", (64 << 20) - 6)):
    game = os.path.join(work, "unknown")
    write(os.path.join(game, "data/start.txt"), b".foo\r\n" * (size // 6))
    measure(f"checker {label} of unknown commands", ["check", game])
    measure(f"checker {label} of unknown commands, --json", ["check", "--json", game])
    shutil.rmtree(game)

# --- Loads ---------------------------------------------------------------------
head = (":MemSection\r\n" + "\r\n0\r\n" * 10 + "\r\n0\r\n-1 0\r\n" * 20 + ":FlagSection\r\n" +
        ("0" * 16 + "\r\n") * 16 + ":VarSection\r\n").encode()
limit = 64 << 20
stored = b"FFFFFF 000000 " + b"y" * 1900000 + b"\r\n"
# Each file is made just before its run.
saves = {
    "a text variable of 60 MB": lambda: head + b".let name = " + b"x" * (60 << 20) + b"\r\n",
    "64 MB of empty lines": lambda: head + b"\r\n" * ((limit - len(head)) // 2),
    "64 MB of short variable lines":
        lambda: head + b".let a = 1\r\n" * ((limit - len(head)) // 12),
    "32 stored lines of 1.9 million characters":
        lambda: (":MemSection\r\n" + "\r\n0\r\n" * 10 + "start\r\n1\r\n31 0\r\n").encode() +
        stored * 32 + ("\r\n0\r\n-1 0\r\n" * 19 + ":FlagSection\r\n" + ("0" * 16 + "\r\n") * 16 +
                       ":VarSection\r\n").encode(),
}
for label, make in saves.items():
    game = os.path.join(work, "load")
    write(os.path.join(game, "data/config.txt"), b".int a\r\n.str name\r\n")
    write(os.path.join(game, "data/start.txt"), b".lod savebig.txt\r\n.end\r\n")
    write(os.path.join(game, "data/savebig.txt"), make())
    measure(f"load: {label}", ["--headless", game])
    shutil.rmtree(game)

shutil.rmtree(work)
PY
