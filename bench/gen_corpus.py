"""Writes the benchmark corpora, one XML file per kind, the same bytes on every machine for a given
scale but for the real-world ones (XML files that the system ships; see bench/README.md)."""

import glob, hashlib, os, re, shutil, xml.parsers.expat

KINDS = ("config", "text", "attr", "wide", "deep", "real", "iso", "small", "warnings")
TARGET_BYTES = 24 * 1000 * 1000  # per corpus at scale 1
DECLARATION = '<?xml version="1.0" encoding="utf-8"?>\n'
WORDS = ("alpha beta gamma delta value option server client network timeout retry buffer cache index record "
         "field table column schema query result status error warning message window panel button label colour "
         "font size width height margin border the of and to in is for on with as by at from that this be are "
         "or an it not").split()
NAMED_ENTITIES = ("&lt;", "&gt;", "&amp;", "&quot;", "&apos;")
NUMERIC_ENTITIES = ("&#196;", "&#214;", "&#220;", "&#223;", "&#228;", "&#246;", "&#252;", "&#8364;")
# The XML that the system ships: fontconfig's configuration, iso-codes, the MIME database.
REAL_SOURCES = ("/usr/share/fontconfig/conf.avail/*.conf", "/usr/share/xml/iso-codes/*.xml",
                "/usr/share/mime/packages/*.xml")
ISO_SOURCES = ("/usr/share/xml/iso-codes/*.xml",)

class Rng:
    """splitmix64: tiny, and stable across Python versions."""

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
        return lo + self.below(hi - lo + 1)

    def pick(self, seq):
        return seq[self.below(len(seq))]

    def words(self, count):
        return " ".join(self.pick(WORDS) for _ in range(count))

class Sink(list):
    """The pieces of a corpus, and their size so far."""
    size = 0

    def add(self, text):
        self.append(text)
        self.size += len(text)

def make_config(sink, target, rng):
    """Many small elements with 1-4 attributes, comments and a declaration."""
    sink.add(DECLARATION + "<!-- generated application configuration -->\n")
    sink.add('<configuration version="3" generator="bench">\n')
    section = 0
    while sink.size < target:
        section += 1
        sink.add(" <!-- section %d: %s -->\n" % (section, rng.words(rng.between(2, 6))))
        sink.add(' <section name="%s%d" enabled="%s">\n' % (rng.pick(WORDS), section, rng.pick(("true", "false"))))
        for entry in range(rng.between(4, 24)):
            key = "%s.%s%d" % (rng.pick(WORDS), rng.pick(WORDS), entry)
            sink.add((lambda: '  <entry key="%s"/>\n' % key,
                      lambda: '  <entry key="%s" value="%d"/>\n' % (key, rng.below(100000)),
                      lambda: '  <entry key="%s" type="%s" value="%d"/>\n' % (
                          key, rng.pick(("int", "bool", "string", "float", "path")), rng.below(1000)),
                      lambda: '  <entry key="%s" type="string" unit="%s" default="%s">%s</entry>\n' % (
                          key, rng.pick(WORDS), rng.pick(WORDS), rng.words(rng.between(1, 5))))[rng.below(4)]())
            if rng.below(16) == 0:
                sink.add("  <!-- %s -->\n" % rng.words(rng.between(3, 8)))
        sink.add(" </section>\n")
    sink.add("</configuration>\n")

def text_value(rng, length):
    """Prose with an entity every few words, wrapped in lines of about 80 bytes."""
    parts, size, line = [], 0, 0
    while size < length:
        roll = rng.below(10)
        piece = (rng.pick(NAMED_ENTITIES) + rng.pick(WORDS) if roll < 2 else
                 rng.pick(WORDS) + rng.pick(NUMERIC_ENTITIES) + rng.pick(WORDS) if roll < 3 else rng.pick(WORDS))
        if parts:
            parts.append("\n" if line > 80 else " ")
            line, size = 0 if line > 80 else line, size + 1
        parts.append(piece)
        size, line = size + len(piece), line + len(piece) + 1
    return "".join(parts)

def make_text(sink, target, rng):
    """Long element values full of entities."""
    sink.add(DECLARATION + '<library name="bench">\n')
    book = 0
    while sink.size < target:
        book += 1
        sink.add(' <book id="%d" lang="en">\n  <title>%s</title>\n' % (book, text_value(rng, rng.between(10, 60))))
        for _ in range(rng.between(1, 6)):
            # Mostly a few kilobytes, now and then a long one.
            length = rng.between(512, 16384) if rng.below(8) else rng.between(16384, 65536)
            sink.add("  <para>%s</para>\n" % text_value(rng, length))
        sink.add(" </book>\n")
    sink.add("</library>\n")

def make_attr(sink, target, rng):
    """Elements that carry most of their data in attributes."""
    sink.add(DECLARATION + '<records source="bench" schema="7">\n')
    names = ["a%02d" % i for i in range(40)]
    value = (lambda: str(rng.below(1 << 31)), lambda: rng.words(rng.between(1, 4)),
             lambda: "%s &amp; %s" % (rng.pick(WORDS), rng.pick(WORDS)),
             lambda: "%d.%03d" % (rng.below(10000), rng.below(1000)), lambda: rng.pick(("true", "false", "none", "")),
             lambda: "/%s/%s/%d" % (rng.pick(WORDS), rng.pick(WORDS), rng.below(100)))
    group = 0
    while sink.size < target:
        group += 1
        sink.add(' <group id="%d" kind="%s">\n' % (group, rng.pick(WORDS)))
        for _ in range(rng.between(8, 32)):
            count = rng.between(6, 20)
            start = rng.below(len(names) - count)
            sink.add("  <record%s/>\n" % "".join(' %s="%s"' % (name, value[rng.below(6)]())
                                                  for name in names[start:start + count]))
        sink.add(" </group>\n")
    sink.add("</records>\n")

def make_wide(sink, count):
    """A million siblings under one element."""
    sink.add(DECLARATION + "<items>\n")
    for i in range(count):
        sink.add('<i n="%d">v%d</i>\n' % (i, i))
    sink.add("</items>\n")

def make_deep(sink, count):
    """A million elements each nested in the one before; no indentation."""
    sink.add(DECLARATION)
    for i in range(count):
        sink.add('<d n="%d">\n' % i)
    sink.add("<leaf>bottom</leaf>\n")
    for _ in range(count):
        sink.add("</d>\n")

def make_warnings(sink, count):
    """For rkxml alone: a text that closes the hidden root first, then many text and comment
    pieces. Read with the root's parent link cut, every piece meets no current element and
    gives a warning: two warnings a piece."""
    sink.add("</?root?>" + "x<!---->" * count)

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
    bracket, close = text.find("[", start), text.find(">", start)
    end = text.find(">", text.find("]", bracket)) if 0 <= bracket < close else close
    return text[:start] + text[end + 1:]

def prepare_source(path):
    """The body of one shipped file, or None when it falls outside the common subset."""
    try:
        with open(path, "r", encoding="utf-8") as handle:
            text = handle.read()
    except (OSError, UnicodeDecodeError):
        return None
    text = PI_RE.sub("", strip_doctype(DECLARATION_RE.sub("", text, count=1))).replace("\r\n", "\n").strip()
    # Some shipped files hold a bare "&" (not well-formed); escape it rather than lose the file.
    text = BARE_AMPERSAND_RE.sub("&amp;", text)
    if not text or "<![CDATA[" in text or "<!DOCTYPE" in text or "<br" in text.lower():
        return None
    if any(not ATTRIBUTES_RE.match(tag.group(1)) for tag in START_TAG_RE.finditer(COMMENT_RE.sub("", text))):
        return None
    try:
        xml.parsers.expat.ParserCreate().Parse("<corpus>" + text + "</corpus>", True)
    except xml.parsers.expat.ExpatError:
        return None
    return text

def make_real(sink, target, notes, patterns):
    """The shipped files under one root, repeated to the size."""
    bodies, seen = [], set()
    for path in (path for pattern in patterns for path in sorted(glob.glob(pattern))):
        real = os.path.realpath(path)
        if real in seen or not os.path.isfile(real) or os.path.getsize(real) == 0:
            continue
        seen.add(real)
        body = prepare_source(path)
        notes.append(("source: %s (%d bytes)" % (path, os.path.getsize(path))) if body else
                     "skipped (outside the common subset): " + path)
        bodies += [body] if body else []
    if not bodies:
        return
    sink.add(DECLARATION + "<corpus>\n")
    copies = 0
    while sink.size < target:
        copies += 1
        for body in bodies:
            sink.add(body + "\n")
            if sink.size >= target:
                break
    sink.add("</corpus>\n")
    notes.append("copies of the sources: %d" % copies)

def make(kind, path, scale, notes):
    """Writes one corpus; False when none of its sources is on this machine."""
    target, count, sink = max(1, int(TARGET_BYTES * scale)), max(1, int(1000000 * scale)), Sink()
    rng = Rng(0x5EED0000 + KINDS.index(kind))
    {"config": lambda: make_config(sink, target, rng), "text": lambda: make_text(sink, target, rng),
     "attr": lambda: make_attr(sink, target, rng), "wide": lambda: make_wide(sink, count),
     "deep": lambda: make_deep(sink, count), "real": lambda: make_real(sink, target, notes, REAL_SOURCES),
     "iso": lambda: make_real(sink, target, notes, ISO_SOURCES),
     # A settings file of about 4 KB (3.6); twice that at twice the scale.
     "small": lambda: make_config(sink, 3500 * max(1, scale), rng),
     "warnings": lambda: make_warnings(sink, max(1, int(25000 * scale)))}[kind]()
    if sink:
        with open(path, "w", encoding="utf-8", newline="\n") as handle:
            handle.write("".join(sink))
    return bool(sink)

def make_corpora(folder, scale, kinds):
    """Writes the kinds missing in `folder` (all when the scale or this file changed); tells their sources."""
    with open(__file__, "rb") as handle:
        stamp = "scale %g generator %s\n" % (scale, hashlib.sha256(handle.read()).hexdigest())
    stamp_path = os.path.join(folder, ".stamp")
    if not os.path.exists(stamp_path) or open(stamp_path).read() != stamp:
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with open(stamp_path, "w") as handle:
            handle.write(stamp)
    for kind in kinds:
        path = os.path.join(folder, kind + ".xml")
        if not os.path.exists(path + ".txt"):
            notes = []
            if make(kind, path, scale, notes):
                with open(path, "rb") as handle:
                    notes.insert(0, "%s %d bytes sha256 %s" % (path, os.path.getsize(path),
                                                               hashlib.sha256(handle.read()).hexdigest()))
            with open(path + ".txt", "w") as handle:
                handle.write("".join(note + "\n" for note in notes) or path + " not made: no sources here\n")
    return "".join(open(os.path.join(folder, kind + ".xml.txt")).read() for kind in kinds)
