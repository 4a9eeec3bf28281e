#!/usr/bin/env python3
"""Plants each fault of a list in turn, rebuilds, runs the tests, and tells
which faults the tests caught.

  scripts/mutants.py [LIST] [--build DIR] [--only N[,N...]] [--jobs J]

LIST (default tests/mutants.txt) holds one fault per line, after a comment
line that says what a user would meet:

  PATH:LINE: OLD => NEW              OLD on line LINE of PATH becomes NEW
  PATH:LINE: OLD => NEW  # tests: RE only the tests whose names match RE run

NEW may be empty (the text is deleted). A fault whose OLD text is not on its
line is reported as stale and counts as not caught. The build folder (default
build-lean, configured here when missing: Release, no Qt window, no benchmarks)
is rebuilt after each fault; a fault that does not build is reported as
broken and counts as not caught: a planted fault must be one a user could meet. Each source file is put back as it was,
however the run ends. Exit status: 0 when every fault was caught, 1 otherwise.
"""
import argparse
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LINE = re.compile(r"^(?P<path>[^:#\s][^:]*):(?P<line>\d+): (?P<old>.*?) => (?P<new>.*)$")
TESTS = re.compile(r"\s*#\s*tests:\s*(?P<re>\S+)\s*$")


def parse(listing):
    faults, what = [], ""
    with open(listing, encoding="utf-8") as f:
        for number, text in enumerate(f, 1):
            text = text.rstrip("\n")
            if not text.strip():
                continue
            if text.startswith("#"):
                what = text[1:].strip()
                continue
            m = LINE.match(text)
            if not m:
                sys.exit(f"{listing}:{number}: not PATH:LINE: OLD => NEW")
            new, tests = m["new"], None
            t = TESTS.search(new)
            if t:
                new, tests = new[: t.start()], t["re"]
            faults.append(dict(what=what, path=m["path"], line=int(m["line"]), old=m["old"],
                               new=new.rstrip(), tests=tests, listed=number))
    return faults


def configure(build):
    if os.path.exists(os.path.join(build, "CMakeCache.txt")):
        return
    flags = ["-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release", "-DQSI_BUILD_QT=OFF",
             "-DQSI_BUILD_BENCH=OFF", "-DQSI_WERROR=ON"]
    if subprocess.run(["sh", "-c", "command -v ld.lld"], capture_output=True).returncode == 0:
        flags.append("-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld")
    subprocess.run(["cmake", "-S", ROOT, "-B", build, *flags], check=True,
                   stdout=subprocess.DEVNULL)


def build_ok(build):
    return subprocess.run(["cmake", "--build", build], capture_output=True).returncode == 0


def tests_pass(build, regex, jobs):
    cmd = ["ctest", "--test-dir", build, "-j", str(jobs), "--stop-on-failure", "--timeout", "300"]
    if regex:
        cmd += ["-R", regex]
    return subprocess.run(cmd, capture_output=True).returncode == 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("listing", nargs="?", default=os.path.join(ROOT, "tests", "mutants.txt"))
    ap.add_argument("--build", default=os.path.join(ROOT, "build-lean"))
    ap.add_argument("--only", help="the faults to plant, by their place in the list (from 1)")
    ap.add_argument("--jobs", type=int, default=2)
    args = ap.parse_args()
    faults = parse(args.listing)
    chosen = range(1, len(faults) + 1)
    if args.only:
        chosen = [int(n) for n in args.only.split(",")]
    configure(args.build)
    if not build_ok(args.build):
        sys.exit("the tree does not build without a fault")
    caught = 0
    survivors = []
    for n in chosen:
        fault = faults[n - 1]
        path = os.path.join(ROOT, fault["path"])
        with open(path, encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        index = fault["line"] - 1
        label = f'{n:3} {fault["path"]}:{fault["line"]} {fault["what"]}'
        if index >= len(lines) or fault["old"] not in lines[index]:
            print(f"{label}: STALE (the old text is not on its line)", flush=True)
            survivors.append(label)
            continue
        lines[index] = lines[index].replace(fault["old"], fault["new"], 1)
        started = time.monotonic()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            if not build_ok(args.build):
                verdict = "BROKEN (does not build)"
                survivors.append(label)
            elif tests_pass(args.build, fault["tests"], args.jobs):
                verdict = "SURVIVED"
                survivors.append(label)
            else:
                verdict = "caught"
                caught += 1
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        print(f"{label}: {verdict} ({time.monotonic() - started:.0f} s)", flush=True)
    build_ok(args.build)
    total = len(list(chosen))
    print(f"\ncaught {caught} of {total} ({100 * caught // max(total, 1)} %)")
    for label in survivors:
        print("  not caught:", label)
    return 0 if caught == total else 1


if __name__ == "__main__":
    sys.exit(main())
