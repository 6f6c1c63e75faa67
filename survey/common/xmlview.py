"""What a strict XML parser (Python's ElementTree) sees in a file, in a form that two readings can be compared in.

A view is the list of a document's elements in document order, each a tuple
    (depth, name, attributes, text)
with names and attribute names as ElementTree gives them ("{namespace}local"), attributes a sorted tuple of
(name, value) as read, and text the stripped text of an element that holds no child element (None where
the text is not compared). Line ends and white space in attribute values are compared as read: both readers
normalise them as XML does. The surveys build a view of
each file with ElementTree, and one of what the library read (see ForeignDump.cpp), and compare them.
"""

import os
import re
import xml.etree.ElementTree as ET

# Names that XML files go by; a file of another name counts if it starts with an XML declaration.
XML_SUFFIXES = {".xml", ".svg", ".pom", ".xsl", ".xslt", ".xsd", ".policy", ".ui", ".glade", ".rng", ".its",
                ".xhtml", ".devhelp2", ".metainfo", ".plist"}
XML_NAMESPACE = "http://www.w3.org/XML/1998/namespace"
WHITE_SPACE = " \t\n\r"


# Kinds of files that cannot be XML, not opened when looking for XML files by their start.
BINARY_SUFFIXES = (".gz", ".bz2", ".xz", ".zst", ".zip", ".jar", ".png", ".jpg", ".gif", ".mo", ".ttf", ".otf",
                   ".pcf", ".so", ".pyc")


def xml_files(root, largest=32 * 1024 * 1024):
    """The regular files under `root` (links not followed) that are meant to be XML, sorted: by their name's
    suffix, or by an XML declaration (or a UTF-16 byte order mark) at their start."""
    found, folders = [], [root]
    while folders:
        try:
            entries = sorted(os.scandir(folders.pop()), key=lambda entry: entry.name)
        except OSError:
            continue
        for entry in entries:
            try:
                if entry.is_dir(follow_symlinks=False):
                    folders.append(entry.path)
                    continue
                if not entry.is_file(follow_symlinks=False) or entry.name.endswith(BINARY_SUFFIXES):
                    continue
                if os.path.splitext(entry.name)[1].lower() not in XML_SUFFIXES:
                    with open(entry.path, "rb") as handle:
                        start = handle.read(256)
                    declared = start.lstrip(b"\xef\xbb\xbf").lstrip().startswith(b"<?xml")
                    if not declared and not start.startswith((b"\xff\xfe", b"\xfe\xff")):
                        continue
                if entry.stat(follow_symlinks=False).st_size <= largest:
                    found.append(entry.path)
            except OSError:
                continue
    return sorted(found)


def parse(path):
    """ElementTree's root element of the file, or None if ElementTree refuses it."""
    try:
        return ET.parse(path).getroot()
    except (ET.ParseError, ValueError, LookupError, OSError, RecursionError):
        return None


def text_value(text):
    """A text as compared: stripped of XML's white space."""
    return (text or "").strip(WHITE_SPACE)


def view_of_tree(root):
    """The view of an ElementTree element, without recursion."""
    view, pending = [], [(root, 0)]
    while pending:
        element, depth = pending.pop()
        children = list(element)
        attributes = tuple(sorted(element.attrib.items()))
        view.append((depth, element.tag, attributes, None if children else text_value(element.text)))
        pending.extend((child, depth + 1) for child in reversed(children))
    return view


def _qualified(name, namespaces, is_attribute):
    """`name` as ElementTree names it, given the prefixes in scope; None for a prefix not declared."""
    prefix, colon, local = name.partition(":")
    if not colon:
        default = None if is_attribute else namespaces.get("")
        return "{%s}%s" % (default, name) if default else name
    uri = XML_NAMESPACE if prefix == "xml" else namespaces.get(prefix)
    return "{%s}%s" % (uri, local) if uri else None


def view_of_dump(elements, encoding):
    """The view of what the library read, as ForeignDump.cpp prints it: elements as lists
    [parent, name, [[attribute, value], ...], value, flags], strings holding the file's bytes
    as ISO-8859-1 characters. Bytes are decoded with `encoding` (the declared one, or UTF-8);
    namespaces are resolved as ElementTree resolves them."""
    codec = encoding or "utf-8"

    def text(raw):
        return raw.encode("latin-1").decode(codec, errors="replace")

    view, scopes, depths = [], [], []
    for parent, raw_name, raw_attributes, raw_value, flags in elements:
        namespaces = dict(scopes[parent]) if parent >= 0 else {}
        attributes = [(text(name), text(value)) for name, value in raw_attributes]
        for name, value in attributes:
            if name == "xmlns":
                namespaces[""] = value
            elif name.startswith("xmlns:"):
                namespaces[name[6:]] = value
        scopes.append(namespaces)
        depth = depths[parent] + 1 if parent >= 0 else 0
        depths.append(depth)
        name = _qualified(text(raw_name), namespaces, False) or text(raw_name)
        kept = tuple(sorted((_qualified(name, namespaces, True) or name, value)
                            for name, value in attributes if name != "xmlns" and not name.startswith("xmlns:")))
        # ElementTree joins the text around comments, which the library keeps as nodes: not compared.
        compared = None if flags & 1 else (None if flags & 2 else text_value(text(raw_value)))
        view.append((depth, name, kept, compared))
    return view


def first_difference(expected, actual):
    """None if the two views agree (texts compared where both give one), else what differs first."""
    if len(expected) != len(actual):
        return "%d elements, not %d" % (len(actual), len(expected))
    for index, (want, got) in enumerate(zip(expected, actual)):
        for part, label in ((0, "depth"), (1, "name"), (2, "attributes")):
            if want[part] != got[part]:
                return "element %d (%s): %s %r, not %r" % (index, want[1], label, got[part], want[part])
        if want[3] is not None and got[3] is not None and want[3] != got[3]:
            return "element %d (%s): text %r, not %r" % (index, want[1], got[3][:80], want[3][:80])
    return None


ENTITY_DECLARATION = re.compile(rb"<!ENTITY\s+([^\s%][^\s]*)\s")


def uses_declared_entities(data):
    """Whether the file's text refers to a general entity that its own DOCTYPE declares
    (ElementTree expands those; a reader without a DTD leaves them as written)."""
    names = set(ENTITY_DECLARATION.findall(data))
    return any(b"&" + name + b";" in data for name in names)


def declares_attribute_defaults(data):
    """Whether the file's DOCTYPE declares attribute lists, whose default values ElementTree adds
    to elements that lack the attribute (a reader without a DTD does not)."""
    return b"<!ATTLIST" in data
