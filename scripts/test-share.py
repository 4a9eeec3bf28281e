#!/usr/bin/env python3
"""Prints the test share: non-blank lines of tests/ against the code.

  scripts/test-share.py [ROOT]

The code is src/, tools/, bench/ and the Ansible collection's Python outside
its tests; the tests are tests/ and the collection's tests. Only sources
count (C++, Python, shell), not expected texts, corpora or build files.
"""
import os
import sys

SOURCES = (".cpp", ".h", ".py", ".sh")


def lines(folder, keep=lambda path: True):
    total = 0
    for root, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            if name.endswith(SOURCES) and keep(path):
                with open(path, encoding="utf-8", errors="replace") as f:
                    total += sum(1 for line in f if line.strip())
    return total


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))
    collection = os.path.join(root, "ansible")
    in_tests = lambda path: f"{os.sep}tests{os.sep}" in os.sep + os.path.relpath(path, collection)
    code = sum(lines(os.path.join(root, d)) for d in ("src", "tools", "bench"))
    code += lines(collection, lambda path: not in_tests(path))
    tests = lines(os.path.join(root, "tests")) + lines(collection, in_tests)
    share = 100.0 * tests / code if code else 0.0
    print(f"tests {tests} / code {code} = {share:.2f} %")
    return 0 if share <= 40.0 else 1


if __name__ == "__main__":
    sys.exit(main())
