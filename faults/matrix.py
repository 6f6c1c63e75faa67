"""Summarises a kill matrix: the faults planted, those caught, those caught by one test only, and for each
test the faults it catches and those only it catches.

    python3 faults/matrix.py build/faults/results build/faults/tests.list
    python3 faults/matrix.py --ratio      the lines of the tests against those of the library and the program

The ratio counts lines of tracked files: tests are the .cpp, .h and .sh files under tests/ (not its samples),
code is everything under include/ tree/ stream/ util/ platform/ cli/.
"""

import collections
import os
import subprocess
import sys

CODE_FOLDERS = ["include", "tree", "stream", "util", "platform", "cli"]


def read_results(folder):
    caught_by = {}
    for entry in sorted(os.listdir(folder)):
        if entry.endswith(".failed"):
            with open(os.path.join(folder, entry), encoding="utf-8") as lines:
                caught_by[entry[: -len(".failed")]] = {line.strip() for line in lines if line.strip()}
    return caught_by


def tracked_lines(root, folders, keep):
    files = subprocess.run(["git", "-C", root, "ls-files", "--", *folders], capture_output=True, text=True,
                           check=True).stdout.split()
    total = 0
    for file in filter(keep, files):
        with open(os.path.join(root, file), "rb") as source:
            total += source.read().count(b"\n")
    return total


def print_ratio():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    tests = tracked_lines(root, ["tests"],
                          lambda f: f.endswith((".cpp", ".h", ".sh")) and "/samples/" not in f)
    code = tracked_lines(root, CODE_FOLDERS, lambda f: True)
    print(f"tests: {tests} lines, code: {code} lines, ratio: {tests / code:.2f}")


def summarise(results, tests_list):
    caught_by = read_results(results)
    unusable = {fault for fault, tests in caught_by.items() if tests & {"BUILD", "APPLY"}}
    planted = {fault: tests for fault, tests in caught_by.items() if fault not in unusable}
    missed = sorted(fault for fault, tests in planted.items() if not tests)
    alone = {fault: next(iter(tests)) for fault, tests in planted.items() if len(tests) == 1}

    catches = collections.defaultdict(set)
    for fault, tests in planted.items():
        for test in tests:
            catches[test].add(fault)
    print(f"faults: {len(caught_by)}, planted: {len(planted)}, did not build or apply: {len(unusable)}")
    for fault in sorted(unusable):
        print(f"  unusable: {fault} ({', '.join(sorted(caught_by[fault]))})")
    print(f"caught: {len(planted) - len(missed)}, missed: {len(missed)}, caught by one test only: {len(alone)}")
    for fault in missed:
        print(f"  missed: {fault}")
    with open(tests_list, encoding="utf-8") as lines:
        tests = [line.strip() for line in lines if line.strip()]
    print("test: faults caught, caught by it alone")
    for test in sorted(set(tests) | set(catches), key=lambda t: (-len(catches[t]), t)):
        only = sorted(fault for fault, single in alone.items() if single == test)
        print(f"  {test}: {len(catches[test])}, {len(only)}" + (f" ({', '.join(only)})" if only else ""))
    print("tests that catch no fault: " + (", ".join(sorted(t for t in tests if not catches[t])) or "none"))
    alone_tests = set(alone.values())
    print("tests that catch faults, none alone: "
          + (", ".join(sorted(t for t in tests if catches[t] and t not in alone_tests)) or "none"))


def main():
    if sys.argv[1:] == ["--ratio"]:
        print_ratio()
    elif len(sys.argv) == 3:
        summarise(sys.argv[1], sys.argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
