"""Every XML file of this machine that Python's ElementTree reads is read in the mode for files from other
programs (foreignXml), and the library sees the same elements, attributes and texts.

    python3 foreign_files.py [--all-equal] DUMP_PROGRAM [ROOT ...]        (ROOT: /usr/share by default)

Files whose text uses entities that their own DOCTYPE declares are counted apart (ElementTree expands
them, the library leaves them as written), as are files whose DOCTYPE gives attribute defaults that
ElementTree adds, and files whose declared encoding Python does not know. With RKXML_TESTS_SMALL set
(sanitizer builds), every tenth file is read. Prints the counts; fails if a file is refused or read
differently (with --all-equal, also if one is counted apart or refused by ElementTree); exits 77
(skipped) where the machine holds no such file.
"""

import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xmlview  # noqa: E402

SKIPPED = 77


def main(arguments):
    all_equal = arguments[:1] == ["--all-equal"]
    arguments = arguments[1:] if all_equal else arguments
    program, roots = arguments[0], arguments[1:] or ["/usr/share"]
    files = [path for root in roots if os.path.isdir(root) for path in xmlview.xml_files(root)]
    accepted = [(path, root) for path, root in ((path, xmlview.parse(path)) for path in files) if root is not None]
    print("XML files: %d, read by ElementTree: %d" % (len(files), len(accepted)))
    if os.environ.get("RKXML_TESTS_SMALL") and not all_equal:
        accepted = accepted[::10]
        print("every tenth of them (RKXML_TESTS_SMALL): %d" % len(accepted))
    if not accepted:
        print("skipped: no XML file that ElementTree reads under %s" % " ".join(roots))
        return SKIPPED

    names = "".join(path + "\n" for path, _ in accepted).encode("utf-8", errors="surrogateescape")
    output = subprocess.run([program], input=names, stdout=subprocess.PIPE, check=True).stdout
    lines = output.decode("ascii").splitlines()
    if len(lines) != len(accepted):
        print("the dump program gave %d lines for %d files" % (len(lines), len(accepted)))
        return 1

    equal, apart, refused, different = 0, {}, {}, []
    for (path, tree), line in zip(accepted, lines):
        dumped = json.loads(line)
        if "error" in dumped:
            reason = dumped["error"].strip().split("\n")[-1].partition(": ")[2]
            refused.setdefault(reason, []).append(path)
            continue
        with open(path, "rb") as handle:
            data = handle.read()
        if xmlview.uses_declared_entities(data):
            apart.setdefault("entities its DOCTYPE declares", []).append(path)
            continue
        try:
            view = xmlview.view_of_dump(dumped["elements"], dumped["encoding"])
        except LookupError:
            apart.setdefault("an encoding Python does not know", []).append(path)
            continue
        difference = xmlview.first_difference(xmlview.view_of_tree(tree), view)
        if difference is None:
            equal += 1
        elif xmlview.declares_attribute_defaults(data):
            apart.setdefault("attribute defaults its DOCTYPE declares", []).append(path)
        else:
            different.append((path, difference))

    print("read: %d, equal: %d, counted apart: %d, refused: %d, different: %d" % (
        len(accepted) - sum(map(len, refused.values())), equal, sum(map(len, apart.values())),
        sum(map(len, refused.values())), len(different)))
    for reason, paths in sorted(apart.items()):
        print("  counted apart (%s): %d, e.g. %s" % (reason, len(paths), paths[0]))
    for reason, paths in sorted(refused.items()):
        print("  refused (%s): %d, e.g. %s" % (reason, len(paths), ", ".join(paths[:3])))
    for path, difference in different[:20]:
        print("  different: %s: %s" % (path, difference))
    if all_equal and equal != len(files):
        print("not every file was read by ElementTree and found equal")
        return 1
    return 1 if refused or different else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
