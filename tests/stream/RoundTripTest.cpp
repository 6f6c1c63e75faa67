#include <string>

#include "tests/TestSupport.h"

using namespace testing_support;
using RoundTrip = ScratchTest;

TEST_F(RoundTrip, WrittenTreeReadsBackTheSame) {
    rkXMLFStream stream;
    stream.addSymbol("&sect;", "\xA7");
    stream.addOpenTag("HR");
    rkXMLDocument document;
    document.setFileName(path("doc.xml"));
    rkXMLNode* root = document.getRoot();
    document.setHeader("1.1", "utf-16");
    addComment(root, " <top> & \"comment\" - ");
    rkXMLElement* config = addElement(root, "config");
    for (const char* name : {"", "a\r", "a>b", "/", "k\"q", "x=", "id"}) config->setAttribute(name, "<&> '");
    addElement(config, "name", "Demo & <test> \xE4\x80\xA7\xE9 &amp;");
    addElement(config, "BR");
    addElement(config, "hr");
    addElement(addElement(config, "list"), "item", "x\r");
    addComment(config, "inner-");
    addElement(config, "!-x", "a\tb\nc");
    addElement(addElement(config, "a/b", "v"), "deeper")->setAttribute("z", "");
    addElement(root, "second", "2");
    stream.writeDocument(document);

    rkXMLDocument back;
    back.setFileName(path("doc.xml"));
    stream.readDocument(back);
    EXPECT_EQ(describe(back.getRoot()), describe(document.getRoot()));
}
