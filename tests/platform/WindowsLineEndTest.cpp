// Windows reads and writes document and log files in text mode, as its programs read and write text:
// each CR LF of a file reaches the reader as LF, and each LF written is stored as CR LF. Strings keep
// their bytes.
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

// A file as another Windows program writes it: CR LF line ends, a CR alone, and a CR before a CR LF.
const std::string crLfFile =
    "<?xml version=\"1.0\"?>\r\n<notes>\r\n <note>first line\r\nsecond line</note>\r\n"
    " <cr>lone\rcarriage return</cr>\r\n <both>kept\r\r\nline</both>\r\n</notes>\r\n";
// What it holds: LF where the file has CR LF.
const std::string crLfTree =
    "?root?(<?xml version=\"1.0\" ?>,notes(note'first line\nsecond line',cr'lone\rcarriage return',"
    "both'kept\r\nline'))";
// The same tree as the writer stores it.
const std::string crLfSaved =
    "<?xml version=\"1.0\" ?>\r\n<notes>\r\n <note>first line\r\nsecond line</note>\r\n"
    " <cr>lone\rcarriage return</cr>\r\n <both>kept\r\r\nline</both>\r\n</notes>";

// The bytes of a file, line ends as they are on disk.
std::string bytesOf(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>{});
}

class WindowsLineEnds : public ScratchTest {
protected:
    // The tree read from the file `name`.
    std::string readTree(const std::string& name) {
        rkXMLDocument document;
        document.setFileName(name);
        rkXMLFStream().readDocument(document);
        return describe(document.getRoot());
    }
};

TEST_F(WindowsLineEnds, CrLfFileReadsWithLineFeeds) {
    writeFile(path("notes.xml"), crLfFile);
    EXPECT_EQ(readTree(path("notes.xml")), crLfTree);
}

TEST_F(WindowsLineEnds, SavedFileHasCrLf) {
    writeFile(path("notes.xml"), crLfFile);
    rkXMLDocument document;
    document.setFileName(path("notes.xml"));
    rkXMLFStream().readDocument(document);
    document.setFileName(path("saved.xml"));
    rkXMLFStream().writeDocument(document);
    EXPECT_EQ(bytesOf(path("saved.xml")), crLfSaved);
    EXPECT_EQ(readTree(path("saved.xml")), crLfTree);
}

TEST_F(WindowsLineEnds, StringsKeepTheirBytes) {
    rkXMLDocument document;
    rkXMLFStream().readDocumentFromString(document, crLfFile);
    // The CR of each CR LF stays, also where it ends the text between two tags.
    EXPECT_EQ(describe(document.getRoot()),
              "?root?'\r'(<?xml version=\"1.0\" ?>,notes'\r'(note'first line\r\nsecond line',"
              "cr'lone\rcarriage return',both'kept\r\r\nline'))");
    std::string text;
    rkXMLFStream().writeDocumentToString(document, text);
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" ?>\n<notes>\n <note>first line\r\nsecond line</note>\n"
              " <cr>lone\rcarriage return</cr>\n <both>kept\r\r\nline</both>\n</notes>");
}

TEST_F(WindowsLineEnds, DiagnosticsCountLinesAndLogWithCrLf) {
    writeFile(path("broken.xml"), "<a>\r\n<b>\r\n</c>\r\n");
    const std::string message = "Error at line 2: Closing tag differs from open tag.\n";
    EXPECT_EQ(errorOf([&] { readTree(path("broken.xml")); }), message);
    EXPECT_EQ(bytesOf(path("broken.xml.log")), "Error at line 2: Closing tag differs from open tag.\r\n");
}

// A text of several of the pieces that line ends are expanded in, its line ends at varied offsets of
// the pieces, is stored with each of them as CR LF and reads back unchanged.
TEST_F(WindowsLineEnds, LargeTextRoundTrips) {
    std::string value, stored;
    for (std::size_t length = 1; value.size() < 300000; length = length % 97 + 1) {
        value += std::string(length, 'x') + "\n";
        stored += std::string(length, 'x') + "\r\n";
    }
    rkXMLDocument document;
    document.setFileName(path("large.xml"));
    addElement(document.getRoot(), "text", value + "end");
    rkXMLFStream().writeDocument(document);
    const std::string saved = bytesOf(path("large.xml"));
    EXPECT_EQ(saved.size(), ("<text>" + stored + "end</text>").size());
    EXPECT_TRUE(saved == "<text>" + stored + "end</text>");
    EXPECT_TRUE(readTree(path("large.xml")) == "?root?(text'" + value + "end')");
}

}  // namespace
