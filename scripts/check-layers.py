#!/usr/bin/env python3
"""Fails when a folder of src/ includes a folder above it.

  scripts/check-layers.py [SRC]

The layers, lowest first; a folder may include its own headers and those of
the layers below it, never those of its own layer's other folders or above:

  platform < checksum, log, version < solution < site, journal < actions
           < metabase < control < ui < app
"""
import os
import re
import sys

LAYERS = [["platform"], ["checksum", "log", "version"], ["solution"], ["site", "journal"],
          ["actions"], ["metabase"], ["control"], ["ui"], ["app"]]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "src")
    problems = []
    for folder in sorted(os.listdir(src)):
        top = os.path.join(src, folder)
        if not os.path.isdir(top):
            continue
        if folder not in RANK:
            problems.append(f"src/{folder}/ belongs to no layer: add it to {__file__}")
            continue
        for root, _, files in os.walk(top):
            for name in sorted(files):
                path = os.path.join(root, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m or m[1] == folder:
                            continue
                        target = m[1]
                        if target not in RANK or RANK[target] >= RANK[folder]:
                            where = os.path.relpath(path, os.path.dirname(src))
                            problems.append(f"{where}:{number}: {folder}/ includes {target}/, "
                                            "which is not below it")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
