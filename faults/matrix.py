"""Summarises a kill matrix: the faults planted, those caught, those caught by one test only, and for each
test the faults it catches and those only it catches.

    python3 faults/matrix.py build/faults/results build/faults/tests.list
"""

import collections
import os
import sys


def read_results(folder):
    caught_by = {}
    for entry in sorted(os.listdir(folder)):
        if entry.endswith(".failed"):
            with open(os.path.join(folder, entry), encoding="utf-8") as lines:
                caught_by[entry[: -len(".failed")]] = {line.strip() for line in lines if line.strip()}
    return caught_by


def main():
    caught_by = read_results(sys.argv[1])
    unusable = {fault for fault, tests in caught_by.items() if tests & {"BUILD", "APPLY"}}
    planted = {fault: tests for fault, tests in caught_by.items() if fault not in unusable}
    missed = sorted(fault for fault, tests in planted.items() if not tests)
    alone = {fault: next(iter(tests)) for fault, tests in planted.items() if len(tests) == 1}

    catches = collections.defaultdict(set)
    for fault, tests in planted.items():
        for test in tests:
            catches[test].add(fault)
    print(f"faults: {len(caught_by)}, planted: {len(planted)}, did not build or apply: {len(unusable)}")
    print(f"caught: {len(planted) - len(missed)}, missed: {len(missed)}, caught by one test only: {len(alone)}")
    for fault in missed:
        print(f"  missed: {fault}")
    with open(sys.argv[2], encoding="utf-8") as lines:
        tests = [line.strip() for line in lines if line.strip()]
    print("test: faults caught, caught by it alone")
    for test in sorted(set(tests) | set(catches), key=lambda t: (-len(catches[t]), t)):
        only = sorted(fault for fault, single in alone.items() if single == test)
        print(f"  {test}: {len(catches[test])}, {len(only)}" + (f" ({', '.join(only)})" if only else ""))


if __name__ == "__main__":
    main()
