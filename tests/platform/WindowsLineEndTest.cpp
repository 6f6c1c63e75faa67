// Windows reads and writes document and log files in text mode, as its programs read and write text:
// each CR LF of a file reaches the reader as LF, and each LF written is stored as CR LF. Strings keep
// their bytes.
#include "tests/TestSupport.h"

using namespace testing_support;
using WindowsLineEnds = DocumentInScratch;

namespace {
// A file as another Windows program writes it: CR LF line ends, a CR alone, and a CR before a CR LF.
const std::string crLfFile =
    "<?xml version=\"1.0\"?>\r\n<notes>\r\n <note>first line\r\nsecond line</note>\r\n"
    " <cr>lone\rcarriage return</cr>\r\n <both>kept\r\r\nline</both>\r\n</notes>\r\n";
}  // namespace

TEST_F(WindowsLineEnds, FileReadsWithLineFeedsAndIsSavedWithCrLf) {
    const std::string tree =  // LF where the file has CR LF
        "?root?(<?xml version=\"1.0\" ?>,notes(note'first line\nsecond line',cr'lone\rcarriage return',"
        "both'kept\r\nline'))";
    writeFile(target, crLfFile);
    stream.readDocument(document);
    EXPECT_EQ(describe(document.getRoot()), tree);
    document.setFileName(path("saved.xml"));
    stream.writeDocument(document);
    EXPECT_EQ(bytesOf(path("saved.xml")),
              "<?xml version=\"1.0\" ?>\r\n<notes>\r\n <note>first line\r\nsecond line</note>\r\n"
              " <cr>lone\rcarriage return</cr>\r\n <both>kept\r\r\nline</both>\r\n</notes>");
    rkXMLDocument back;
    back.setFileName(path("saved.xml"));
    stream.readDocument(back);
    EXPECT_EQ(describe(back.getRoot()), tree);
}

TEST_F(WindowsLineEnds, StringsKeepTheirBytes) {
    stream.readDocumentFromString(document, "<a>x\r\ny</a>\r\n<b/>");
    // The CR of each CR LF stays, also where it ends the text between two tags.
    EXPECT_EQ(describe(document.getRoot()), "?root?'\r'(a'x\r\ny',b)");
    EXPECT_EQ(written(), "<a>x\r\ny</a>\n<b/>");
}

TEST_F(WindowsLineEnds, Utf16KeepsItsBytes) {
    // U+0D41 before a line feed holds the bytes CR LF, halves of two characters.
    writeFile(target, std::string("\xFF\xFE<\0a\0>\0\x41\x0D\n\0x\0\r\0\n\0<\0/\0a\0>\0", 26));
    stream.foreignXml();
    stream.readDocument(document);
    EXPECT_EQ(describe(document.getRoot()), "?root?(a'\xE0\xB5\x81\nx')");
}

TEST_F(WindowsLineEnds, DiagnosticsCountLinesAndLogWithCrLf) {
    writeFile(target, "<a>\r\n<b>\r\n</c>\r\n");
    EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "Error at line 2: Closing tag differs from open tag.\n");
    EXPECT_EQ(bytesOf(target + ".log"), "Error at line 2: Closing tag differs from open tag.\r\n");
}

// A text of several of the pieces that line ends are expanded in, its line ends at varied offsets of
// the pieces, is stored with each of them as CR LF and reads back unchanged.
TEST_F(WindowsLineEnds, LargeTextRoundTrips) {
    std::string value, stored;
    for (std::size_t length = 1; value.size() < 300000; length = length % 97 + 1) {
        value += std::string(length, 'x') + "\n";
        stored += std::string(length, 'x') + "\r\n";
    }
    addElement(document.getRoot(), "text", value + "end");
    stream.writeDocument(document);
    EXPECT_TRUE(sameBytes(bytesOf(target), "<text>" + stored + "end</text>"));
    rkXMLDocument back;
    back.setFileName(target);
    stream.readDocument(back);
    EXPECT_TRUE(sameBytes(element(back.getTopLevelElement())->getValue(), value + "end"));
}
