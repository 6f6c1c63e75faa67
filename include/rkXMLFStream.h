#ifndef RKXML_FSTREAM_H
#define RKXML_FSTREAM_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "rkXMLDocument.h"
#include "rkXMLExport.h"

namespace rkxml_detail {
struct StreamAccess;
struct ReadVersion;
namespace platform {
class FileLock;
}
}  // namespace rkxml_detail

/// Reads documents from files or strings and writes them to files.
///
/// The stream holds two tables that every read and write consults: the symbol
/// table (entity text -> character text, e.g. "&lt;" -> "<") applied to element
/// values, and the open tags (elements without end tag, by default "br").
/// It holds no document or file between calls.
///
/// Text is 8-bit by default: the table also maps eight Windows-1252 bytes to
/// character references. For UTF-8 files that other XML tools read, call
/// utf8Symbols(): the table becomes XML's five entities, attribute values are
/// encoded and decoded too, and the reader decodes every character reference
/// ("&#233;", "&#xE9;") to UTF-8; defaultSymbols() switches back. For XML files
/// that other programs wrote (a DOCTYPE, processing instructions, CDATA sections,
/// attribute values in single quotes), call foreignXml() before reading.
///
/// Each read keeps its warnings and its error as data (getDiagnostics()); they
/// also go to a log file beside the document unless setLogEnabled(false).
///
/// Usage:
///
///     rkXMLDocument doc;
///     doc.setFileName("settings.xml");
///     rkXMLFStream stream;
///     try {
///         stream.readDocument(doc);       // appends what the file holds
///         ...edit the tree...
///         stream.writeDocument(doc);      // replaces the file safely
///     } catch (const std::runtime_error& e) {
///         // e.what(): "Error at line 3: Closing tag differs from open tag.\n", ...
///     }
///     for (const auto& d : stream.getDiagnostics())  // also after a read that succeeded
///         std::cerr << d.format("settings.xml") << '\n';  // settings.xml:4: error: Closing tag differs ...
class RKXML_API rkXMLFStream {
public:
    /// One warning or error of a read: its kind, its line (counted from 0, as in the message) and its text.
    struct RKXML_API Diagnostic {
        /// A warning (the read went on) or an error (the read stopped and threw).
        enum Kind {
            Warning,  ///< the read went on; the message began with "Warning at line "
            Error     ///< the read stopped; the message began with "Error at line "
        };
        Kind kind;         ///< Warning or Error
        std::size_t line;  ///< 0-based; an editor shows line + 1
        std::string text;  ///< the message without prefix, line and ": ", e.g. "Closing tag differs from open tag."

        /// The line as an editor shows it, counted from 1: line + 1.
        std::size_t editorLine() const;
        /// The diagnostic as compilers print it, `FILE:LINE: error: TEXT` (or `warning`) with the editor's line and
        /// no line end, e.g. `settings.xml:5: error: Tag unclosed.`; the name shows bytes below 32 and 127 as `\xHH`.
        std::string format(const std::string& fileName) const;
    };

    /// The text a stream reads and writes, for the constructor.
    enum class Text {
        EightBit,   ///< the thirteen default symbols, as the default constructor sets them
        Utf8,       ///< UTF-8 mode, as utf8Symbols() sets it
        ForeignXml  ///< the mode for files from other programs, as foreignXml() sets it
    };
    /// Whether a stream writes its messages to the log file, for the constructor.
    enum class Log {
        File,  ///< to the log file, as by default
        None   ///< to no file, as setLogEnabled(false) sets it
    };

    /// An advisory lock on a document's file (flock on POSIX, LockFileEx on Windows), held while the object lives:
    /// other processes that lock the file (rkxml set and format do) wait until it is released. Hold it from a read
    /// to the save that follows, so that no other editor's change falls between them. It binds only those who
    /// lock; writeDocumentIfUnchanged() notices the others.
    class RKXML_API FileLock {
    public:
        /// Locks the file that `document` names, waiting while another process holds the lock. A missing file, or
        /// one that is no regular file or lies where the system takes no locks, is not locked (isHeld() false).
        explicit FileLock(const rkXMLDocument& document);
        /// Releases the lock.
        ~FileLock();
        /// Not copyable: one object, one lock.
        FileLock(const FileLock&) = delete;
        /// Not copyable: one object, one lock.
        FileLock& operator=(const FileLock&) = delete;
        /// Whether the file is locked, by this object or already by another FileLock of this process.
        bool isHeld() const;

    private:
        std::unique_ptr<rkxml_detail::platform::FileLock> lock;
    };

    /// The form in which the text of a read came, as the mode for files from other programs tells it.
    enum class TextForm {
        Bytes,              ///< read as it stands: UTF-8 or an 8-bit character set
        Utf16LittleEndian,  ///< UTF-16 with the byte order mark FF FE, read as its UTF-8 text
        Utf16BigEndian      ///< UTF-16 with the byte order mark FE FF, read as its UTF-8 text
    };

    /// Bytes [offset, offset + length) of the text that a read was given.
    struct Span {
        std::size_t offset = 0;  ///< the first byte, counted from 0
        std::size_t length = 0;  ///< how many bytes
    };

    /// Where a node stood in the text read, as setPositionsRecorded(true) makes reads record it.
    struct RKXML_API SourcePosition {
        /// Where one attribute stood: its name and its value as written between the quotes, before decoding.
        struct Attribute {
            std::string name;    ///< the attribute's name
            std::size_t nameAt;  ///< the offset of the name's first byte
            Span value;          ///< the value's bytes, without the quotes
        };

        std::size_t line = 0;   ///< as an editor counts: 1 + the line feeds before the node's "<"
        std::size_t start = 0;  ///< the offset of the node's "<"
        bool hasText = false;   ///< elements: whether text of this read gave the element its value
        /// Elements: the text that gave the value, as written (references not decoded), from its first to its last
        /// byte that the reader does not trim; in the mode for files from other programs it may hold CDATA sections
        /// and processing instructions. Empty when hasText is false.
        Span text;
        std::size_t startTagEnd = 0;        ///< elements: the offset of the ">" or "/>" that ends the start tag
        std::size_t attributesEnd = 0;      ///< elements: just after the last attribute (or the name), where one goes
        std::size_t end = 0;                ///< elements: just after the end tag or the tag that closed it; 0 if open
        std::vector<Attribute> attributes;  ///< elements: the attributes in the order written

        /// The last attribute named `name`, as the tree keeps the last of a name given twice; null if none.
        const Attribute* findAttribute(const std::string& name) const;
    };

    /// A stream with the thirteen default symbols and the open tag "br".
    rkXMLFStream();
    /// A stream with the open tag "br" for `text`, writing a log file or none: the default stream followed by
    /// utf8Symbols() or foreignXml() and setLogEnabled(false), in the line that declares it.
    explicit rkXMLFStream(Text text, Log log = Log::File);
    /// Empties and releases both tables.
    virtual ~rkXMLFStream();

    /// (Re)sets the thirteen default symbols, adds the open tag "br" and leaves UTF-8 mode; keeps every other pair.
    void defaultSymbols();
    /// Switches to UTF-8 mode, keeping the open tags: the symbol table becomes exactly XML's five entities
    /// ("&amp;", "&lt;", "&gt;", "&quot;", "&apos;"), attribute values are coded like element values, and reading
    /// decodes every valid character reference to UTF-8 (an invalid one stays as written).
    void utf8Symbols();
    /// Adds the pair entity text -> character text, or replaces the character text of an entity already present.
    /// @throws std::invalid_argument "rkXMLFStream::addSymbol: empty entity text" (or "character text"), table kept.
    void addSymbol(const std::string& entity, const std::string& character);
    /// Empties the symbol table and the open tags and leaves UTF-8 mode: nothing is encoded or decoded.
    void clearSymbols();
    /// Switches to the mode for XML files from other programs: UTF-8 mode's table (as utf8Symbols()), and the
    /// reader also skips a byte order mark, a DOCTYPE and processing instructions, takes CDATA sections as text
    /// and attribute values in single quotes, reads UTF-16 that starts with its byte order mark as its UTF-8 text
    /// (getTextForm()), and reads line ends and white space in attribute values as XML does (CR LF in text as
    /// LF; a tab, CR, LF or CR LF in an attribute value as one blank). defaultSymbols(), utf8Symbols() and
    /// clearSymbols() leave the mode.
    void foreignXml();
    /// Whether the stream is in the mode for files from other programs (foreignXml()); false by default.
    bool isForeignXml() const;
    /// Adds `name`, ASCII-lower-cased and cut at its first zero byte, to the open tags.
    void addOpenTag(std::string name);

    /// Reads the file that `document` names and appends its nodes to the tree; a zero-byte file adds nothing.
    /// Notes which file it read and its bytes' digest (or that there was none), for writeDocumentIfUnchanged().
    /// @throws std::runtime_error "Invalid/empty filename.", "Opening file: <name>failed." or
    /// "Reading file: <name> failed." (not logged; also for a file larger than getReadLimit()); for malformed
    /// text, what readDocumentFromString throws.
    void readDocument(rkXMLDocument& document);
    /// Reads the file `fileName` whole into `text`, as readDocument reads a document's file (names longer than one
    /// system call takes, the read limit, a pipe or a device, on Windows CR LF as LF), without making a tree: for a
    /// caller that also works on the text, such as readDocumentFromString with positions recorded. Notes the file
    /// as readDocument does, for writeTextToFileIfUnchanged() and getFileFound(); clears the diagnostics.
    /// @throws std::runtime_error "Invalid/empty filename.", "Opening file: <name>failed." or "Reading file: <name>
    /// failed.", as readDocument does (not logged); `text` then stays as it was.
    void readTextFromFile(const std::string& fileName, std::string& text);
    /// What the last readDocument or readTextFromFile found of its file, for a program's own messages.
    enum class FileFound {
        Nothing,      ///< no file was read yet
        RegularFile,  ///< a regular file, read
        OtherFile,    ///< a pipe or a device, read
        Missing,      ///< no file of that name (also the empty name): not read
        Directory,    ///< a directory: not read
        TooLarge,     ///< a file of more bytes than getReadLimit(), refused before it was read
        Unreadable    ///< not read: no permission, a read error, a pipe past the limit, or too large for the memory
    };
    /// What the last readDocument or readTextFromFile found of its file; Nothing before the first.
    FileFound getFileFound() const;
    /// Makes readDocument refuse a file of more than `bytes` bytes, checked before the file is read (a pipe: read
    /// up to one byte more); the default is no limit.
    void setReadLimit(std::uint64_t bytes);
    /// The largest file that readDocument reads, in bytes; the largest 64-bit number when there is no limit.
    std::uint64_t getReadLimit() const;
    /// Appends the nodes that `text` holds to `document`'s tree; `text` is not changed.
    /// @throws std::runtime_error on malformed text, listing its diagnostics (also logged); the document is emptied.
    void readDocumentFromString(rkXMLDocument& document, std::string& text);
    /// As above, for a constant text or a literal.
    /// @throws std::runtime_error as above.
    void readDocumentFromString(rkXMLDocument& document, const std::string& text);
    /// Writes `document`'s tree to its file as indented XML, replacing the file only once all was written.
    /// @throws std::runtime_error "Error: ..." (logged) when the tree would not read back as it is or the file
    /// cannot be written; the old file then stays as it was, except where a save into the old file itself (which
    /// keeps its owner and attributes) failed part way: the whole text is then beside it as ".NAME.rkxml-copy".
    void writeDocument(const rkXMLDocument& document);
    /// As writeDocument, but only if the document's file is still the one that this stream's last readDocument of
    /// that file name read, with the same bytes (still missing, if that read found no file or there was no such
    /// read); the check and the replacement run under the file's lock (FileLock). False, writing nothing, when the
    /// file changed: read it again and edit anew.
    /// @throws std::runtime_error as writeDocument does.
    bool writeDocumentIfUnchanged(const rkXMLDocument& document);
    /// At least the number of bytes that writeDocument would write for `document` with this stream's tables, counted
    /// without writing, so that a caller can refuse a tree whose text would be too large: each node's line with its
    /// indentation (one blank per level, so a deep tree's text grows with the square of its depth), names as they
    /// stand, values (and in UTF-8 mode attribute values) with each byte that the table replaces counted as its
    /// entity. Never throws: a tree that the writer would refuse is counted all the same; 0 for an empty tree.
    std::uint64_t writtenSizeAtLeast(const rkXMLDocument& document) const;
    /// Replaces `text` by exactly what writeDocument would write to the file; nothing is written to disk.
    /// @throws std::runtime_error (logged) for a tree that writeDocument refuses; `text` then stays as it was.
    void writeDocumentToString(const rkXMLDocument& document, std::string& text);

    /// The warnings and the error of the last read, in the order they were found; empty after a clean read.
    /// Also empty after the file errors of readDocument ("Invalid/empty filename.", "Opening file: ...",
    /// "Reading file: ..."), which concern no line of a text; writes leave it alone.
    const std::vector<Diagnostic>& getDiagnostics() const;
    /// Whether the last read dropped text that it was given: it failed on malformed text (the document was
    /// emptied) or warned of text it ignored or of elements left open at the end (a file cut off). A save of the
    /// tree would then lose that text. False after a read that took in everything, and after the file errors of
    /// readDocument, which concern no text.
    bool droppedText() const;
    /// What the last read in the mode for files from other programs (foreignXml()) took in that a save of the tree
    /// would not write back as it stood, in the order found; empty after a read in another mode and after the file
    /// errors of readDocument. Each entry is a Warning with its line (from 0) and a text such as "DOCTYPE
    /// declaration is not kept on saving."; they go to no log and no message.
    const std::vector<Diagnostic>& getSaveLosses() const;
    /// The form in which the text of the last read came: UTF-16 of either byte order (only in the mode for files
    /// from other programs, which reads it as UTF-8: the tree's texts are UTF-8), else Bytes; Bytes also before
    /// any read and after the file errors of readDocument.
    TextForm getTextForm() const;
    /// Switches the log file of reads and writes on or off (on by default), for programs that show diagnostics
    /// themselves.
    void setLogEnabled(bool enabled);
    /// Whether reads and writes write their messages to the log file.
    bool isLogEnabled() const;
    /// Switches the recording of where each node stood in the text read (off by default, since it costs time and
    /// memory): each later read then keeps, for each node it makes, a SourcePosition (getSourcePosition()).
    void setPositionsRecorded(bool recorded);
    /// Whether reads record where each node stood (setPositionsRecorded()).
    bool isPositionsRecorded() const;
    /// Where `node` stood in the text of the last read, if that read recorded positions and made `node`; null
    /// otherwise. Only the address is compared: the answer holds until the next read or until the tree changes.
    const SourcePosition* getSourcePosition(const rkXMLNode* node) const;
    /// Replaces the file `fileName` by `text` as writeDocument() replaces a document's file: only once all of it is
    /// on disk (on Windows each LF stored as CR LF, as text files are written there), for a caller that edits the
    /// text a read was given.
    /// @throws std::runtime_error "Error: ..." (logged for that file name) when the file cannot be written; it then
    /// stays as it was.
    void writeTextToFile(const std::string& fileName, const std::string& text);
    /// As writeTextToFile, but only if the file is still the one that this stream's last readDocument of that file
    /// name read, with the same bytes, as writeDocumentIfUnchanged() checks; false, writing nothing, when it changed.
    /// @throws std::runtime_error as writeTextToFile does.
    bool writeTextToFileIfUnchanged(const std::string& fileName, const std::string& text);

private:
    friend struct rkxml_detail::StreamAccess;

    std::map<std::string, std::string> symbols;
    std::set<std::string, std::less<>> openTags;
    std::vector<Diagnostic> diagnostics;  // of the last read
    std::vector<Diagnostic> saveLosses;   // of the last read of a file from another program
    bool utf8 = false;                    // UTF-8 mode: character references and attribute values are coded too
    bool foreign = false;  // files from other programs: DOCTYPE, CDATA, processing instructions, single quotes
    bool logEnabled = true;
    std::uint64_t readLimit = UINT64_MAX;                       // the largest file that readDocument reads
    std::shared_ptr<const rkxml_detail::ReadVersion> lastRead;  // what the last readDocument found, never changed
    TextForm textForm = TextForm::Bytes;                        // of the last read
    FileFound fileFound = FileFound::Nothing;                   // by the last read of a file
    bool positionsRecorded = false;
    std::unordered_map<const rkXMLNode*, SourcePosition> positions;  // of the last read that recorded them
};

#endif
