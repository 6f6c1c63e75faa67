"""Hands a Markdown file to Doxygen so that it shows what other Markdown readers show.

Doxygen (1.9.4) reads entities, quotes and apostrophes inside code spans: it
shows `&lt;` as <, takes a span holding a `"` for the start of a string that
swallows the following paragraphs, and a span such as `'a' of` for quoted text.
So those three characters become entities inside code spans. And it knows no
anchors of headings, so a heading that a link of the same file names
(`[UTF-8 files](#utf-8-files)`) gets that anchor. An image is looked up by its
bare name in the image path, so a page's `../bench/` before it goes. Fenced code
blocks are passed unchanged.
"""
import re
import sys

FENCE = re.compile(r"(^```.*?^```[^\n]*$)", re.MULTILINE | re.DOTALL)
# A code span: a run of backticks, its text, and a closing run of the same length.
SPAN = re.compile(r"(`+)(.+?)(?<!`)\1(?!`)", re.DOTALL)
AS_ENTITIES = str.maketrans({"&": "&amp;", '"': "&quot;", "'": "&apos;"})
HEADING = re.compile(r"^(#{1,6} .*?)[ \t]*$", re.MULTILINE)
LINKED_ANCHOR = re.compile(r"\]\(#([\w-]+)\)")
IMAGE_FOLDER = re.compile(r"(!\[[^\]]*\]\()(?:\.\./)?bench/")


def literal_span(span):
    ticks, text = span.groups()
    return ticks + text.translate(AS_ENTITIES) + ticks


def anchor_of(heading):
    """The anchor that Markdown readers give a heading: lower case, blanks as hyphens, no punctuation."""
    words = heading.lstrip("#").strip().lower()
    return re.sub(r"[^\w\- ]", "", words).replace(" ", "-")


def with_anchors(text, linked):
    def heading(match):
        anchor = anchor_of(match.group(1))
        return f"{match.group(1)} {{#{anchor}}}" if anchor in linked else match.group(1)

    return HEADING.sub(heading, text)


with open(sys.argv[1], encoding="utf-8") as source:
    parts = FENCE.split(source.read())
prose = range(0, len(parts), 2)  # split() puts the fenced blocks at the odd indices
linked = {anchor for i in prose for anchor in LINKED_ANCHOR.findall(parts[i])}
for i in prose:
    parts[i] = IMAGE_FOLDER.sub(r"\1", with_anchors(SPAN.sub(literal_span, parts[i]), linked))
sys.stdout.write("".join(parts))
