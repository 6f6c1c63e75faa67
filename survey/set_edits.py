"""`rkxml set` on every XML file of this machine that a strict parser (Python's ElementTree) reads, each on a
copy in a fresh directory: once on an element's text and once on an attribute that the file holds. Each edit
either writes the file, changing no byte outside the edited value, and ElementTree then reads the same tree
but for that value; or refuses it with a reason and leaves it byte for byte as it was.

    python3 survey/set_edits.py PATH_TO_RKXML_PROGRAM [ROOT ...]        (ROOT: /usr/share by default)

Prints the counts (edits tried, written, refused by reason, damaged) and the median number of lines that a
written edit changed. Files in which no edit can be named by a path (no element with text, no attribute,
reached as the first element of each name from the top) or whose edit cannot be judged are counted and
listed apart. Exits 1 only on a fault of rkxml's: a damaged file, a crash, a refused file that changed, or a
refusal of no known reason.
"""

import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import xml.parsers.expat

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "common"))
import xmlview  # noqa: E402  (finds the files that are meant to be XML)

NEW_VALUE = "rkxml & <edit>"  # ASCII, so that every character set holds it; "&" and "<" test the encoding
# "FILE:LINE: refused: text", "FILE:LINE: error: text" or "rkxml: FILE: text".
AT_LINE = re.compile(r"^(?P<file>.+?):\d+: (?P<label>refused|error|warning): (?P<text>.*)$")
PROGRAM = re.compile(r"^rkxml: (?P<file>.+?): (?P<text>.*)$")
# Refusals that mean the file holds what set cannot or should not touch; any other is a fault of ours.
EXPLAINED = re.compile("|".join([
    r"is not closed at the end of the text", r"is replaced by a later text", r"Text outside every element",
    r"Text after the last tag", r"No tag active", r"joined from several pieces", r"has no end tag",
    r"encoding '.*' is declared", r"cannot hold", r"is not part of a UTF-8 character", r"is not US-ASCII",
    r"UTF-16", r"Unspected", r"unclosed", r"Closing tag", r"Empty tag name", r"cannot be written",
    r"too large", r"bound of", r"more reasons not shown", r"in several places between its children",
]))


class Element:
    """An element as written: its name and attributes unprocessed (prefixes kept), where its bytes stand."""

    def __init__(self, name, attributes, parent, start):
        self.name, self.attributes, self.parent, self.start = name, attributes, parent, start
        self.children, self.text_start, self.text, self.end_tag = [], None, "", None


def raw_elements(data):
    """The elements of `data` in document order, as expat reads them without namespaces; None on an error."""
    parser = xml.parsers.expat.ParserCreate()
    parser.ordered_attributes = True
    elements, open_elements = [], []

    def start(name, attributes):
        parent = open_elements[-1] if open_elements else None
        element = Element(name, dict(zip(attributes[::2], attributes[1::2])), parent, parser.CurrentByteIndex)
        if parent is not None:
            parent.children.append(element)
        elements.append(element)
        open_elements.append(element)

    def end(name):
        open_elements.pop().end_tag = parser.CurrentByteIndex

    def text(content):
        if open_elements and not open_elements[-1].children:
            current = open_elements[-1]
            current.text += content
            if current.text_start is None:
                current.text_start = parser.CurrentByteIndex

    def cdata():
        if open_elements and not open_elements[-1].children and open_elements[-1].text_start is None:
            open_elements[-1].text_start = parser.CurrentByteIndex

    parser.StartElementHandler, parser.EndElementHandler = start, end
    parser.CharacterDataHandler, parser.StartCdataSectionHandler = text, cdata
    try:
        parser.Parse(data, True)
    except xml.parsers.expat.ExpatError:
        return None
    return elements


def path_of(element):
    """rkxml's path to `element`, or None where the path would name an earlier element of the same name."""
    steps = []
    while element.parent is not None:
        same = [child for child in element.parent.children if child.name == element.name]
        if same[0] is not element or "/" in element.name or "@" in element.name:
            return None
        steps.append(element.name)
        element = element.parent
    return "/".join([element.name] + steps[::-1])


def choose_edits(elements):
    """The edits to try: the first leaf element with text, and the first attribute without a prefix (not a
    namespace declaration), each reached by a path. (index in document order, path, attribute name or None)."""
    edits = []
    for index, element in enumerate(elements):
        if not element.children and element.text.strip() and path_of(element) is not None:
            edits.append((index, path_of(element), None))
            break
    for index, element in enumerate(elements):
        names = [name for name in element.attributes if ":" not in name and not name.startswith("xmlns")]
        if names and path_of(element) is not None and "/" not in names[0]:
            edits.append((index, path_of(element) + "/@" + names[0], names[0]))
            break
    return edits


def start_tag_end(data, start):
    """The position after the ">" of the start tag at `start`, quoted values passed over."""
    quote, at = None, start
    while at < len(data):
        byte = data[at:at + 1]
        if quote is not None:
            quote = None if byte == quote else quote
        elif byte in (b'"', b"'"):
            quote = byte
        elif byte == b">":
            return at + 1
        at += 1
    return len(data)


def editable_region(data, element, attribute):
    """The bytes that the edit may change: the attribute's quoted value, or the element's content (a missing
    text may go in place of the "/>")."""
    tag_end = start_tag_end(data, element.start)
    if attribute is not None:
        tag = data[element.start:tag_end]
        found = re.search(rb"\s" + re.escape(attribute.encode("utf-8")) + rb"\s*=\s*([\"'])", tag)
        if found is None:
            return None
        value_start = element.start + found.end()
        return value_start, data.index(found.group(1), value_start)
    content_start = element.text_start if element.text_start is not None else tag_end
    return content_start, element.end_tag if element.end_tag is not None else tag_end


def changed_span(before, after):
    """The first byte that differs, and how many bytes at the end are the same."""
    prefix = 0
    limit = min(len(before), len(after))
    while prefix < limit and before[prefix] == after[prefix]:
        prefix += 1
    suffix = 0
    while suffix < limit - prefix and before[-1 - suffix] == after[-1 - suffix]:
        suffix += 1
    return prefix, suffix


def changed_lines(before, after, prefix, suffix):
    old = before[:len(before) - suffix].count(b"\n") - before[:prefix].count(b"\n") + 1
    new = after[:len(after) - suffix].count(b"\n") - after[:prefix].count(b"\n") + 1
    return max(old, new)


def tree_of(path):
    try:
        return ET.parse(path).getroot()
    except (ET.ParseError, ValueError, LookupError):
        return None


def same_but_edit(before, after, index, attribute):
    """None if ElementTree reads `after` as `before` with the one value edited, else what differs first."""
    old, new = list(before.iter()), list(after.iter())
    if len(old) != len(new):
        return "%d elements, not %d" % (len(new), len(old))
    for position, (a, b) in enumerate(zip(old, new)):
        attributes = dict(a.attrib)
        text = (a.text or "").strip()
        if position == index:
            if attribute is not None:
                attributes[attribute] = NEW_VALUE
            else:
                text = NEW_VALUE
        if a.tag != b.tag or attributes != b.attrib or text != (b.text or "").strip() or \
                (a.tail or "").strip() != (b.tail or "").strip():
            return "element %d (%s) differs" % (position, a.tag)
    return None


def reason_kind(text):
    """A refusal's text without what is particular to one file: names, bytes, numbers."""
    text = re.sub(r"'[^']*'", "'…'", text)
    text = re.sub(r"\\x[0-9A-F]{2}", r"\\xNN", text)
    return re.sub(r"\d+", "N", text)


def refusal_of(stderr):
    """The first reason that rkxml gave, as a kind, and whether every reason it gave is a known one."""
    reasons = []
    for line in stderr.decode("utf-8", errors="replace").splitlines():
        match = AT_LINE.match(line) or PROGRAM.match(line)
        reasons.append(match.group("text") if match else line)
    if not reasons:
        return "no reason given", False
    return reason_kind(reasons[0]), all(EXPLAINED.search(reason) for reason in reasons)


def main(arguments):
    if not arguments:
        print(__doc__)
        return 2
    program, roots = os.path.abspath(arguments[0]), arguments[1:] or ["/usr/share"]
    files = [path for root in roots if os.path.isdir(root) for path in xmlview.xml_files(root)]
    memory = "/dev/shm"
    work = tempfile.mkdtemp(prefix="rkxml-set-", dir=memory if os.access(memory, os.W_OK) else None)
    read, tried, written, refused, damaged, faults, apart, lines = 0, 0, 0, {}, [], [], {}, []
    for number, path in enumerate(files):
        with open(path, "rb") as handle:
            data = handle.read()
        before = tree_of(path)
        if before is None:
            continue
        read += 1
        elements = raw_elements(data)
        edits = choose_edits(elements) if elements is not None else []
        if elements is None or len(elements) != len(list(before.iter())):
            apart.setdefault("expat and ElementTree see different elements", []).append(path)
            continue
        if not edits:
            apart.setdefault("no element text or attribute that a path reaches", []).append(path)
            continue
        for kind, (index, edit_path, attribute) in enumerate(edits):
            copy = os.path.join(work, "%05d-%d%s" % (number, kind, os.path.splitext(path)[1]))
            shutil.copyfile(path, copy)
            tried += 1
            run = subprocess.run([program, "set", "--", copy, edit_path, NEW_VALUE], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE)
            with open(copy, "rb") as handle:
                after = handle.read()
            where = "%s (%s)" % (path, edit_path)
            if run.returncode not in (0, 1):
                faults.append(("exit status %d" % run.returncode, where))
            elif run.returncode == 1:
                reason, known = refusal_of(run.stderr)
                refused.setdefault(reason, []).append(where)
                if after != data:
                    faults.append(("refused, but changed", where))
                elif not known:
                    faults.append(("refused for no known reason: " + reason, where))
            else:
                written += 1
                region = editable_region(data, elements[index], attribute)
                prefix, suffix = changed_span(data, after)
                if after != data:
                    lines.append(changed_lines(data, after, prefix, suffix))
                if region is None:
                    apart.setdefault("the attribute's bytes not found", []).append(where)
                elif prefix < region[0] or len(data) - suffix > region[1]:
                    damaged.append(("bytes outside the value changed (%d..%d, value %d..%d)" % (
                        prefix, len(data) - suffix, region[0], region[1]), where))
                else:
                    tree = tree_of(copy)
                    difference = "ElementTree no longer reads it" if tree is None else \
                        same_but_edit(before, tree, index, attribute)
                    if difference is not None:
                        damaged.append((difference, where))
            os.remove(copy)
    logs = [entry for entry in os.listdir(work) if entry.endswith(".log")]
    if logs:
        faults.append(("log files were left", ", ".join(sorted(logs)[:5])))
    shutil.rmtree(work, ignore_errors=True)

    print("XML files: %d, read by ElementTree: %d; edits tried: %d, written: %d, refused: %d, damaged: %d" % (
        len(files), read, tried, written, sum(map(len, refused.values())), len(damaged)))
    if lines:
        print("changed lines per written edit: median %g, most %d" % (statistics.median(lines), max(lines)))
    for reason, wheres in sorted(refused.items(), key=lambda item: -len(item[1])):
        print("  refused (%s): %d, e.g. %s" % (reason, len(wheres), wheres[0]))
    for reason, wheres in sorted(apart.items()):
        print("  counted apart (%s): %d, e.g. %s" % (reason, len(wheres), ", ".join(wheres[:3])))
    for kind, where in (damaged + faults)[:20]:
        print("FAIL: %s: %s" % (kind, where))
    return 1 if damaged or faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
