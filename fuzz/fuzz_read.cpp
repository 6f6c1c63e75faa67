// Any bytes into the reader.
//
// Property, for every byte string, read once into a fresh document with the
// default tables, once into a document that already holds a tree, with a
// stream that has extra symbols and open tags, and once into a fresh document
// in the mode for files from other programs (foreignXml):
//  - the call returns, or throws std::runtime_error (a parse error) or
//    std::bad_alloc, after which the document holds what it held before; any
//    other exception breaks the property;
//  - the text is not changed;
//  - after a parse error the document holds exactly a fresh hidden root (named
//    "?root?", its own parent, no children, no value, no attributes), its file
//    name is kept, and the message is diagnostic lines ending in an error line;
//  - after success the nodes the document held before are still the first
//    top-level nodes, in their order;
//  - the stream's symbol table and open tags are the same before and after;
//  - the stream's diagnostics are the message as data: after a parse error
//    warnings and a last error whose lines, joined, are the message; after
//    success warnings only.
// Memory errors, undefined behaviour, leaks and hangs are caught by the
// sanitizers and the fuzzer itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "FuzzSupport.h"
#include "rkXMLFStream.h"
#include "rkXMLFactory.h"
#include "stream/StreamAccess.h"

namespace {

using rkxml_detail::StreamAccess;

struct Snapshot {
    std::map<std::string, std::string> symbols;
    std::set<std::string, std::less<>> openTags;
};

Snapshot snapshotOf(const rkXMLFStream& stream) {
    return {StreamAccess::symbols(stream), StreamAccess::openTags(stream)};
}

rkXMLFStream& defaultStream() {
    static rkXMLFStream stream;
    return stream;
}

// Extra entities, one of them a prefix of default ones, and extra open tags.
rkXMLFStream& extendedStream() {
    static rkXMLFStream stream;
    static const bool extended = [] {
        stream.addSymbol("&#60;", "<");
        stream.addSymbol("&a", "A");
        stream.addSymbol("x", "yy");
        stream.addOpenTag("hr");
        stream.addOpenTag("IMG");
        return true;
    }();
    (void)extended;
    return stream;
}

// A document with a header, a comment and an element with an attribute and a child.
void fillWithTree(rkXMLDocument& document) {
    document.setStandardHeader();
    rkXMLNode* root = document.getRoot();
    rkXMLFactory::setComment(root, " kept ", rkXMLElement::npos);
    auto* top = static_cast<rkXMLElement*>(rkXMLFactory::setElement(root, "config", true, rkXMLElement::npos));
    top->setAttribute("mode", "fast");
    rkXMLFactory::setElement(top, "name", true, rkXMLElement::npos);
}

std::vector<const rkXMLNode*> topLevelOf(const rkXMLDocument& document) {
    const auto& root = static_cast<const rkXMLElement&>(*document.getRoot());
    return {root.begin(), root.end()};
}

// The diagnostics as the message writes them.
std::string diagnosticsText(const rkXMLFStream& stream) {
    std::string text;
    for (const auto& diagnostic : stream.getDiagnostics()) {
        text += diagnostic.kind == rkXMLFStream::Diagnostic::Warning ? "Warning at line " : "Error at line ";
        text += std::to_string(diagnostic.line) + ": " + diagnostic.text + "\n";
    }
    return text;
}

// Whether every diagnostic but the last (when `endsWithError`) is a warning, and the last is an error then.
bool diagnosticKindsFit(const rkXMLFStream& stream, bool endsWithError) {
    const auto& list = stream.getDiagnostics();
    if (endsWithError && (list.empty() || list.back().kind != rkXMLFStream::Diagnostic::Error)) return false;
    const std::size_t warnings = endsWithError ? list.size() - 1 : list.size();
    for (std::size_t i = 0; i < warnings; ++i) {
        if (list[i].kind != rkXMLFStream::Diagnostic::Warning) return false;
    }
    return true;
}

bool endsWithErrorLine(const std::string& message) {
    if (message.empty() || message.back() != '\n') return false;
    const std::size_t lineStart = message.rfind('\n', message.size() - 2);
    const std::size_t start = lineStart == std::string::npos ? 0 : lineStart + 1;
    return message.compare(start, 14, "Error at line ") == 0;
}

void readAndCheck(rkXMLFStream& stream, rkXMLDocument& document, const std::string& input) {
    const Snapshot tables = snapshotOf(stream);
    const std::string fileName = document.getFileName();
    const std::vector<const rkXMLNode*> before = topLevelOf(document);
    std::string text = input;
    try {
        stream.readDocumentFromString(document, text);
        const std::vector<const rkXMLNode*> after = topLevelOf(document);
        if (after.size() < before.size() || !std::equal(before.begin(), before.end(), after.begin())) {
            fuzz::fail("earlier nodes stay first", "input " + fuzz::printable(input));
        }
        if (!diagnosticKindsFit(stream, false)) fuzz::fail("only warnings after success", fuzz::printable(input));
    } catch (const std::bad_alloc&) {
        // Allowed: what the read appended is taken back.
        if (topLevelOf(document) != before)
            fuzz::fail("a failed allocation changes nothing", "input " + fuzz::printable(input));
    } catch (const std::runtime_error& error) {
        if (typeid(error) != typeid(std::runtime_error)) {
            fuzz::fail("only parse errors",
                       std::string("a ") + typeid(error).name() + " for " + fuzz::printable(input));
        }
        const std::string whyNot = fuzz::whyNotFresh(document);
        if (!whyNot.empty()) fuzz::fail("emptied after an error", whyNot + "; input " + fuzz::printable(input));
        if (document.getFileName() != fileName) fuzz::fail("file name kept", fuzz::printable(input));
        if (!endsWithErrorLine(error.what())) {
            fuzz::fail("error message form", fuzz::printable(error.what()) + " for " + fuzz::printable(input));
        }
        if (!diagnosticKindsFit(stream, true) || diagnosticsText(stream) != error.what()) {
            fuzz::fail("diagnostics are the message", fuzz::printable(error.what()) + " for " + fuzz::printable(input));
        }
    } catch (const std::exception& error) {
        fuzz::fail("only parse errors",
                   std::string(typeid(error).name()) + ": " + error.what() + " for " + fuzz::printable(input));
    }
    if (text != input) fuzz::fail("text unchanged", fuzz::printable(input));
    const Snapshot tablesAfter = snapshotOf(stream);
    if (tablesAfter.symbols != tables.symbols || tablesAfter.openTags != tables.openTags) {
        fuzz::fail("tables unchanged", fuzz::printable(input));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    rkXMLDocument fresh;
    readAndCheck(defaultStream(), fresh, input);

    static const std::string namedFile = fuzz::scratchDirectory() + "/held.xml";
    rkXMLDocument holding;
    holding.setFileName(namedFile);
    fillWithTree(holding);
    readAndCheck(extendedStream(), holding, input);

    rkXMLDocument foreign;
    readAndCheck(fuzz::foreignStream(), foreign, input);
    return 0;
}
