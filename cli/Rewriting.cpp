#include "Rewriting.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include <rkXMLFactory.h>

#include "Charset.h"
#include "Messages.h"
#include "Splice.h"
#include "TreeDifference.h"
#include "WrittenSize.h"

namespace rkxml_cli {
namespace {

using Diagnostic = rkXMLFStream::Diagnostic;

// Why a file is left as it is, each reason at its line, printed together in line order.
class Refusals {
public:
    explicit Refusals(const std::string& fileName) : fileName(fileName) {}

    void add(std::size_t line, std::string text) { reasons.push_back({Diagnostic::Warning, line, std::move(text)}); }
    void add(const std::vector<Diagnostic>& diagnostics) {
        reasons.insert(reasons.end(), diagnostics.begin(), diagnostics.end());
    }
    bool empty() const { return reasons.empty(); }

    // Prints the first reasons as "FILE:LINE: refused: text"; false, for callers to pass on.
    bool print() {
        std::stable_sort(reasons.begin(), reasons.end(),
                         [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
        const std::size_t shownCount = std::min(reasons.size(), shownAtMost);
        for (std::size_t i = 0; i < shownCount; ++i) printAtLine(fileName, reasons[i].line, "refused", reasons[i].text);
        if (reasons.size() > shownCount) {
            complain(shown(fileName) + ": " + std::to_string(reasons.size() - shownCount) + " more reasons not shown");
        }
        return false;
    }

private:
    static constexpr std::size_t shownAtMost = 10;
    const std::string& fileName;
    std::vector<Diagnostic> reasons;
};

// The line (from 0) of the byte at `offset`.
std::size_t lineAt(const std::string& bytes, std::size_t offset) {
    const auto end = bytes.begin() + static_cast<std::ptrdiff_t>(std::min(offset, bytes.size()));
    return static_cast<std::size_t>(std::count(bytes.begin(), end, '\n'));
}

// The set that the document's header declares; UTF-8 without one.
Charset charsetOf(const rkXMLDocument& document) {
    const rkXMLHeader* header = document.getHeader();
    return charsetNamed(header == nullptr ? std::string() : header->getEncodingType());
}

// The line of the XML declaration, where messages about the character set point.
std::size_t declarationLine(const std::string& bytes) {
    const std::size_t at = bytes.find("<?xml");
    return at == std::string::npos ? 0 : lineAt(bytes, at);
}

// The line of `node` of `tree` in `bytes`, the text `tree` was read from: a header's declaration, a
// comment's text, or the start tag of the element with as many of its name before it.
std::optional<std::size_t> lineOf(const std::string& bytes, const rkXMLDocument& tree, const rkXMLNode* node) {
    if (node->getElementType() == rkXMLNode::Header) return declarationLine(bytes);
    if (node->getElementType() == rkXMLNode::Comment) {
        const std::size_t at = bytes.find("<!--" + node->getName() + "-->");
        return at == std::string::npos ? std::nullopt : std::optional<std::size_t>(lineAt(bytes, at));
    }
    const std::string& name = node->getName();
    std::size_t before = 0;  // elements of that name before it, in document order
    std::vector<rkXMLNode*> pending(1, tree.getRoot());
    while (!pending.empty() && pending.back() != node) {
        rkXMLNode* next = pending.back();
        pending.pop_back();
        if (next->getElementType() == rkXMLNode::Element && next != tree.getRoot() && next->getName() == name) {
            ++before;
        }
        if (const rkXMLElement* element = rkXMLFactory::asElement(next)) {
            pending.insert(pending.end(), element->rbegin(), element->rend());
        }
    }
    const std::string tag = "<" + name;
    for (std::size_t at = bytes.find(tag); at != std::string::npos; at = bytes.find(tag, at + 1)) {
        const std::size_t after = at + tag.size();
        const bool wholeName =
            after == bytes.size() || std::string_view(" \t\r\n/>").find(bytes[after]) != std::string_view::npos;
        if (wholeName && before-- == 0) return lineAt(bytes, at);
    }
    return std::nullopt;
}

// What a difference found by the proof means, for the message.
std::string describe(const Difference& difference) {
    const std::string element = "element '" + shown(difference.node->getName()) + "'";
    switch (difference.kind) {
        case Difference::Children: return "the content of " + element + " would not read back as it stands";
        case Difference::Header: return "the XML declaration would not read back as it stands";
        case Difference::Comment: return "a comment would not read back as it stands";
        case Difference::Name: return element + " would not read back under its name";
        case Difference::Attributes: return "the attributes of " + element + " would not read back as they stand";
        case Difference::Value: return "the value of " + element + " would not read back as it stands";
        case Difference::None: break;
    }
    return {};
}

// A file as read before it is written back, and where it came from.
struct Original {
    std::string fileName;
    Mode mode;
    rkXMLFStream stream;     // the command's mode, which also writes
    rkXMLDocument document;  // as the command's mode reads it; edited by set
    bool exists = false;     // false: set makes a new file
    std::string bytes;       // the file's bytes
    rkXMLDocument asXml;     // 8-bit mode: as other XML programs read the file
    Charset charset = Charset::Utf8;
    bool splices = false;  // set on a file with a top-level element: only the value's bytes change

    Original(const std::string& fileName, Mode mode) : fileName(fileName), mode(mode), stream(streamFor(mode)) {
        document.setFileName(fileName);
    }
};

// Reads the file in UTF-8 mode, as other XML programs read it, for the 8-bit mode's proof; every
// error, warning and save loss is a reason to refuse.
void readAsXml(Original& original, Refusals& refusals) {
    rkXMLFStream foreign = streamFor(Mode::Utf8);
    try {
        foreign.readDocumentFromString(original.asXml, original.bytes);
    } catch (const std::runtime_error&) {
        // Read by the library's 8-bit mode, but not as XML: the error says where.
    }
    for (const Diagnostic& diagnostic : foreign.getDiagnostics()) {
        refusals.add(diagnostic.line,
                     diagnostic.kind == Diagnostic::Error ? "not XML: " + diagnostic.text : diagnostic.text);
    }
    refusals.add(foreign.getSaveLosses());
}

std::string shownByte(char byte) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", static_cast<unsigned char>(byte));
    return text;
}

// The declared character set must be one that rkxml converts, and the bytes of UTF-8 must be UTF-8.
void checkCharset(Original& original, Refusals& refusals) {
    const rkXMLHeader* header = original.document.getHeader();
    original.charset = charsetOf(original.document);
    if (original.charset == Charset::Other) {
        refusals.add(declarationLine(original.bytes), notConverted(header->getEncodingType()));
    } else if (original.charset == Charset::Ascii) {
        const auto high = std::find_if(original.bytes.begin(), original.bytes.end(),
                                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        if (high != original.bytes.end()) {
            const auto at = static_cast<std::size_t>(high - original.bytes.begin());
            refusals.add(lineAt(original.bytes, at), "byte " + shownByte(*high) + " is not US-ASCII, as declared");
        }
    } else if (original.charset == Charset::Utf8) {
        if (const std::optional<std::size_t> at = firstNonUtf8(original.bytes)) {
            const std::string why = header != nullptr && !header->getEncodingType().empty()
                                        ? ", as declared"
                                        : " (no encoding is declared); a file of the library's 8-bit mode needs --8bit";
            refusals.add(lineAt(original.bytes, *at),
                         "byte " + shownByte(original.bytes[*at]) + " is not part of a UTF-8 character" + why);
        }
    }
}

// Whether a splice keeps what the reader warns about: text that an element's later text replaced stays in the
// file as written (the element that set writes is checked for it by the splice itself).
bool keptBySplice(const Diagnostic& diagnostic) {
    const std::string replaced = "is replaced by a later text; only the last one is kept.";
    const std::string& text = diagnostic.text;
    return text.size() >= replaced.size() &&
           text.compare(text.size() - replaced.size(), replaced.size(), replaced) == 0;
}

// Reads the file and every reason to leave it alone; false after printing them. For `set`, a file that
// holds a top-level element is spliced: what a save of the tree would not write back stays as written then.
bool readOriginal(Original& original, bool forSet) {
    // One read serves both: the positions of a splice stand in the bytes read below, which a change to the file
    // in between would show in the splice's proof and in the save's check.
    original.stream.setPositionsRecorded(forSet);
    switch (readFile(original.stream, original.document, forSet)) {
        case ReadResult::Failed: return false;
        case ReadResult::Missing: return true;
        case ReadResult::Read: break;
    }
    original.exists = true;
    std::optional<std::string> bytes = bytesOf(original.fileName, original.stream.getReadLimit());
    if (!bytes) return false;
    original.bytes = std::move(*bytes);
    original.splices = forSet && original.document.getTopLevelElement() != nullptr;
    Refusals refusals(original.fileName);
    for (const Diagnostic& diagnostic : original.stream.getDiagnostics()) {
        if (!original.splices || !keptBySplice(diagnostic)) refusals.add(diagnostic.line, diagnostic.text);
    }
    // A splice keeps what a save would lose, but the positions of a read from UTF-16 are in its UTF-8 text, not in
    // the file: such a file is refused by its save loss.
    const bool fromUtf16 = original.stream.getTextForm() != rkXMLFStream::TextForm::Bytes;
    if (!original.splices || fromUtf16) refusals.add(original.stream.getSaveLosses());
    if (original.mode == Mode::Utf8) {
        if (!fromUtf16) checkCharset(original, refusals);
    } else if (!original.splices) {
        readAsXml(original, refusals);
    }
    return refusals.empty() || refusals.print();
}

// A new file, or a file that holds nothing, gets the standard declaration.
void giveHeaderIfEmpty(rkXMLDocument& document) {
    if (rkXMLFactory::asElement(document.getRoot())->empty()) document.setStandardHeader();
}

// Sets the value or attribute that `path` names to `value`, both in the file's set, making what is missing.
bool setValue(rkXMLDocument& document, const std::string& fileName, const Path& path, const std::string& value) {
    rkXMLElement* element = follow(document, fileName, path, true);
    if (element == nullptr) return false;
    if (path.attribute) {
        element->setAttribute(*path.attribute, value);
    } else {
        element->setValue(value);
    }
    return true;
}

// Carries the edit into the 8-bit mode's XML reading of the file, with the value that the written text
// gives other XML programs, so that the proof compares everything else.
void carryEdit(Original& original, const Path& path, const rkXMLDocument& back) {
    giveHeaderIfEmpty(original.asXml);
    const rkXMLElement* written = follow(back, original.fileName, path, false);
    std::string value;
    if (written != nullptr && path.attribute) written->getAttribute(*path.attribute, value);
    if (written != nullptr && !path.attribute) value = written->getValue();
    setValue(original.asXml, original.fileName, path, value);
}

// The edit's path and value in the file's character set (UTF-8 mode; the 8-bit mode takes bytes); false after
// saying what the set cannot hold.
bool inFileCharset(const Original& original, const Edit& edit, Path& path, std::string& value) {
    path = edit.path;
    value = edit.value;
    if (original.mode != Mode::Utf8) return true;
    std::string unheld;
    Converted converted = fromUtf8(edit.value, original.charset);
    if (!convertPath(path, original.charset, unheld) || !converted.unheld.empty()) {
        if (unheld.empty()) unheld = converted.unheld;
        return complain(shown(original.fileName) + ": " + nameOf(original.charset) + " cannot hold '" + shown(unheld) +
                        "'");
    }
    value = std::move(converted.text);
    return true;
}

bool applyEdit(Original& original, const Edit& edit, Path& path) {
    std::string value;
    if (!inFileCharset(original, edit, path, value)) return false;
    giveHeaderIfEmpty(original.document);
    return setValue(original.document, original.fileName, path, value);
}

bool withinBound(const Original& original, std::uint64_t size, std::uint64_t maxSize) {
    if (size <= maxSize) return true;
    return complain(shown(original.fileName) + ": refused: written back it would take at least " +
                    std::to_string(size) + " bytes, more than the bound of " + std::to_string(maxSize) +
                    " bytes (--max-size raises it)");
}

// The text to write, or false after printing why the writer refuses the tree.
bool render(Original& original, std::string& text) {
    try {
        original.stream.writeDocumentToString(original.document, text);
        return true;
    } catch (const std::runtime_error& error) {
        return complain(shown(original.fileName) + ": " + error.what());
    }
}

// Reads the written text back with `stream` into `back`; false when that raises anything at all.
bool readsBackCleanly(rkXMLFStream& stream, const std::string& text, rkXMLDocument& back, std::string& problem) {
    try {
        stream.readDocumentFromString(back, text);
    } catch (const std::runtime_error& error) {
        problem = error.what();
        return false;
    }
    const std::vector<Diagnostic>& found =
        stream.getDiagnostics().empty() ? stream.getSaveLosses() : stream.getDiagnostics();
    if (!found.empty()) problem = found.front().text;
    return found.empty();
}

// Says where the written text would differ from the file; false.
bool refuseDifference(const Original& original, const rkXMLDocument& tree, const Difference& difference,
                      const char* how) {
    const std::string text = describe(difference) + how;
    const std::optional<std::size_t> line =
        original.exists ? lineOf(original.bytes, tree, difference.node) : std::nullopt;
    if (!line) return complain(shown(original.fileName) + ": refused: " + text);
    printAtLine(original.fileName, *line, "refused", text);
    return false;
}

// The proof that `text` holds what the file held, but the edit.
bool provesLossless(Original& original, const std::string& text, const Path* edited) {
    rkXMLFStream asXml = streamFor(Mode::Utf8);
    rkXMLDocument back;
    std::string problem;
    if (!readsBackCleanly(asXml, text, back, problem)) {
        return complain(shown(original.fileName) + ": refused: the written text would not read back: " + problem);
    }
    if (original.mode == Mode::Utf8) {
        const Difference difference = firstDifference(original.document, back);
        return difference.kind == Difference::None || refuseDifference(original, original.document, difference, "");
    }
    rkXMLFStream eightBit = streamFor(Mode::EightBit);
    rkXMLDocument backInEightBit;
    if (!readsBackCleanly(eightBit, text, backInEightBit, problem)) {
        return complain(shown(original.fileName) + ": refused: the written text would not read back: " + problem);
    }
    Difference difference = firstDifference(original.document, backInEightBit);
    if (difference.kind != Difference::None) return refuseDifference(original, original.document, difference, "");
    if (!original.exists) return true;
    if (edited != nullptr) carryEdit(original, *edited, back);
    difference = firstDifference(original.asXml, back);
    return difference.kind == Difference::None ||
           refuseDifference(original, original.asXml, difference,
                            " for other XML programs once written in the library's 8-bit mode (for a UTF-8 file, "
                            "leave out --8bit)");
}

// The proof of a splice: `text`, read again in the command's mode, holds the file's tree with the one change.
bool provesSplice(const Original& original, const std::string& text) {
    rkXMLFStream stream = streamFor(original.mode);
    rkXMLDocument back;
    try {
        stream.readDocumentFromString(back, text);
    } catch (const std::runtime_error&) {
        // The diagnostics say where.
    }
    for (const Diagnostic& diagnostic : stream.getDiagnostics()) {
        if (diagnostic.kind == Diagnostic::Error || !keptBySplice(diagnostic)) {
            printAtLine(original.fileName, diagnostic.line, "refused",
                        "the spliced text would not read back: " + diagnostic.text);
            return false;
        }
    }
    const Difference difference = firstDifference(original.document, back);
    return difference.kind == Difference::None || refuseDifference(original, original.document, difference, "");
}

// The file's bytes with the edit's value in place, or false after saying why not.
bool splice(Original& original, const Edit& edit, std::string& text) {
    Path path;
    std::string value;
    if (!inFileCharset(original, edit, path, value)) return false;
    if (original.document.getTopLevelElement()->getName() != path.elements.front()) {
        follow(original.document, original.fileName, path, false);  // says which is there
        return false;
    }
    ByteEdit byteEdit;
    SpliceRefusal refusal;
    if (!planSplice({original.bytes, original.stream, original.document, original.mode}, path, value, byteEdit,
                    refusal)) {
        printAtLine(original.fileName, refusal.line, "refused", refusal.reason);
        return false;
    }
    text = applied(original.bytes, byteEdit);
    return provesSplice(original, text);
}

// The text of `format`, or of `set` on a new file or one without a top-level element: the tree laid out anew.
bool rendered(Original& original, const Rewrite& how, std::string& text) {
    Path edited;
    if (how.edit != nullptr && !applyEdit(original, *how.edit, edited)) return false;
    const std::uint64_t size = writtenSizeAtLeast(original.document, original.mode);
    if (!withinBound(original, size, how.maxSize) || !render(original, text)) return false;
    return provesLossless(original, text, how.edit != nullptr ? &edited : nullptr);
}

// Writes `text` to the file, unless the file changed since it was read.
bool save(Original& original, const std::string& text) {
    try {
        if (original.stream.writeTextToFileIfUnchanged(original.fileName, text)) return true;
        return complain(shown(original.fileName) + " changed while it was being edited");
    } catch (const std::runtime_error& error) {
        return complain(error.what());
    }
}

}  // namespace

Rewritten rewriteFile(const std::string& fileName, const Rewrite& how) {
    Original original(fileName, how.mode);
    original.stream.setReadLimit(how.maxSize);
    // Editors that lock the file wait from the read to the save; a change by others shows at the save.
    const rkXMLFStream::FileLock lock(original.document);
    if (!readOriginal(original, how.edit != nullptr)) return Rewritten::Failed;
    std::string text;
    const bool made = original.splices
                          ? splice(original, *how.edit, text) && withinBound(original, text.size(), how.maxSize)
                          : rendered(original, how, text);
    if (!made) return Rewritten::Failed;
    if (original.exists && text == original.bytes) return Rewritten::Unchanged;
    if (how.checkOnly) return Rewritten::WouldChange;
    return save(original, text) ? Rewritten::Written : Rewritten::Failed;
}

}  // namespace rkxml_cli
