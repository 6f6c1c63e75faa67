#include <sys/resource.h>

#include <string>
#include <thread>

#include "tests/TestSupport.h"

using namespace testing_support;
using FileReader = ScratchTest;

TEST_F(FileReader, FailuresAndEmptyFilesLeaveTheDocumentAlone) {
    rkXMLFStream stream;
    rkXMLDocument document;
    addElement(document.getRoot(), "keep");
    EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "Invalid/empty filename.");
    fs::create_directory(path("folder.xml"));
    for (const std::string& name : {path("missing.xml"), path("folder.xml")}) {
        document.setFileName(name);
        EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "Opening file: " + name + "failed.");
    }
    document.setFileName(path("doc.xml"));
    for (const char* content : {"", " \r\n\t\n "}) {
        writeFile(path("doc.xml"), content);
        EXPECT_EQ(errorOf([&] { stream.readDocument(document); }), "(no exception)");
    }
    EXPECT_EQ(describe(document.getRoot()), "?root?(keep)");
    EXPECT_EQ(scratch.entries(), (std::set<std::string>{"folder.xml", "doc.xml"}));  // no log
}

TEST_F(FileReader, BytesReachTheReaderAsTheyAre) {
    writeFile(path("doc.xml"), std::string("<?xml version=\"1.0\"?>\r\n<a>x\r\n</a>\r\n\0<b/>", 40));
    rkXMLFStream stream;
    rkXMLDocument document;
    document.setFileName(path("doc.xml"));
    stream.readDocument(document);
    stream.readDocument(document);  // appends a second time
    const std::string once = "<?xml version=\"1.0\" ?>,a'x\r',b";
    EXPECT_EQ(describe(document.getRoot()), std::string("?root?'\r\n\0'(", 12) + once + "," + once + ")");
    writeFile(path("doc.xml"), "<a>\n\n</b>");
    const std::string message = errorOf([&] { stream.readDocument(document); });
    EXPECT_EQ(message, "Error at line 2: Closing tag differs from open tag.\n");
    EXPECT_EQ(readFile(path("doc.xml.log")), message);
}

TEST_F(FileReader, PipesAreReadToTheirEndDevicesUpToTheirSize) {
    const std::string pipe = path("pipe.xml");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::thread writer([&] { writeFile(pipe, "<from-a-pipe/>"); });
    rkXMLDocument document;
    document.setFileName(pipe);
    rkXMLFStream stream;
    stream.readDocument(document);
    writer.join();
    EXPECT_EQ(describe(document.getRoot()), "?root?(from-a-pipe)");
    // A device without end has no size: nothing is read, rather than everything until memory runs out.
    const int status = runInChild([] {
        const rlimit limit{1u << 30, 1u << 30};
        setrlimit(RLIMIT_AS, &limit);
        rkXMLDocument endless;
        endless.setFileName("/dev/zero");
        rkXMLFStream().readDocument(endless);
        return endless.getTopLevelElement() == nullptr ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}
