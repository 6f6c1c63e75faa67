"""`rkxml format` on every XML file of this machine, each a copy in a scratch directory: a file is either
refused and left byte for byte as it was, or Python's ElementTree reads the same element names, attributes
and stripped texts in it as before; no file that ElementTree read before stops reading.

    python3 format_files.py RKXML [ROOT ...]        (ROOT: /usr/share by default)

The copies go into a new directory of the survey's own, on a memory file system where there is one (each
save is flushed to disk, which would dominate the run time), removed afterwards unless a file failed.
Prints the counts (files tried, rewritten, already in the program's layout, refused by reason; rewritten
files that ElementTree did not read before are counted as unchecked). Fails on a fault of ours: a file
changed though refused, or read differently after `format`, a log file left, a message of no known form,
or the program ending otherwise than with status 0 or 1.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "common"))
import xmlview  # noqa: E402

FILES_PER_CALL = 200
# "FILE:LINE: refused: text", "FILE:LINE: error: text" or "rkxml: FILE: text".
AT_LINE = re.compile(r"^(?P<file>.+?):\d+: (?P<label>refused|error): (?P<text>.*)$")
PROGRAM = re.compile(r"^rkxml: (?P<file>.+?): (?P<text>.*)$")


def reason_kind(text):
    """A refusal's text without what is particular to one file: names, bytes, numbers."""
    text = re.sub(r"'[^']*'", "'…'", text)
    text = re.sub(r"\\x[0-9A-F]{2}", r"\\xNN", text)
    return re.sub(r"\d+", "N", text)


def view(path):
    root = xmlview.parse(path)
    return None if root is None else xmlview.view_of_tree(root)


def format_all(program, names, faults):
    """Runs `format` on the files, a batch a call; the first reason given for each refused file."""
    reasons = {}
    for start in range(0, len(names), FILES_PER_CALL):
        batch = names[start:start + FILES_PER_CALL]
        run = subprocess.run([program, "format", "--"] + batch, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if run.returncode not in (0, 1):
            faults.append(("the program ended with status %d" % run.returncode, "files %s to %s" % (batch[0], batch[-1])))
        for line in run.stderr.decode("utf-8", errors="replace").splitlines():
            match = AT_LINE.match(line) or PROGRAM.match(line)
            if match is None:
                faults.append(("a message of no known form", line))
                continue
            label = match.groupdict().get("label") or "refused"
            reasons.setdefault(match.group("file"), "%s: %s" % (label, reason_kind(match.group("text"))))
    return reasons


def main(arguments):
    program, roots = arguments[0], arguments[1:] or ["/usr/share"]
    files = [path for root in roots if os.path.isdir(root) for path in xmlview.xml_files(root)]
    memory = "/dev/shm"
    work = tempfile.mkdtemp(prefix="rkxml-format-", dir=memory if os.access(memory, os.W_OK) else None)
    copies = {}
    for index, path in enumerate(files):
        copy = os.path.join(work, "%05d%s" % (index, os.path.splitext(path)[1]))
        shutil.copyfile(path, copy)
        copies[copy] = path
    names = sorted(copies)
    before = {name: (open(name, "rb").read(), view(name)) for name in names}

    faults = []
    reasons = format_all(program, names, faults)

    rewritten, unchecked, unchanged, refused = 0, 0, 0, {}
    for name in names:
        data, tree = before[name]
        changed = open(name, "rb").read() != data
        if name in reasons:
            refused.setdefault(reasons[name], []).append(copies[name])
            if changed:
                faults.append(("refused, but changed", copies[name]))
            continue
        if not changed:
            unchanged += 1
            continue
        rewritten += 1
        if tree is None:
            unchecked += 1
            continue
        after = view(name)
        if after is None:
            faults.append(("ElementTree read it before, but not after format", copies[name]))
            continue
        difference = xmlview.first_difference(tree, after)
        if difference is not None:
            faults.append(("ElementTree reads it differently after format", "%s: %s" % (copies[name], difference)))
    logs = [entry for entry in os.listdir(work) if entry.endswith(".log")]
    if logs:
        faults.append(("log files were left", ", ".join(sorted(logs)[:5])))

    print("XML files tried: %d, rewritten: %d (%d unchecked: ElementTree did not read them before), "
          "already in rkxml's layout: %d, refused: %d" % (
              len(names), rewritten, unchecked, unchanged, sum(map(len, refused.values()))))
    for reason, paths in sorted(refused.items(), key=lambda item: -len(item[1])):
        print("  refused (%s): %d, e.g. %s" % (reason, len(paths), paths[0]))
    kinds = {}
    for kind, what in faults:
        kinds.setdefault(kind, []).append(what)
    for kind, whats in sorted(kinds.items()):
        print("FAIL: %s: %d, e.g. %s" % (kind, len(whats), "; ".join(whats[:3])))
    if faults:
        print("the copies are kept in %s" % work)
    else:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
