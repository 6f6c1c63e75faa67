// The writer: a document tree as indented XML text, one node per line.
//
// One road for every target: the tree is walked once in document order, each
// part of a node checked as it is written, into an output that gathers the text
// in a buffer. For a string the buffer is the result; for a file it is handed to
// a replacement file in large pieces (to a pipe or device only when complete),
// and the target is replaced only when all of it was written. Any failure is
// logged and thrown from one place, and the temporary file goes with it.
#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "rkXMLHeader.h"
#include "rkXMLWalk.h"
#include "stream/Bytes.h"
#include "stream/CharacterSets.h"
#include "stream/DiagnosticLog.h"
#include "stream/Grammar.h"
#include "stream/OpenTagLookup.h"
#include "stream/ShownName.h"
#include "stream/StreamAccess.h"
#include "stream/SymbolCodec.h"
#include "stream/XmlText.h"
#include "tree/ElementCast.h"
#include "tree/NodeAccess.h"
#include "tree/WalkAccess.h"

namespace {

namespace grammar = rkxml_detail::grammar;
namespace xmltext = rkxml_detail::xmltext;
using rkxml_detail::ElementAccess;
using rkxml_detail::NodeAccess;
using rkxml_detail::OpenTagLookup;
using rkxml_detail::shown;
using rkxml_detail::StreamAccess;
using rkxml_detail::SymbolCodec;
using rkxml_detail::charsets::DeclaredSet;
using rkxml_detail::platform::FileReplacement;

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

// Whether the reader would give the value back at all: a value of blanks with at
// most one line feed, one carriage return and one tab among them is not written.
bool isWorthWriting(const std::string& value) {
    int lineFeeds = 0;
    int carriageReturns = 0;
    int tabs = 0;
    for (const char c : value) {
        switch (c) {
            case ' ': break;
            case '\n':
                if (++lineFeeds > 1) return true;
                break;
            case '\r':
                if (++carriageReturns > 1) return true;
                break;
            case '\t':
                if (++tabs > 1) return true;
                break;
            default: return true;
        }
    }
    return false;
}

// Whether `text` holds `byte`; a plain loop, as most attribute values are a few bytes long.
bool holds(std::string_view text, char byte) {
    for (const char c : text) {
        if (c == byte) return true;
    }
    return false;
}

// Whether `encoding` names a form of 16- or 32-bit units (UTF-16, UCS-2, UTF-32, ...): the writer writes bytes,
// which other XML programs would then read as pairs or quads of bytes.
bool namesWideUnits(const std::string& name) {
    const std::string encoding = rkxml_detail::charsets::encodingNameLowered(name);
    for (const std::string_view wide : {"utf-16", "utf16", "utf-32", "utf32", "ucs"}) {
        if (rkxml_detail::startsWith(encoding, wide)) return true;
    }
    return false;
}

// Whether the reader, given a header's name, makes a header equal to it: the name must be one
// declaration tag whose inner text decodes to the same version, encoding and declaration text.
bool readsBackAsHeader(const rkXMLHeader& header) {
    const std::string& name = header.getName();
    const std::size_t innerStart = grammar::declarationOpen.size();
    const std::size_t close = name.find(grammar::declarationClose, innerStart);  // where the reader ends it
    if (!rkxml_detail::startsWith(name, grammar::declarationOpen) || close == std::string::npos ||
        close + grammar::declarationClose.size() != name.size()) {
        return false;
    }
    rkXMLHeader read;
    read.decode(name.substr(innerStart, close - innerStart));
    return read.getName() == name && read.getVersion() == header.getVersion() &&
           read.getEncodingType() == header.getEncodingType();
}

// What the reader makes of a symbol table's encoded texts, for a table other than the default and
// the UTF-8 one (both give every text back, so they are spared this second pass over each value).
class ReadBackCheck {
public:
    ReadBackCheck(const SymbolCodec& encoder, const rkXMLFStream& stream)
        : encoder(encoder), decoder(StreamAccess::decoder(stream)) {}

    enum class ValueFault { none, startsTag, readsDifferently };

    // Whether the encoded value holds a "<", which would start a tag, or else whether the reader would not
    // give the value back, up to blanks, tabs and line feeds at its ends: it decodes the text between tags
    // and trims it (as the table's entity texts hold none of those bytes, the layout around the value does
    // not change what it decodes to).
    ValueFault valueFault(const std::string& value) {
        encode(value);
        if (holds(encoded, '<')) return ValueFault::startsTag;
        decoded.clear();
        decoder.appendConverted(grammar::trimmed(encoded), decoded);
        return grammar::trimmed(decoded) == grammar::trimmed(value) ? ValueFault::none : ValueFault::readsDifferently;
    }
    // Whether the reader gives an attribute value back exactly, as it decodes it in UTF-8 mode.
    bool attributeReadsBack(const std::string& value) {
        encode(value);
        decoded.clear();
        decoder.appendConverted(encoded, decoded);
        return decoded == value;
    }

private:
    void encode(const std::string& value) {
        encoded.clear();
        encoder.appendConverted(value, encoded);
    }

    const SymbolCodec& encoder;
    const SymbolCodec decoder;
    std::string encoded;
    std::string decoded;
};

// The text being written, gathered in a buffer. With a file, full buffers go to the
// file; without one, the buffer grows and is the result.
class Output {
public:
    Output(const std::string& fileName, FileReplacement* file) : fileName(fileName), file(file) {
        data.resize(firstSize);
    }

    // Puts the pieces one after the other. Most are a few bytes long and a tag is made
    // of several, so the room for all of them is checked once.
    template <class... Pieces>
    void put(const Pieces&... pieces) {
        if ((std::string_view(pieces).size() + ...) <= data.size() - used) {
            (append(pieces), ...);
        } else {
            (putAlone(pieces), ...);
        }
    }

    // Whether anything was written so far.
    bool isEmpty() const { return used == 0 && !handedOn; }

    // Hands the rest to the file and puts the file in place of its target; false, writing
    // nothing, where the target is not the one that the file expects.
    bool commit() {
        handOn(std::string_view(data.data(), used));
        switch (file->commit()) {
            case FileReplacement::Committed::Done: return true;
            case FileReplacement::Committed::Changed: return false;
            case FileReplacement::Committed::Failed: break;
        }
        failWriting();
    }

    // The whole text, for a string target.
    std::string takeText() {
        data.resize(used);
        return std::move(data);
    }

private:
    static constexpr std::size_t firstSize = 1 << 12;   // most documents are small, and it is zeroed when made
    static constexpr std::size_t handOnSize = 1 << 20;  // a file gets pieces of about this size

    void putAlone(std::string_view bytes) {
        if (bytes.size() > data.size() - used && passedStraightOn(bytes)) return;
        append(bytes);
    }

    // Copies `bytes` into the buffer, which has room for them.
    void append(std::string_view bytes) {
        rkxml_detail::copyBytes(&data[used], bytes.data(), bytes.size());
        used += bytes.size();
    }

    // Makes room for `bytes`, or hands the buffer and then `bytes` to the file (true).
    // A pipe or device gets nothing before every node was checked.
    bool passedStraightOn(std::string_view bytes) {
        const bool toFileNow = file != nullptr && !file->writesInPlace();
        if (toFileNow && (data.size() >= handOnSize || bytes.size() >= handOnSize)) {
            handOn(std::string_view(data.data(), used));
            if (bytes.size() <= data.size()) return false;
            handOn(bytes);
            return true;
        }
        data.resize(std::max(data.size() * 2, used + bytes.size()));
        return false;
    }

    void handOn(std::string_view bytes) {
        if (bytes.empty()) return;
        if (!file->write(bytes)) failWriting();
        used = 0;
        handedOn = true;
    }

    [[noreturn]] void failWriting() { fail("Error: writing '" + shown(fileName) + "' failed."); }

    const std::string& fileName;
    FileReplacement* file;
    std::string data;
    std::size_t used = 0;
    bool handedOn = false;
};

// What the stream's mode asks of the text besides reading back.
struct WritingMode {
    // UTF-8 mode: attribute values are encoded like element values, the names and characters are XML's, and no
    // tag goes without its end.
    bool isUtf8;
    bool hasOpenTags;        // the reader closes an open tag at the end of its start tag
    DeclaredSet characters;  // the set that the document's header declares, which its bytes are in
};

class NodeWriter {
public:
    NodeWriter(Output& out, const SymbolCodec& encoder, const WritingMode& mode, OpenTagLookup& openTags,
               ReadBackCheck* readBack)
        : out(out),
          encoder(encoder),
          codesAttributes(mode.isUtf8),
          writesXml(mode.isUtf8),
          hasOpenTags(mode.hasOpenTags),
          characters(mode.characters),
          encoderMayPutQuotes(encoder.mayPut('"')),
          openTags(openTags),
          readBack(readBack) {}

    // Writes the children of the hidden root at depth 0, each with its subtree.
    void writeTopLevel(const rkXMLElement& root) {
        for (rkXMLWalk walk(root); rkxml_detail::WalkAccess::next(walk);) {
            if (walk.isLeaving()) {
                writeEndTag(*walk.element(), walk.depth());
            } else if (!writeNodeStart(*walk.node(), walk.depth())) {
                walk.skipChildren();
            }
        }
    }

private:
    // Writes a node, or for an element with content its start tag and value;
    // true when the element's children and end tag are still to come.
    bool writeNodeStart(const rkXMLNode& node, unsigned depth) {
        switch (NodeAccess::type(node)) {
            case rkXMLNode::Header:
                refuseIfNotReadBack(static_cast<const rkXMLHeader&>(node), depth);
                writeIndent(depth);
                out.put(NodeAccess::name(node));
                break;
            case rkXMLNode::Comment:
                refuseIfNotReadBack(NodeAccess::name(node));
                writeIndent(depth);
                out.put(grammar::commentOpen, NodeAccess::name(node), grammar::commentClose);
                break;
            case rkXMLNode::Element: return writeStartTag(rkxml_detail::knownElement(node), depth);
            default: break;  // a node of no kind writes nothing, not even a line break
        }
        return false;
    }

    // Each part of a node is checked just before it is written: what would not read back as it is
    // fails the write, which leaves its target as it was, so the node's first parts do no harm.
    bool writeStartTag(const rkXMLElement& element, unsigned depth) {
        const std::string& name = NodeAccess::name(element);
        if (!grammar::readsBackAsElementName(name) || (writesXml && !xmltext::isXmlName(name, characters))) {
            fail("Error: element name '" + shown(name) + "' cannot be written.");
        }
        writeIndent(depth);
        out.put(grammar::tagOpen, name);
        for (const auto& [attribute, value] : ElementAccess::attributes(element)) {
            refuseIfNotReadBack(name, attribute, value);
            if (codesAttributes) {
                out.put(grammar::attributeSeparator, attribute, grammar::valueOpen);
                writeEncoded(value);
                out.put(grammar::valueClose);
            } else {
                out.put(grammar::attributeSeparator, attribute, grammar::valueOpen, value, grammar::valueClose);
            }
        }
        const std::string& value = ElementAccess::value(element);
        const bool isEmpty = element.empty() && value.empty();
        const bool isOpenTag = hasOpenTags && openTags.holds(name);
        // The reader closes an open tag right after its start tag: its content would end the file's reading.
        if (isOpenTag && !isEmpty) {
            fail("Error: open tag '" + shown(name) + "' cannot hold a value or children.");
        }
        if (isEmpty) {
            // "<br/>" reads back alike with open tags and without, and XML knows no tag without its end.
            out.put(isOpenTag && !writesXml ? grammar::tagClose : grammar::emptyTagClose);
            return false;
        }
        out.put(grammar::tagClose);
        writeValue(name, value, depth + 1, isInline(element));
        return true;
    }

    // Refuses a header that would not read back as it is: the reader makes the first declaration of a
    // text the header at the top level, whatever holds it, and skips later ones.
    void refuseIfNotReadBack(const rkXMLHeader& header, unsigned depth) {
        if (depth != 0) fail("Error: header inside an element cannot be written.");
        if (headerWritten) fail("Error: a second header cannot be written.");
        // XML has the declaration first, only for versions 1.x, and naming the form its bytes are in.
        if (writesXml && !out.isEmpty()) fail("Error: header after other nodes cannot be written.");
        const bool notXml =
            !rkxml_detail::startsWith(header.getVersion(), "1.") || namesWideUnits(header.getEncodingType());
        if (!readsBackAsHeader(header) || (writesXml && notXml)) {
            fail("Error: header '" + shown(header.getName()) + "' cannot be written.");
        }
        headerWritten = true;
    }

    // Refuses an attribute that would not read back as it is.
    void refuseIfNotReadBack(const std::string& element, const std::string& attribute, const std::string& value) {
        if (!isQuoteFreeWhenWritten(value)) {
            fail("Error: attribute '" + shown(attribute) + "' of element '" + shown(element) +
                 "' holds a double quote.");
        }
        if (codesAttributes && readBack != nullptr && !readBack->attributeReadsBack(value)) {
            fail("Error: attribute '" + shown(attribute) + "' of element '" + shown(element) +
                 "' does not read back with this symbol table.");
        }
        if (!grammar::readsBackAsAttributeName(attribute) ||
            (writesXml && !xmltext::isXmlName(attribute, characters))) {
            fail("Error: attribute name '" + shown(attribute) + "' of element '" + shown(element) +
                 "' cannot be written.");
        }
        if (writesXml && !xmltext::holdsOnlyXmlCharacters(value, characters)) {
            fail("Error: attribute '" + shown(attribute) + "' of element '" + shown(element) +
                 "' holds a character that XML does not allow.");
        }
    }

    // Refuses a comment that would end early or, in XML, is not one.
    void refuseIfNotReadBack(const std::string& comment) {
        if (comment.find(grammar::commentClose) != std::string::npos) fail("Error: comment holds '-->'.");
        if (!writesXml) return;
        if (comment.find("--") != std::string::npos || (!comment.empty() && comment.back() == '-')) {
            fail("Error: comment holds '--' or ends in '-'.");
        }
        if (!xmltext::holdsOnlyXmlCharacters(comment, characters)) {
            fail("Error: comment holds a character that XML does not allow.");
        }
    }

    // Whether an attribute value is written without a double quote, which would end it early.
    bool isQuoteFreeWhenWritten(const std::string& value) const {
        if (!codesAttributes) return !holds(value, '"');
        if (!encoderMayPutQuotes) return true;  // every quote becomes an entity, none is put in
        bool quoted = false;
        encoder.convertTo(value, [&quoted](std::string_view before, std::string_view by) {
            quoted = quoted || holds(before, '"') || holds(by, '"');
        });
        return !quoted;
    }

    // An element with at most one child keeps its value and end tag on the lines of its start tag and child.
    static bool isInline(const rkXMLElement& element) { return element.size() <= 1; }

    void writeEndTag(const rkXMLElement& element, unsigned depth) {
        if (!isInline(element)) writeIndent(depth);
        out.put(grammar::endTagOpen, NodeAccess::name(element), grammar::tagClose);
    }

    void writeValue(const std::string& element, const std::string& value, unsigned depth, bool inlined) {
        if (!isWorthWriting(value)) return;
        if (readBack != nullptr) refuseIfNotReadBack(element, value);
        if (writesXml && !xmltext::holdsOnlyXmlCharacters(value, characters)) {
            fail("Error: value of element '" + shown(element) + "' holds a character that XML does not allow.");
        }
        if (!inlined) writeIndent(depth);
        writeEncoded(value);
    }

    // Refuses an element value that the symbol table would not give back.
    void refuseIfNotReadBack(const std::string& element, const std::string& value) {
        switch (readBack->valueFault(value)) {
            case ReadBackCheck::ValueFault::startsTag:
                fail("Error: value of element '" + shown(element) + "' holds '<' once encoded.");
            case ReadBackCheck::ValueFault::readsDifferently:
                fail("Error: value of element '" + shown(element) + "' does not read back with this symbol table.");
            case ReadBackCheck::ValueFault::none: break;
        }
    }

    void writeEncoded(std::string_view text) {
        encoder.convertTo(text, [this](std::string_view before, std::string_view by) { out.put(before, by); });
    }

    // A line break unless nothing was written yet, then `count` blanks.
    void writeIndent(unsigned count) {
        std::string_view lineBreak = out.isEmpty() ? std::string_view() : grammar::lineBreak;
        for (; count > grammar::blanks.size(); count -= static_cast<unsigned>(grammar::blanks.size())) {
            out.put(lineBreak, grammar::blanks);
            lineBreak = {};
        }
        out.put(lineBreak, grammar::blanks.substr(0, count));
    }

    Output& out;
    const SymbolCodec& encoder;
    const bool codesAttributes;  // attribute values are encoded like element values
    const bool writesXml;        // names and characters are XML's, and no tag goes without its end
    const bool hasOpenTags;
    const DeclaredSet characters;
    const bool encoderMayPutQuotes;  // an encoded text may hold a double quote
    OpenTagLookup& openTags;
    ReadBackCheck* const readBack;  // null for the default and the UTF-8 table
    bool headerWritten = false;
};

// The hidden root, once it is known to be one that can be written.
const rkXMLElement& writableRoot(const rkXMLDocument& document) {
    const rkXMLNode* root = document.getRoot();
    if (root->getElementType() != rkXMLNode::Element) fail("Error: tree root is not an Element.");
    if (root->getName() != rkXMLDocument::getRootTagName()) {
        fail("Error: tree root is not named ?root?");
    }
    return rkxml_detail::knownElement(*root);
}

// Refuses a symbol table whose entity texts the reader could find in the layout: the line breaks and
// indentation around values and between nodes would then read as text.
void refuseUnreadableTable(const rkXMLFStream& stream) {
    for (const auto& [entity, character] : StreamAccess::symbols(stream)) {
        if (grammar::holdsTrimByte(entity)) {
            fail("Error: entity '" + shown(entity) + "' of the symbol table holds a blank, tab or line feed.");
        }
    }
}

// The character set that the first header at the top level declares: what the document's bytes are in.
DeclaredSet declaredCharacters(const rkXMLElement& root) {
    for (const rkXMLNode* node : root) {
        if (node != nullptr && NodeAccess::type(*node) == rkXMLNode::Header) {
            return rkxml_detail::charsets::declaredSet(static_cast<const rkXMLHeader&>(*node).getEncodingType());
        }
    }
    return DeclaredSet::Unicode;
}

void writeTree(const rkXMLFStream& stream, const rkXMLElement& root, Output& out) {
    const SymbolCodec encoder = StreamAccess::encoder(stream);
    OpenTagLookup openTags(StreamAccess::openTags(stream));
    std::optional<ReadBackCheck> readBack;
    if (!StreamAccess::hasStandardTable(stream)) {
        refuseUnreadableTable(stream);
        readBack.emplace(encoder, stream);
    }
    const WritingMode mode{StreamAccess::isUtf8(stream), !StreamAccess::isForeign(stream), declaredCharacters(root)};
    NodeWriter(out, encoder, mode, openTags, readBack ? &*readBack : nullptr).writeTopLevel(root);
}

// Every failure of a write is logged here, on its way out of writeDocument or writeDocumentToString,
// where the stream logs.
void logFailure(const rkXMLFStream& stream, const rkXMLDocument& document, const std::runtime_error& error) {
    if (rkxml_detail::StreamAccess::logsEnabled(stream)) rkxml_detail::writeLog(document.getFileName(), error.what());
}

// Writes the document to its file; false, writing nothing, where the file is not `expected`.
bool writeFile(const rkXMLFStream& stream, const rkXMLDocument& document,
               const std::optional<rkxml_detail::platform::FileVersion>& expected) try {
    const rkXMLElement& root = writableRoot(document);
    const std::string& fileName = document.getFileName();
    FileReplacement file(fileName);
    if (!file.open()) fail("Error: cannot open '" + shown(fileName) + "' for writing.");
    if (expected) file.expect(*expected);
    Output out(fileName, &file);
    writeTree(stream, root, out);
    return out.commit();
} catch (const std::runtime_error& error) {
    logFailure(stream, document, error);
    throw;
}

// Writes `text` to the file `fileName`; false, writing nothing, where the file is not `expected`.
bool writeText(const rkXMLFStream& stream, const std::string& fileName, const std::string& text,
               const std::optional<rkxml_detail::platform::FileVersion>& expected) try {
    FileReplacement file(fileName);
    if (!file.open()) fail("Error: cannot open '" + shown(fileName) + "' for writing.");
    if (expected) file.expect(*expected);
    Output out(fileName, &file);
    out.put(std::string_view(text));
    return out.commit();
} catch (const std::runtime_error& error) {
    if (rkxml_detail::StreamAccess::logsEnabled(stream)) rkxml_detail::writeLog(fileName, error.what());
    throw;
}

// How many bytes the writer makes at least of each byte of a coded text: its entity's length where the table
// replaces it alone, 0 where it belongs to a longer character text that a shorter entity may replace, else 1.
std::array<std::uint64_t, 256> codedLengths(const rkXMLFStream& stream) {
    std::array<std::uint64_t, 256> lengths;
    lengths.fill(1);
    std::array<bool, 256> replaced{};
    for (const auto& [entity, character] : StreamAccess::symbols(stream)) {
        if (character.size() == 1) {
            const auto byte = static_cast<unsigned char>(character[0]);
            lengths[byte] = replaced[byte] ? std::min<std::uint64_t>(lengths[byte], entity.size()) : entity.size();
            replaced[byte] = true;
        }
    }
    for (const auto& [entity, character] : StreamAccess::symbols(stream)) {
        if (character.size() > 1 && entity.size() < character.size()) {
            for (const char c : character) lengths[static_cast<unsigned char>(c)] = 0;
        }
    }
    return lengths;
}

std::uint64_t codedSize(const std::string& text, const std::array<std::uint64_t, 256>& lengths) {
    std::uint64_t size = 0;
    for (const char c : text) size += lengths[static_cast<unsigned char>(c)];
    return size;
}

}  // namespace

std::uint64_t rkXMLFStream::writtenSizeAtLeast(const rkXMLDocument& document) const {
    constexpr std::uint64_t tagMarks = 5;        // "<", ">", "</", ">" around a name given twice
    constexpr std::uint64_t emptyTagMarks = 2;   // "<", ">" of an open tag ("/>" of others is one more)
    constexpr std::uint64_t commentMarks = 7;    // "<!--", "-->"
    constexpr std::uint64_t attributeMarks = 4;  // a blank, "=\"", "\""
    const std::array<std::uint64_t, 256> values = codedLengths(*this);
    std::array<std::uint64_t, 256> attributes;
    if (utf8) {
        attributes = values;
    } else {
        attributes.fill(1);
    }
    const rkXMLElement* root = rkxml_detail::elementOrNull(document.getRoot());
    if (root == nullptr) return 0;
    std::uint64_t size = 0;
    for (rkXMLWalk walk(*root); walk.next();) {
        if (walk.isLeaving()) continue;
        size += walk.depth() + (size == 0 ? 0 : 1);  // the indentation, and a line break before all but the first
        const rkXMLElement* element = walk.element();
        if (element == nullptr) {
            const rkXMLNode& node = *walk.node();
            size += node.getName().size() + (node.getElementType() == rkXMLNode::Comment ? commentMarks : 0);
            continue;
        }
        const std::string& value = element->getValue();
        const bool written = value.find_first_not_of(" \t\n\r") != std::string::npos;  // blanks alone may not be
        if (element->empty() && !written) {
            size += element->getName().size() + emptyTagMarks;
        } else {
            size += 2 * element->getName().size() + tagMarks + (written ? codedSize(value, values) : 0);
        }
        for (const auto& [name, text] : element->getAttributes()) {
            size += name.size() + codedSize(text, attributes) + attributeMarks;
        }
    }
    return size;
}

void rkXMLFStream::writeDocument(const rkXMLDocument& document) { writeFile(*this, document, std::nullopt); }

bool rkXMLFStream::writeDocumentIfUnchanged(const rkXMLDocument& document) {
    return writeFile(*this, document, StreamAccess::versionRead(*this, document.getFileName()));
}

void rkXMLFStream::writeDocumentToString(const rkXMLDocument& document, std::string& text) try {
    const rkXMLElement& root = writableRoot(document);
    Output out(document.getFileName(), nullptr);
    writeTree(*this, root, out);
    text = out.takeText();
} catch (const std::runtime_error& error) {
    logFailure(*this, document, error);
    throw;
}

void rkXMLFStream::writeTextToFile(const std::string& fileName, const std::string& text) {
    writeText(*this, fileName, text, std::nullopt);
}

bool rkXMLFStream::writeTextToFileIfUnchanged(const std::string& fileName, const std::string& text) {
    return writeText(*this, fileName, text, StreamAccess::versionRead(*this, fileName));
}
