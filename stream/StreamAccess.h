// Internal access to a stream's tables: the reader and the writer use them, tests
// check them and drive the symbol codec directly.
#ifndef RKXML_STREAM_STREAM_ACCESS_H
#define RKXML_STREAM_STREAM_ACCESS_H

#include <memory>
#include <string>

#include "platform/Platform.h"
#include "rkXMLFStream.h"
#include "stream/SymbolCodec.h"

namespace rkxml_detail {

// What a stream's last readDocument found: the file it was given and that file as read.
struct ReadVersion {
    std::string fileName;
    platform::FileVersion version;
};

struct StreamAccess {
    static const std::map<std::string, std::string>& symbols(const rkXMLFStream& stream) { return stream.symbols; }
    static const std::set<std::string, std::less<>>& openTags(const rkXMLFStream& stream) { return stream.openTags; }
    // Whether the stream is in UTF-8 mode: attribute values are coded too, character references decoded.
    static bool isUtf8(const rkXMLFStream& stream) { return stream.utf8; }
    // Whether the reader takes files from other programs (foreignXml).
    static bool isForeign(const rkXMLFStream& stream) { return stream.foreign; }
    static bool logsEnabled(const rkXMLFStream& stream) { return stream.logEnabled; }
    static std::uint64_t readLimit(const rkXMLFStream& stream) { return stream.readLimit; }
    // Notes what readDocument found of `fileName`.
    static void noteRead(rkXMLFStream& stream, const std::string& fileName, const platform::FileVersion& version) {
        stream.lastRead = std::make_shared<const ReadVersion>(ReadVersion{fileName, version});
    }
    // Forgets what the last readDocument found, as a new read starts.
    static void forgetRead(rkXMLFStream& stream) { stream.lastRead.reset(); }
    // What the last read of `fileName` found; a file not found if the last read was of another name, or none.
    static platform::FileVersion versionRead(const rkXMLFStream& stream, const std::string& fileName) {
        return stream.lastRead && stream.lastRead->fileName == fileName ? stream.lastRead->version
                                                                        : platform::FileVersion{};
    }
    // The table that the next read records positions into; null when the stream does not record them.
    static std::unordered_map<const rkXMLNode*, rkXMLFStream::SourcePosition>* recordedPositions(rkXMLFStream& stream) {
        return stream.positionsRecorded ? &stream.positions : nullptr;
    }
    // The diagnostics of the last read, which each read starts anew.
    static std::vector<rkXMLFStream::Diagnostic>& diagnostics(rkXMLFStream& stream) { return stream.diagnostics; }
    // What the last read of a file from another program took in that a save would not write back.
    static std::vector<rkXMLFStream::Diagnostic>& saveLosses(rkXMLFStream& stream) { return stream.saveLosses; }
    // What the last read of a file found of it.
    static rkXMLFStream::FileFound& fileFound(rkXMLFStream& stream) { return stream.fileFound; }
    // The form in which the text of the last read came.
    static rkXMLFStream::TextForm& textForm(rkXMLFStream& stream) { return stream.textForm; }
    // Whether the stream holds exactly the default table in 8-bit mode or the UTF-8 table in UTF-8 mode,
    // the two tables known to give every text back.
    static bool hasStandardTable(const rkXMLFStream& stream);

    // The writer's codec: character texts become entity texts.
    static SymbolCodec encoder(const rkXMLFStream& stream) {
        return SymbolCodec(stream.symbols, SymbolCodec::Direction::Encode);
    }
    // The reader's codec: entity texts, and in UTF-8 mode character references, become character texts.
    static SymbolCodec decoder(const rkXMLFStream& stream) {
        using References = SymbolCodec::References;
        return decoder(stream, stream.utf8 ? References::Utf8 : References::Kept);
    }
    // The reader's codec with character references made as `references` says.
    static SymbolCodec decoder(const rkXMLFStream& stream, SymbolCodec::References references) {
        return SymbolCodec(stream.symbols, SymbolCodec::Direction::Decode, references);
    }

    // `text` encoded as the writer encodes a value.
    static std::string encoded(const rkXMLFStream& stream, const std::string& text) {
        std::string out;
        encoder(stream).appendConverted(text, out);
        return out;
    }
    // `text` decoded as the reader decodes a value before trimming it.
    static std::string decoded(const rkXMLFStream& stream, const std::string& text) {
        std::string out;
        decoder(stream).appendConverted(text, out);
        return out;
    }
};

}  // namespace rkxml_detail

#endif
