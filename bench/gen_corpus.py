#!/usr/bin/env python3
"""Writes the benchmark corpora: one XML file per kind, deterministic.

Every generated file is the same byte for byte on every machine for a given
scale (a private PRNG, no dependence on Python's random module). The
real-world corpus is built from XML files that the system ships, so it
depends on the installed package versions; its sources are listed in
corpus.txt beside the files.

All corpora stay inside the XML subset that every library in the comparison
reads the same way: double-quoted attributes written name="value", no
DOCTYPE, no CDATA, one declaration, no mixed content, no element named br
(an open tag for rkxml), and only the entities &lt; &gt; &amp; &quot; &apos;
and the numeric ones &#196; &#214; &#220; &#223; &#228; &#246; &#252; &#8364;.
"""

import argparse
import glob
import hashlib
import os
import re
import sys
import xml.parsers.expat

KINDS = ("config", "text", "attr", "wide", "deep", "real")
TARGET_BYTES = 24 * 1000 * 1000  # per corpus at scale 1
DECLARATION = '<?xml version="1.0" encoding="utf-8"?>\n'


class Rng:
    """splitmix64: tiny, fast enough, and stable across Python versions."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFFFFFFFFFF

    def next(self):
        self.state = (self.state + 0x9E3779B97F4A7C15) & 0xFFFFFFFFFFFFFFFF
        z = self.state
        z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & 0xFFFFFFFFFFFFFFFF
        z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & 0xFFFFFFFFFFFFFFFF
        return z ^ (z >> 31)

    def below(self, n):
        return self.next() % n

    def between(self, lo, hi):
        return lo + self.next() % (hi - lo + 1)

    def pick(self, seq):
        return seq[self.next() % len(seq)]


WORDS = (
    "alpha beta gamma delta value option server client network timeout retry buffer "
    "cache index record field table column schema query result status error warning "
    "message window panel button label colour font size width height margin border "
    "the of and to in is for on with as by at from that this be are or an it not"
).split()
NAMED_ENTITIES = ("&lt;", "&gt;", "&amp;", "&quot;", "&apos;")
NUMERIC_ENTITIES = ("&#196;", "&#214;", "&#220;", "&#223;", "&#228;", "&#246;", "&#252;", "&#8364;")


class Sink:
    """Collects text in pieces and writes it in large blocks."""

    def __init__(self, path):
        self.file = open(path, "w", encoding="utf-8", newline="\n")
        self.parts = []
        self.pending = 0
        self.size = 0

    def add(self, text):
        self.parts.append(text)
        self.pending += len(text)
        self.size += len(text)
        if self.pending > (1 << 20):
            self.flush()

    def flush(self):
        self.file.write("".join(self.parts))
        self.parts = []
        self.pending = 0

    def close(self):
        self.flush()
        self.file.close()


def words(rng, count):
    return " ".join(rng.pick(WORDS) for _ in range(count))


def gen_config(sink, target, rng):
    """Many small elements with 1-4 attributes, comments and a declaration."""
    sink.add(DECLARATION)
    sink.add("<!-- generated application configuration -->\n")
    sink.add('<configuration version="3" generator="bench">\n')
    types = ("int", "bool", "string", "float", "path")
    section = 0
    while sink.size < target:
        section += 1
        sink.add(" <!-- section %d: %s -->\n" % (section, words(rng, rng.between(2, 6))))
        sink.add(' <section name="%s%d" enabled="%s">\n'
                 % (rng.pick(WORDS), section, rng.pick(("true", "false"))))
        for entry in range(rng.between(4, 24)):
            key = "%s.%s%d" % (rng.pick(WORDS), rng.pick(WORDS), entry)
            shape = rng.below(4)
            if shape == 0:
                sink.add('  <entry key="%s"/>\n' % key)
            elif shape == 1:
                sink.add('  <entry key="%s" value="%d"/>\n' % (key, rng.below(100000)))
            elif shape == 2:
                sink.add('  <entry key="%s" type="%s" value="%d"/>\n'
                         % (key, rng.pick(types), rng.below(1000)))
            else:
                sink.add('  <entry key="%s" type="string" unit="%s" default="%s">%s</entry>\n'
                         % (key, rng.pick(WORDS), rng.pick(WORDS), words(rng, rng.between(1, 5))))
            if rng.below(16) == 0:
                sink.add("  <!-- %s -->\n" % words(rng, rng.between(3, 8)))
        sink.add(" </section>\n")
    sink.add("</configuration>\n")


def text_value(rng, length):
    """Prose with an entity every few words, wrapped in lines of about 80 bytes."""
    parts = []
    size = 0
    line = 0
    while size < length:
        roll = rng.below(10)
        if roll < 2:
            piece = rng.pick(NAMED_ENTITIES) + rng.pick(WORDS)
        elif roll < 3:
            piece = rng.pick(WORDS) + rng.pick(NUMERIC_ENTITIES) + rng.pick(WORDS)
        else:
            piece = rng.pick(WORDS)
        if parts:
            if line > 80:
                parts.append("\n")
                line = 0
            else:
                parts.append(" ")
            size += 1
        parts.append(piece)
        size += len(piece)
        line += len(piece) + 1
    return "".join(parts)


def gen_text(sink, target, rng):
    """Long element values full of entities."""
    sink.add(DECLARATION)
    sink.add('<library name="bench">\n')
    book = 0
    while sink.size < target:
        book += 1
        sink.add(' <book id="%d" lang="en">\n' % book)
        sink.add("  <title>%s</title>\n" % text_value(rng, rng.between(10, 60)))
        for _ in range(rng.between(1, 6)):
            # Mostly a few kilobytes, now and then a long one.
            length = rng.between(512, 16384) if rng.below(8) else rng.between(16384, 65536)
            sink.add("  <para>%s</para>\n" % text_value(rng, length))
        sink.add(" </book>\n")
    sink.add("</library>\n")


def gen_attr(sink, target, rng):
    """Elements that carry most of their data in attributes."""
    sink.add(DECLARATION)
    sink.add('<records source="bench" schema="7">\n')
    names = ["a%02d" % i for i in range(40)]
    group = 0
    while sink.size < target:
        group += 1
        sink.add(' <group id="%d" kind="%s">\n' % (group, rng.pick(WORDS)))
        for _ in range(rng.between(8, 32)):
            count = rng.between(6, 20)
            start = rng.below(len(names) - count)
            attrs = []
            for name in names[start:start + count]:
                kind = rng.below(6)
                if kind == 0:
                    value = str(rng.below(1 << 31))
                elif kind == 1:
                    value = words(rng, rng.between(1, 4))
                elif kind == 2:
                    value = "%s &amp; %s" % (rng.pick(WORDS), rng.pick(WORDS))
                elif kind == 3:
                    value = "%d.%03d" % (rng.below(10000), rng.below(1000))
                elif kind == 4:
                    value = rng.pick(("true", "false", "none", ""))
                else:
                    value = "/%s/%s/%d" % (rng.pick(WORDS), rng.pick(WORDS), rng.below(100))
                attrs.append(' %s="%s"' % (name, value))
            sink.add("  <record%s/>\n" % "".join(attrs))
        sink.add(" </group>\n")
    sink.add("</records>\n")


def gen_wide(sink, count):
    """A million siblings under one element."""
    sink.add(DECLARATION)
    sink.add("<items>\n")
    for i in range(count):
        sink.add('<i n="%d">v%d</i>\n' % (i, i))
    sink.add("</items>\n")


def gen_deep(sink, count):
    """A million elements each nested in the one before; no indentation."""
    sink.add(DECLARATION)
    for i in range(count):
        sink.add('<d n="%d">\n' % i)
    sink.add("<leaf>bottom</leaf>\n")
    for _ in range(count):
        sink.add("</d>\n")


# The XML that the system ships: the MIME database, iso-codes, fontconfig.
REAL_SOURCES = (
    "/usr/share/fontconfig/conf.avail/*.conf",
    "/usr/share/xml/iso-codes/*.xml",
    "/usr/share/mime/packages/*.xml",
)

DECLARATION_RE = re.compile(r"<\?xml[^>]*\?>")
PI_RE = re.compile(r"<\?.*?\?>", re.S)
COMMENT_RE = re.compile(r"<!--.*?-->", re.S)
BARE_AMPERSAND_RE = re.compile(r"&(?!(?:[A-Za-z]+|#[0-9]+|#x[0-9A-Fa-f]+);)")
START_TAG_RE = re.compile(r"<([^!?/][^>]*)>")
ATTRIBUTES_RE = re.compile(r'^[^\s/>]+(\s+[^\s=/>"]+="[^"<]*")*\s*/?$')


def strip_doctype(text):
    """Removes a document type declaration, internal subset included."""
    start = text.find("<!DOCTYPE")
    if start < 0:
        return text
    bracket = text.find("[", start)
    close = text.find(">", start)
    if 0 <= bracket < close:
        end = text.find("]", bracket)
        end = text.find(">", end)
    else:
        end = close
    return text[:start] + text[end + 1:]


def prepare_source(path):
    """The body of one shipped file, or None when it falls outside the subset."""
    try:
        with open(path, "r", encoding="utf-8") as handle:
            text = handle.read()
    except (OSError, UnicodeDecodeError):
        return None
    text = DECLARATION_RE.sub("", text, count=1)
    text = strip_doctype(text)
    text = PI_RE.sub("", text)
    text = text.replace("\r\n", "\n").strip()
    # Some shipped files hold a bare "&" (not well-formed); escape it rather than lose the file.
    text = BARE_AMPERSAND_RE.sub("&amp;", text)
    if not text or "<![CDATA[" in text or "<!DOCTYPE" in text or "<br" in text.lower():
        return None
    for match in START_TAG_RE.finditer(COMMENT_RE.sub("", text)):
        if not ATTRIBUTES_RE.match(match.group(1)):
            return None
    try:
        xml.parsers.expat.ParserCreate().Parse("<corpus>" + text + "</corpus>", True)
    except xml.parsers.expat.ExpatError:
        return None
    return text


def real_sources():
    seen = set()
    paths = []
    for pattern in REAL_SOURCES:
        for path in sorted(glob.glob(pattern)):
            real = os.path.realpath(path)
            if real not in seen and os.path.isfile(real) and os.path.getsize(real) > 0:
                seen.add(real)
                paths.append(path)
    return paths


def gen_real(sink, target, notes):
    bodies = []
    for path in real_sources():
        body = prepare_source(path)
        if body is None:
            notes.append("skipped (outside the common subset): " + path)
        else:
            bodies.append((path, body))
            notes.append("source: %s (%d bytes)" % (path, os.path.getsize(path)))
    if not bodies:
        return False
    sink.add(DECLARATION)
    sink.add("<corpus>\n")
    copy = 0
    while sink.size < target:
        copy += 1
        for _, body in bodies:
            sink.add(body)
            sink.add("\n")
            if sink.size >= target:
                break
    sink.add("</corpus>\n")
    notes.append("copies of the sources: %d" % copy)
    return True


def generate(kind, path, scale, notes):
    target = max(1, int(TARGET_BYTES * scale))
    count = max(1, int(1000000 * scale))
    rng = Rng(0x5EED0000 + KINDS.index(kind))
    sink = Sink(path)
    ok = True
    if kind == "config":
        gen_config(sink, target, rng)
    elif kind == "text":
        gen_text(sink, target, rng)
    elif kind == "attr":
        gen_attr(sink, target, rng)
    elif kind == "wide":
        gen_wide(sink, count)
    elif kind == "deep":
        gen_deep(sink, count)
    else:
        ok = gen_real(sink, target, notes)
    sink.close()
    if not ok:
        os.remove(path)
    return ok


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as handle:
        for block in iter(lambda: handle.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True, help="folder for the corpus files")
    parser.add_argument("--scale", type=float, default=1.0,
                        help="1 gives about 24 MB per corpus and a million elements "
                             "for wide and deep; 2 doubles every corpus")
    parser.add_argument("--kinds", default=",".join(KINDS),
                        help="comma-separated subset of: " + ", ".join(KINDS))
    args = parser.parse_args()

    kinds = [k for k in args.kinds.split(",") if k]
    unknown = [k for k in kinds if k not in KINDS]
    if unknown:
        parser.error("unknown kind(s): " + ", ".join(unknown))
    os.makedirs(args.out, exist_ok=True)

    lines = ["scale %g" % args.scale]
    for kind in kinds:
        path = os.path.join(args.out, kind + ".xml")
        notes = []
        if generate(kind, path, args.scale, notes):
            size = os.path.getsize(path)
            lines.append("%s.xml %d bytes sha256 %s" % (kind, size, sha256(path)))
            print("corpus %-6s %10d bytes  %s" % (kind, size, path))
        else:
            lines.append("%s.xml not generated" % kind)
            print("corpus %-6s not generated: none of its sources is on this machine" % kind)
        lines.extend("  " + note for note in notes)
    with open(os.path.join(args.out, "corpus.txt"), "w", encoding="utf-8") as handle:
        handle.write("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
