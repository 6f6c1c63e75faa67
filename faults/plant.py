"""Finds and plants the faults of faults/faults.txt in a source tree.

    python3 faults/plant.py list FAULTS TREE [PATTERN...]   names of the faults that match a shell PATTERN
                                                            (default all), those of one file together,
                                                            internal headers last
    python3 faults/plant.py apply FAULTS TREE NAME          plants fault NAME, prints the files it changed
    python3 faults/plant.py check FAULTS TREE               names each fault that would not apply, and why

A fault is a block: its name on a line of its own, then lines starting with "-" (the original text) and "+"
(its replacement), each taken as it stands after that first character. A new "-" line after a "+" line starts
another change of the same fault; a change without "+" lines deletes its original. The original is looked for
in every file of the code folders, not in a named file, so that a fault survives a file split or renamed: it
has to occur exactly once there, else the fault does not apply. Lines starting with "#" and blank lines
separate blocks.
"""

import fnmatch
import os
import sys

CODE_FOLDERS = ("include", "tree", "stream", "util", "platform", "cli")


def read_faults(path):
    """The faults of the table, in order: (name, [(original, replacement)])."""
    faults = []
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table.read().split("\n"), 1):
            if not line.strip() or line.startswith("#"):
                continue
            kind, body = line[0], line[1:]
            if kind not in "-+":
                faults.append((line.strip(), []))
                continue
            if not faults:
                sys.exit(f"{path}:{number}: a change before the first fault name")
            changes = faults[-1][1]
            if kind == "-" and (not changes or changes[-1][1] is not None):
                changes.append([body, None])
            elif kind == "-":
                changes[-1][0] += "\n" + body
            elif not changes:
                sys.exit(f"{path}:{number}: a replacement without an original")
            else:
                changes[-1][1] = body if changes[-1][1] is None else changes[-1][1] + "\n" + body
    names = [name for name, _ in faults]
    for name in {name for name in names if names.count(name) > 1}:
        sys.exit(f"{path}: fault {name} is given twice")
    return [(name, [(old, new or "") for old, new in changes]) for name, changes in faults]


def code_files(tree):
    """Every source and CMake file of the code folders, relative to `tree`."""
    for folder in CODE_FOLDERS:
        for directory, _, files in os.walk(os.path.join(tree, folder)):
            for file in sorted(files):
                if file.endswith((".cpp", ".h", ".txt", ".cmake", ".in")):
                    yield os.path.relpath(os.path.join(directory, file), tree)


def read_code(tree):
    texts = {}
    for file in code_files(tree):
        with open(os.path.join(tree, file), encoding="utf-8", newline="") as source:
            texts[file] = source.read()
    return texts


def locate(texts, original):
    """The one file that holds `original` once, or an error text."""
    places = [(file, text.count(original)) for file, text in texts.items() if original in text]
    if len(places) == 1 and places[0][1] == 1:
        return places[0][0], None
    shown = original.split("\n")[0].strip()
    if not places:
        return None, f"not found: {shown}"
    return None, f"found {sum(count for _, count in places)} times: {shown}"


def list_faults(faults, tree, patterns):
    texts = read_code(tree)
    chosen = [(name, changes) for name, changes in faults if any(fnmatch.fnmatch(name, p) for p in patterns)]

    # A fault of the same file as the one before rebuilds only that file; headers, which rebuild every
    # file that includes them, come last, so that a run cut short has the most results.
    def order(fault):
        file, _ = locate(texts, fault[1][0][0]) if fault[1] else (None, None)
        file = file or ""
        return (file.endswith(".h") and not file.startswith("include/"), file)

    for name, _ in sorted(chosen, key=order):
        print(name)


def apply_fault(faults, tree, name):
    changes = dict(faults).get(name)
    if not changes:
        sys.exit(f"no fault {name}")
    texts = read_code(tree)
    touched = []
    for original, replacement in changes:
        file, error = locate(texts, original)
        if error:
            sys.exit(f"fault {name}: {error}")
        texts[file] = texts[file].replace(original, replacement, 1)
        if file not in touched:
            touched.append(file)
    for file in touched:
        with open(os.path.join(tree, file), "w", encoding="utf-8", newline="") as source:
            source.write(texts[file])
    print("\n".join(touched))


def check_faults(faults, tree):
    texts = read_code(tree)
    unusable = 0
    for name, changes in faults:
        for original, replacement in changes:
            _, error = locate(texts, original)
            if error or original == replacement:
                print(f"{name}: {error or 'changes nothing'}")
                unusable += 1
    return 1 if unusable else 0


def main():
    if len(sys.argv) < 4 or sys.argv[1] not in ("list", "apply", "check") or (sys.argv[1] == "apply" and len(sys.argv) != 5):
        sys.exit(__doc__)
    faults = read_faults(sys.argv[2])
    if sys.argv[1] == "list":
        list_faults(faults, sys.argv[3], sys.argv[4:] or ["*"])
    elif sys.argv[1] == "check":
        sys.exit(check_faults(faults, sys.argv[3]))
    else:
        apply_fault(faults, sys.argv[3], sys.argv[4])


if __name__ == "__main__":
    main()
