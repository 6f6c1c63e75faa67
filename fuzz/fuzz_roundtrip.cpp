// Parsed text, written and read back, gives the same tree.
//
// Property, with the default tables, again with the UTF-8 tables
// (utf8Symbols), and again in the mode for files from other programs
// (foreignXml), whose written files are read back in UTF-8 mode without open
// tags (which keeps white space as written, where that mode reads it as XML
// parsers do). Let T be the tree that a byte string gives when it is read
// without error into a fresh document with the stream. Writing T to a file
// then either
//  (a) is refused, because T holds an element name or an attribute name that
//      the reader would take apart differently, with "Error: element name '"
//      ... "' cannot be written." or "Error: attribute name '" ... "' of
//      element '" ... "' cannot be written.", and the file keeps its earlier
//      bytes (the writer's two other refusals, a double quote in an attribute
//      value and "-->" in a comment, cannot arise from read text and break the
//      property: the 8-bit reader never decodes a quote into an attribute
//      value, and UTF-8 mode writes it as an entity; nor can the header's
//      place and text in the 8-bit mode, as the reader makes one header, at
//      the top level, its text rebuilt from version and encoding, nor the
//      value checks, which only tables other than these two get). UTF-8 mode
//      and the mode for files from other programs also refuse names that are
//      no XML names with the same messages, and what else is not XML:
//      "Error: value of element '" (or "attribute '", or "comment") ... "
//      holds a character that XML does not allow.", "Error: comment holds
//      '--' or ends in '-'.", "Error: header after other nodes cannot be
//      written." and "Error: header '" ... "' cannot be written." (version
//      2.0); or
//  (b) succeeds, and reading the file into a fresh document succeeds without
//      a single warning (the library's own files never drop text) and gives
//      a tree equal to T: the same kinds, names, header version and encoding,
//      attributes, and child order at every level, with every parent link
//      naming the holder; element values equal, except a value that the
//      writer's value test leaves out (blanks with at most one line feed, one
//      carriage return and one tab among them), which comes back empty. The
//      hidden root's own value (text outside every element) is not written and
//      not compared. When no value was left out, writing the tree read back
//      gives the same bytes again. In UTF-8 mode and the mode for files from
//      other programs, libxml2 also reads the file as well-formed XML (see
//      XmlCheck.h).
// Any other outcome aborts.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "FuzzSupport.h"
#include "XmlCheck.h"
#include "rkXMLFStream.h"

namespace {

bool startsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A message that quotes a name with a zero byte ends there, as what() is a C string.
bool isNameRefusal(const std::string& message, bool mayBeCut) {
    const std::string end = "' cannot be written.";
    if (!endsWith(message, end) && !mayBeCut) return false;
    if (startsWith(message, "Error: element name '")) return true;
    return startsWith(message, "Error: attribute name '") &&
           (mayBeCut || message.find("' of element '") != std::string::npos);
}

// What else UTF-8 mode refuses as no XML.
bool isXmlRefusal(const std::string& message) {
    return endsWith(message, " holds a character that XML does not allow.") ||
           message == "Error: comment holds '--' or ends in '-'." ||
           message == "Error: header after other nodes cannot be written." ||
           (startsWith(message, "Error: header '") && endsWith(message, "' cannot be written."));
}

// UTF-8 mode without open tags: what the mode for files from other programs writes, read back as written.
rkXMLFStream& withoutOpenTags() {
    static rkXMLFStream stream;
    static const bool switched = (stream.clearSymbols(), stream.utf8Symbols(), true);
    (void)switched;
    return stream;
}

// The property for one stream that reads the input and writes it, and one that reads the written file back.
void checkRoundTrip(rkXMLFStream& stream, rkXMLFStream& backStream, const std::string& input) {
    static const std::string firstFile = fuzz::scratchDirectory() + "/written.xml";
    static const std::string secondFile = fuzz::scratchDirectory() + "/rewritten.xml";
    const bool writesXml = stream.isForeignXml() || &stream == &fuzz::utf8Stream();

    rkXMLDocument original;
    original.setFileName(firstFile);
    std::string text = input;
    try {
        stream.readDocumentFromString(original, text);
    } catch (const std::runtime_error&) {
        return;  // not a tree; the reader's own target covers this
    }

    const std::string earlier = fuzz::fileContent(firstFile);
    try {
        stream.writeDocument(original);
    } catch (const std::runtime_error& error) {
        if (!isNameRefusal(error.what(), input.find('\0') != std::string::npos) &&
            !(writesXml && isXmlRefusal(error.what())))
            fuzz::fail("only name refusals", fuzz::printable(error.what()) + " for " + fuzz::printable(input));
        if (fuzz::fileContent(firstFile) != earlier)
            fuzz::fail("a refused write leaves the file", fuzz::printable(input));
        return;
    }
    const std::string written = fuzz::fileContent(firstFile);
    if (writesXml) {
        const std::string why = fuzz::whyNotXml(written, original);
        if (!why.empty()) {
            fuzz::fail("UTF-8 mode writes XML",
                       why + "\ninput " + fuzz::printable(input) + "\nwritten " + fuzz::printable(written));
        }
    }

    rkXMLDocument reread;
    reread.setFileName(firstFile);
    try {
        backStream.readDocument(reread);
    } catch (const std::exception& error) {
        fuzz::fail("written text reads back", std::string(error.what()) + "\ninput " + fuzz::printable(input) +
                                                  "\nwritten " + fuzz::printable(written));
    }
    if (!backStream.getDiagnostics().empty()) {
        fuzz::fail("written text reads back without a warning", backStream.getDiagnostics().front().text + "\ninput " +
                                                                    fuzz::printable(input) + "\nwritten " +
                                                                    fuzz::printable(written));
    }
    bool valueLeftOut = false;
    const std::string difference = fuzz::treeDifference(original, reread, [&](const std::string& value) {
        const bool kept = fuzz::isWritten(value);
        if (!kept && !value.empty()) valueLeftOut = true;
        return kept;
    });
    if (!difference.empty()) {
        fuzz::fail("same tree after writing and reading",
                   difference + "\ninput " + fuzz::printable(input) + "\nwritten " + fuzz::printable(written));
    }

    if (valueLeftOut) return;  // an empty value is written in the shorter form
    reread.setFileName(secondFile);
    stream.writeDocument(reread);
    if (fuzz::fileContent(secondFile) != written) {
        fuzz::fail("writing again gives the same bytes", "input " + fuzz::printable(input) + "\nwritten " +
                                                             fuzz::printable(written) + "\nagain " +
                                                             fuzz::printable(fuzz::fileContent(secondFile)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static rkXMLFStream defaultStream;
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkRoundTrip(defaultStream, defaultStream, input);
    checkRoundTrip(fuzz::utf8Stream(), fuzz::utf8Stream(), input);
    checkRoundTrip(fuzz::foreignStream(), withoutOpenTags(), input);
    return 0;
}
