"""Every XML file of this machine that Python's ElementTree reads is read in the mode for files from other
programs (foreignXml), and the library sees the same elements, attributes and texts.

    python3 foreign_files.py [--all-equal] DUMP_PROGRAM [ROOT ...]        (ROOT: /usr/share by default)

DUMP_PROGRAM is rkxml_foreign_dump (ForeignDump.cpp). Files whose text uses entities that their own DOCTYPE
declares are counted apart (ElementTree expands them, the library leaves them as written), as are files whose
DOCTYPE gives attribute defaults that ElementTree adds, files whose declared encoding Python does not know, and
files that the reader refuses by a rule of its own that the file's bytes show (UTF-16 without its byte order
mark). A file read differently for no reason known here is counted and listed as unclassified. Fails on a fault
of ours: the dump program failing, or a refusal that no rule of the reader explains. With --all-equal (the files
kept in the repository), every file must be read by ElementTree and found equal, without a warning.
"""

import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "common"))
import xmlview  # noqa: E402


def is_utf16(data):
    """As the reader tells UTF-16 that it refuses: "<?" in UTF-16 at the start, without a byte order mark."""
    return data.startswith((b"<\0?\0", b"\0<\0?"))


# The reader's refusals of files that other XML programs read, each with what in a file's bytes it is about.
RULES = {"Text in UTF-16 is not read; convert it to UTF-8.": is_utf16}


def dump_all(program, paths):
    """The dump program's line for each file, parsed; None if it fails or gives another count of lines."""
    names = "".join(path + "\n" for path in paths).encode("utf-8", errors="surrogateescape")
    run = subprocess.run([program], input=names, stdout=subprocess.PIPE)
    lines = run.stdout.decode("ascii").splitlines()
    if run.returncode != 0 or len(lines) != len(paths):
        print("FAIL: the dump program ended with status %d after %d lines for %d files" % (
            run.returncode, len(lines), len(paths)))
        return None
    return [json.loads(line) for line in lines]


def main(arguments):
    all_equal = arguments[:1] == ["--all-equal"]
    arguments = arguments[1:] if all_equal else arguments
    program, roots = arguments[0], arguments[1:] or ["/usr/share"]
    files = [path for root in roots if os.path.isdir(root) for path in xmlview.xml_files(root)]
    accepted = [(path, root) for path, root in ((path, xmlview.parse(path)) for path in files) if root is not None]
    print("XML files: %d, read by ElementTree: %d" % (len(files), len(accepted)))
    dumps = dump_all(program, [path for path, _ in accepted])
    if dumps is None:
        return 1

    equal, apart, faults, unclassified, warned = 0, {}, [], [], []
    for (path, tree), dumped in zip(accepted, dumps):
        with open(path, "rb") as handle:
            data = handle.read()
        if "error" in dumped:
            reason = dumped["error"].strip().split("\n")[-1].partition(": ")[2]
            if RULES.get(reason, lambda _: False)(data):
                apart.setdefault("refused: " + reason, []).append(path)
            else:
                faults.append("refused, and no rule of the reader explains it: %s: %s" % (path, reason))
            continue
        if xmlview.uses_declared_entities(data):
            apart.setdefault("entities its DOCTYPE declares", []).append(path)
            continue
        try:
            view = xmlview.view_of_dump(dumped["elements"], dumped["encoding"])
        except LookupError:
            apart.setdefault("an encoding Python does not know", []).append(path)
            continue
        difference = xmlview.first_difference(xmlview.view_of_tree(tree), view)
        if dumped["warnings"]:
            warned.append(path)
        if difference is None:
            equal += 1
        elif xmlview.declares_attribute_defaults(data):
            apart.setdefault("attribute defaults its DOCTYPE declares", []).append(path)
        else:
            unclassified.append("%s: %s" % (path, difference))

    print("equal: %d, counted apart: %d, unclassified: %d, faults: %d" % (
        equal, sum(map(len, apart.values())), len(unclassified), len(faults)))
    for reason, paths in sorted(apart.items()):
        print("  counted apart (%s): %d, e.g. %s" % (reason, len(paths), paths[0]))
    for what in unclassified:
        print("  unclassified, read differently: %s" % what)
    for what in faults:
        print("FAIL: %s" % what)
    if all_equal and equal != len(files):
        print("FAIL: not every file was read by ElementTree and found equal")
        return 1
    if all_equal and warned:
        print("FAIL: read with warnings: %s" % ", ".join(warned))
        return 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
