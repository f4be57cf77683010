#!/usr/bin/env python3
"""Plants small faults in the source one at a time and runs the tests on each.

Each fault (a "mutant") in tests/mutants.txt names a file, a fragment of one
of its lines and what the fragment becomes. For every mutant the tool
changes the file, rebuilds incrementally, runs the tests until the first
failure and puts the file back, then prints one line:

  killed     a test failed (or the run outlived its time limit)
  survived   every test passed: no test notices the fault
  invalid    the fragment is not in the file exactly once, or the mutant
             does not compile

and at the end the score (killed out of the valid mutants). The file is
restored after every mutant, also when the run is interrupted.

  scripts/mutants.py [--build DIR] [--timeout SECONDS] [--only ID,...] [--list]

A mutant may carry a "first:" filter of tests that should kill it; they run
first, and only when they all pass does the whole suite run, so a mutant
counts as survived only after the whole suite passed. In the whole suite a
failed test runs once more: only a test that fails twice kills the mutant
(tests on an X server now and then fail when other programs use the
machine's displays).
"""

import argparse
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read_mutants(path):
    """Blocks of "key: value" lines separated by blank lines; "#" starts a comment line."""
    mutants, block = [], {}
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines + [""], 1):
        if line.startswith("#"):
            continue
        if not line.strip():
            if block:
                for key in ("id", "file", "from", "to"):
                    if key not in block:
                        sys.exit(f"{path}:{number}: a mutant without '{key}:'")
                mutants.append(block)
                block = {}
            continue
        key, sep, value = line.partition(": ")
        if not sep or key not in ("id", "file", "from", "to", "first"):
            sys.exit(f"{path}:{number}: expected 'id|file|from|to|first: VALUE'")
        block[key] = value
    ids = [m["id"] for m in mutants]
    if len(set(ids)) != len(ids):
        sys.exit(f"{path}: two mutants share an id")
    return mutants


def run(cmd, timeout, log):
    """Runs cmd in its own process group; returns (exit status, timed out)."""
    with open(log, "ab") as out:
        out.write(("\n$ " + " ".join(cmd) + "\n").encode())
        out.flush()
        proc = subprocess.Popen(cmd, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT,
                                start_new_session=True)
        try:
            return proc.wait(timeout=timeout), False
        except subprocess.TimeoutExpired:
            return None, True
        finally:
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build", help="the build folder (default: build)")
    parser.add_argument("--mutants", default="tests/mutants.txt")
    parser.add_argument("--timeout", type=int, default=600,
                        help="seconds one mutant's test run may take (default 600)")
    parser.add_argument("--test-timeout", type=int, default=300,
                        help="seconds one test may take (default 300)")
    parser.add_argument("--jobs", default="2", help="tests run at once (default 2)")
    parser.add_argument("--only", help="comma-separated ids to run")
    parser.add_argument("--list", action="store_true", help="check the mutants and list them")
    parser.add_argument("--log", default="/tmp/mutants.log", help="build and test output")
    args = parser.parse_args()

    mutants = read_mutants(os.path.join(ROOT, args.mutants))
    if args.only:
        wanted = set(args.only.split(","))
        mutants = [m for m in mutants if m["id"] in wanted]

    # Every fragment must be found exactly once, in the tree as it is.
    problems = {}
    for m in mutants:
        path = os.path.join(ROOT, m["file"])
        try:
            with open(path, encoding="utf-8") as f:
                count = f.read().count(m["from"])
        except OSError as e:
            problems[m["id"]] = str(e)
            continue
        if count != 1:
            problems[m["id"]] = f"fragment found {count} times"
    if args.list:
        for m in mutants:
            print(f"{m['id']:<28} {m['file']:<44} {problems.get(m['id'], 'ok')}")
        return 1 if problems else 0

    build = os.path.join(ROOT, args.build)
    test_binary = os.path.join(build, "tests", "tsumugi_tests")
    open(args.log, "w").close()

    # Restore the file on SIGTERM and SIGHUP as on Ctrl-C.
    def interrupted(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGHUP, interrupted)

    results = []
    for m in mutants:
        started = time.time()
        if m["id"] in problems:
            verdict, how = "invalid", problems[m["id"]]
        else:
            path = os.path.join(ROOT, m["file"])
            with open(path, "rb") as f:
                original = f.read()
            try:
                with open(path, "wb") as f:
                    f.write(original.replace(m["from"].encode(), m["to"].encode(), 1))
                status, _ = run(["nice", "cmake", "--build", build, "-j1", "--target",
                                 "tsumugi_tests"], 1800, args.log)
                if status != 0:
                    verdict, how = "invalid", "does not compile"
                else:
                    verdict, how = "survived", "every test passed"
                    deadline = started + args.timeout
                    if m.get("first"):
                        status, timed_out = run(
                            [test_binary, "--gtest_fail_fast", "--gtest_filter=" + m["first"]],
                            max(1, min(args.test_timeout, deadline - time.time())), args.log)
                        if timed_out or status != 0:
                            verdict, how = "killed", ("timed out in " if timed_out else "by ") + m["first"]
                    if verdict == "survived":
                        status, timed_out = run(
                            ["nice", "ctest", "--test-dir", build, "-j", args.jobs, "--stop-on-failure",
                             "--output-on-failure", "--repeat", "until-pass:2",
                             "--timeout", str(args.test_timeout)],
                            max(1, deadline - time.time()), args.log)
                        if timed_out or status != 0:
                            verdict = "killed"
                            how = "the suite timed out" if timed_out else "by the suite"
            except KeyboardInterrupt:
                with open(path, "wb") as f:
                    f.write(original)
                print("interrupted; " + m["file"] + " restored", flush=True)
                return 130
            finally:
                with open(path, "wb") as f:
                    f.write(original)
        results.append(verdict)
        print(f"{verdict:<9} {m['id']:<28} {m['file']}  ({how}, {time.time() - started:.0f} s)",
              flush=True)

    killed = results.count("killed")
    valid = killed + results.count("survived")
    print(f"score: {killed}/{valid} killed, {results.count('survived')} survived, "
          f"{results.count('invalid')} invalid", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
