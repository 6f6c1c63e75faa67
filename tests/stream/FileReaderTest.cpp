#include <string>

#include "tests/stream/StreamTestSupport.h"

using FileReader = StreamTest;

TEST_F(FileReader, FailuresAndEmptyFilesLeaveTheDocumentAlone) {
    rkXMLFStream stream;
    rkXMLDocument doc;
    addNode(doc.getRoot(), "keep");
    EXPECT_EQ(errorOf([&] { stream.readDocument(doc); }), "Invalid/empty filename.");
    fs::create_directory(path("folder.xml"));
    for (const std::string& name : {path("missing.xml"), path("folder.xml")}) {
        doc.setFileName(name);
        EXPECT_EQ(errorOf([&] { stream.readDocument(doc); }), "Opening file: " + name + "failed.");
    }
    doc.setFileName(path("doc.xml"));
    for (const char* content : {"", " \r\n\t\n "}) {
        writeFile(path("doc.xml"), content);
        EXPECT_EQ(errorOf([&] { stream.readDocument(doc); }), "(no exception)");
    }
    EXPECT_EQ(describe(doc.getRoot()), "?root?(keep)");
    for (const char* log : {"missing.xml.log", "folder.xml.log", "doc.xml.log"}) EXPECT_FALSE(fs::exists(path(log)));
}

TEST_F(FileReader, BytesReachTheReaderAsTheyAre) {
    writeFile(path("doc.xml"), std::string("<?xml version=\"1.0\"?>\r\n<a>x\r\n</a>\r\n\0<b/>", 40));
    rkXMLFStream stream;
    rkXMLDocument doc;
    doc.setFileName(path("doc.xml"));
    stream.readDocument(doc);
    stream.readDocument(doc);  // appends a second time
    const std::string once = "<?xml version=\"1.0\" ?>,a'x\r',b";
    EXPECT_EQ(describe(doc.getRoot()), std::string("?root?'\r\n\0'(", 12) + once + "," + once + ")");

    writeFile(path("doc.xml"), "<a>\n\n</b>");
    const std::string message = errorOf([&] { stream.readDocument(doc); });
    EXPECT_EQ(message, "Error at line 2: Closing tag differs from open tag.\n");
    EXPECT_EQ(readFile(path("doc.xml.log")), message);
    EXPECT_EQ(describe(doc.getRoot()), "?root?");
}
