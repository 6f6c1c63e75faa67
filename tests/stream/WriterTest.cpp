#include <pthread.h>

#include <memory>
#include <string>
#include <utility>

#include "tests/stream/StreamTestSupport.h"

using Writer = StreamTest;

TEST_F(Writer, IndentsOneNodePerLine) {
    rkXMLDocument doc;
    doc.setFileName(path("out.xml"));
    addNode<rkXMLComment>(doc.getRoot(), " data ");
    doc.setHeader("1.0", "utf-8");  // placed in front
    rkXMLElement* data = addNode(doc.getRoot(), "data");
    data->setAttribute("b", "2");
    data->setAttribute("a", "1");
    addNode(data, "entry", "A&B");
    addNode(data, "br");
    addNode(addNode(data, "list"), "entry", "x");
    addNode(data, "text");
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<!-- data -->\n<data a=\"1\" b=\"2\">\n <entry>A&amp;B</entry>\n"
        " <br>\n <list>\n  <entry>x</entry></list>\n <text/>\n</data>";
    writeFile(path("out.xml"), expected + " and a longer text that was there before");
    rkXMLFStream stream;
    stream.writeDocument(doc);
    EXPECT_EQ(readFile(path("out.xml")), expected);
    doc.makeEmpty();  // nothing to write: an empty file
    stream.writeDocument(doc);
    EXPECT_TRUE(fs::exists(path("out.xml")));
    EXPECT_EQ(fs::file_size(path("out.xml")), 0u);
}

TEST_F(Writer, ValuesEmptyElementsAndOpenTags) {
    rkXMLDocument doc;
    doc.setFileName(path("out.xml"));
    rkXMLNode* root = doc.getRoot();
    addNode<rkXMLNode>(root, "nothing");  // a node of no kind writes nothing, not even a line break
    for (const char* name : {"br", "BR", "Br"}) addNode(root, name);
    addNode(root, "e")->setAttribute("a", "1");
    addNode(root, "s", " ");
    addNode(root, "w", " \n \r\t ");
    addNode(root, "t", "\n\t\t");
    addNode(root, "b", " a  b ");
    addNode(root, "v", "A&B<C>")->setAttribute("q", "A&B");
    rkXMLElement* many = addNode(root, "m", "val");
    addNode<rkXMLComment>(many, " c ");
    addNode<rkXMLNode>(many, "nothing");
    addNode(many, "c2");
    addNode<rkXMLComment>(addNode(root, "one", "val"), "c");
    const std::string middle = "\n<e a=\"1\"/>\n<s></s>\n<w></w>\n<t>\n\t\t</t>\n<b> a  b </b>\n<v q=\"A&B\">";
    const std::string end = "</v>\n<m>\n val\n <!-- c -->\n <c2/>\n</m>\n<one>val\n <!--c--></one>";
    rkXMLFStream stream;
    stream.writeDocument(doc);
    EXPECT_EQ(readFile(path("out.xml")), "<br>\n<BR>\n<Br>" + middle + "A&amp;B&lt;C&gt;" + end);
    stream.clearSymbols();
    stream.writeDocument(doc);
    EXPECT_EQ(readFile(path("out.xml")), "<br/>\n<BR/>\n<Br/>" + middle + "A&B<C>" + end);
}

TEST_F(Writer, DeepChainOnASmallStack) {
    constexpr unsigned depth = 5000;
    rkXMLDocument doc;
    doc.setFileName(path("deep.xml"));
    rkXMLNode* parent = doc.getRoot();
    for (unsigned i = 0; i < depth; ++i) parent = addNode(parent, "e");
    using Job = std::pair<const rkXMLDocument*, std::string>;
    Job job{&doc, ""};
    auto run = [](void* argument) -> void* {
        auto* job = static_cast<Job*>(argument);
        job->second = errorOf([&] { std::make_unique<rkXMLFStream>()->writeDocument(*job->first); });
        return nullptr;
    };
    pthread_attr_t attributes;
    pthread_t thread;
    pthread_attr_init(&attributes);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 128 * 1024), 0);
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &job), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(job.second, "(no exception)");
    std::string expected;
    for (unsigned d = 0; d < depth; ++d) expected += (d ? "\n" : "") + std::string(d, ' ') + (d + 1 < depth ? "<e>" : "<e/>");
    for (unsigned d = 1; d < depth; ++d) expected += "</e>";
    EXPECT_TRUE(readFile(path("deep.xml")) == expected);
}

// A tree that would not read back as it stands is refused before the file is touched.
TEST_F(Writer, RefusesTreesThatWouldNotReadBack) {
    rkXMLDocument doc;
    doc.setFileName(path("out.xml"));
    auto expectRefused = [&](const std::string& message) {
        SCOPED_TRACE(message);
        writeFile(path("out.xml"), "old\ncontent");
        EXPECT_EQ(errorOf([&] { rkXMLFStream().writeDocument(doc); }), message);
        EXPECT_EQ(readFile(path("out.xml")), "old\ncontent");
        EXPECT_EQ(readFile(path("out.xml.log")), message);
    };
    rkXMLElement* top = addNode(doc.getRoot(), "top");
    const std::pair<std::string, std::string> badNames[] = {
        {"", ""}, {"a b", "a b"}, {"a\tb", "a\\x09b"}, {"a\rb", "a\\x0Db"}, {"a\nb", "a\\x0Ab"}, {"a>b", "a>b"},
        {"/a", "/a"}, {"?a", "?a"}, {"!--a", "!--a"}, {"a/", "a/"}};
    for (const auto& [name, shown] : badNames) {
        rkXMLElement* bad = addNode(top, name);
        expectRefused("Error: element name '" + shown + "' cannot be written.");
        top->removeChild(bad);
    }
    rkXMLElement* e = addNode(top, "e");
    const std::pair<std::string, std::string> badAttributes[] = {
        {" a", " a"}, {"\ta", "\\x09a"}, {"\ra", "\\x0Da"}, {"\na", "\\x0Aa"}, {">a", ">a"}, {"/>a", "/>a"},
        {"a ", "a "}, {"a\t", "a\\x09"}, {"a\n", "a\\x0A"}, {"a=\"b", "a=\"b"}};
    for (const auto& [name, shown] : badAttributes) {
        e->setAttribute(name, "1");
        expectRefused("Error: attribute name '" + shown + "' of element 'e' cannot be written.");
        e->removeAttribute(name);
    }
    e->setAttribute("q", "say \"hi\"");
    expectRefused("Error: attribute 'q' of element 'e' holds a double quote.");
    e->setAttribute("q", "");
    addNode(top, "Br", "x");
    expectRefused("Error: open tag 'Br' cannot hold a value or children.");
    top->removeChild(top->getChild("Br"));
    addNode<rkXMLComment>(e, "a-->b");
    expectRefused("Error: comment holds '-->'.");
    doc.getRoot()->setName("root");
    expectRefused("Error: tree root is not named ?root?");
}

TEST_F(Writer, FileThatCannotBeOpened) {
    EnvGuard guard{"Tmp"};
    rkXMLFStream stream;
    rkXMLDocument doc;
    addNode(doc.getRoot(), "e");
    setEnvironment("Tmp", path("unnamed-"));
    for (const std::string& name : {path("missing/out.xml"), std::string()}) {
        doc.setFileName(name);
        EXPECT_EQ(errorOf([&] { stream.writeDocument(doc); }), "Error: cannot open '" + name + "' for writing.");
    }
    EXPECT_FALSE(fs::exists(path("missing")));
    EXPECT_EQ(readFile(path("unnamed-rkXMLFactory.log")), "Error: cannot open '' for writing.");
}
