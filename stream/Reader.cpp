// The reader's entry: the mode of the stream chooses the scan once per read, and a
// read that runs out of memory takes back what it appended.
#include <new>
#include <string>
#include <string_view>

#include "rkXMLDocument.h"
#include "rkXMLFStream.h"
#include "stream/ReadUndo.h"
#include "stream/Reader.h"
#include "stream/StreamAccess.h"
#include "stream/SymbolCodec.h"

void rkxml_detail::readText(rkXMLFStream& stream, rkXMLDocument& document, std::string_view text) {
    const SymbolCodec decoder = StreamAccess::decoder(stream);
    ReadUndo undo(document);
    StreamAccess::textForm(stream) = rkXMLFStream::TextForm::Bytes;
    try {
        if (StreamAccess::isForeign(stream)) {
            readForeign(stream, document, text, decoder);
        } else {
            readDefault(stream, document, text, decoder);
        }
    } catch (const std::bad_alloc&) {
        undo.undo();  // no half-built tree
        throw;
    }
}

void rkXMLFStream::readDocumentFromString(rkXMLDocument& document, const std::string& text) {
    rkxml_detail::readText(*this, document, text);
}

void rkXMLFStream::readDocumentFromString(rkXMLDocument& document, std::string& text) {
    readDocumentFromString(document, static_cast<const std::string&>(text));
}
