#include <string>

#include "tests/stream/StreamTestSupport.h"

using RoundTrip = StreamTest;

TEST_F(RoundTrip, WrittenTreeReadsBackTheSame) {
    rkXMLFStream stream;
    stream.addSymbol("&sect;", "\xA7");
    stream.addOpenTag("HR");
    rkXMLDocument doc;
    doc.setFileName(path("doc.xml"));
    rkXMLNode* root = doc.getRoot();
    doc.setHeader("1.1", "utf-16");
    addNode<rkXMLComment>(root, " <top> & \"comment\" - ");
    rkXMLElement* config = addNode(root, "config");
    for (const char* name : {"", "a\r", "a>b", "/", "k\"q", "x=", "id"}) config->setAttribute(name, "<&> '");
    addNode(config, "name", "Demo & <test> \xE4\x80\xA7\xE9 &amp;");
    addNode(config, "BR");
    addNode(config, "hr");
    addNode(addNode(config, "list"), "item", "x\r");
    addNode<rkXMLComment>(config, "inner-");
    addNode(config, "!-x", "a\tb\nc");
    addNode(addNode(config, "a/b", "v"), "deeper")->setAttribute("z", "");
    addNode(root, "second", "2");
    stream.writeDocument(doc);

    rkXMLDocument back;
    back.setFileName(path("doc.xml"));
    stream.readDocument(back);
    EXPECT_EQ(describe(back.getRoot()), describe(doc.getRoot()));
}
