// The mode for XML files from other programs (foreignXml): each construct alone, its errors, the character
// sets, the mode's switches, and a realistic file written back.
#include <string>
#include <vector>

#include "rkXMLHeader.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

struct Case {
    const char* name;
    std::string text;
    std::string result;  // the tree, or the error's message
};

rkXMLFStream foreignStream() {
    rkXMLFStream stream;
    stream.foreignXml();
    stream.setLogEnabled(false);
    return stream;
}

// The tree that `text` gives in a fresh document, or the message of the error it throws.
std::string readWith(rkXMLFStream& stream, const std::string& text) {
    rkXMLDocument document;
    const std::string error = errorOf([&] { stream.readDocumentFromString(document, text); });
    return error == "(no exception)" ? describe(document.getRoot()) : error;
}

void expectCases(rkXMLFStream stream, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readWith(stream, c.text), c.result);
    }
}

}  // namespace

TEST(ForeignXml, SkipsWhatTheTreeCannotHold) {
    expectCases(
        foreignStream(),
        {
            {"byte order mark", "\xEF\xBB\xBF<a/>", "?root?(a)"},
            {"DOCTYPE with an external identifier", "<!DOCTYPE a PUBLIC \"-//x>y//EN\" 'a>.dtd'>\n<a/>", "?root?(a)"},
            {"DOCTYPE with an internal subset",
             "<!DOCTYPE a [\n <!ENTITY e \"]>\">\n <!ATTLIST a b CDATA ']>'>\n <!-- ]> -->\n <?pi ]>?>\n %pe;\n] "
             ">\n<a/>",
             "?root?(a)"},
            {"processing instructions", "<?xml-stylesheet href=\"s.xsl\"?>\n<a><?pi x?></a><?end?>", "?root?(a)"},
            {"a declaration needs a blank or ?> after xml", "<?xmlfoo?><?xml?><a/>",
             "?root?(<?xml version=\"1.0\" ?>,a)"},
            {"only the first declaration",
             "<?xml version='1.1' encoding='ISO-8859-1' standalone='yes'?><?xml version=\"1.0\"?><a/>",
             "?root?(<?xml version=\"1.1\" encoding=\"ISO-8859-1\" ?>,a)"},
            {"declaration with blanks around =", "<?xml version = \"1.0\"\n encoding= 'utf-8' ?><a/>",
             "?root?(<?xml version=\"1.0\" encoding=\"utf-8\" ?>,a)"},
        });
}

TEST(ForeignXml, AttributesAsXmlWritesThem) {
    expectCases(
        foreignStream(),
        {
            {"single quotes hold double ones", "<a b='say \"hi\"' c=\"it's\"/>", "?root?(a[b=say \"hi\",c=it's])"},
            {"blanks around =", "<a b = \"1\"\n c\t=\t'2'>x</a>", "?root?(a[b=1,c=2]'x')"},
            {"entities decoded", "<a t='&lt;&#x41;&#233;&nbsp;'/>", "?root?(a[t=<A\xC3\xA9&nbsp;])"},
        });
}

TEST(ForeignXml, TextRunsOfCharacterDataAndCdata) {
    rkXMLFStream stream = foreignStream();
    expectCases(stream, {
                            {"CDATA as it stands", "<a>x<![CDATA[<y> & &amp;]]>z</a>", "?root?(a'x<y> & &amp;z')"},
                            {"one run, trimmed as a whole", "<a> <![CDATA[ ok ]]> <![CDATA[]]>\n</a>", "?root?(a'ok')"},
                            {"processing instructions inside text", "<a>x<?pi?>y</a>", "?root?(a'xy')"},
                            {"entities of the UTF-8 table", "<a>&amp;&#233;&unknown;&#0;&#x1F600;</a>",
                             "?root?(a'&\xC3\xA9&unknown;&#0;\xF0\x9F\x98\x80')"},
                        });
    // A run is one text: only a later run replaces it.
    EXPECT_EQ(readWith(stream, "<a>x<![CDATA[y]]>\n<b/>z</a>"), "?root?(a'z'(b))");
    ASSERT_EQ(stream.getDiagnostics().size(), 1u);
    EXPECT_EQ(stream.getDiagnostics()[0].text,
              "Text of element 'a' is replaced by a later text; only the last one is kept.");
    EXPECT_EQ(readWith(stream, "<a>\n<![CDATA[x]]>\n"), "?root?(a)");
    ASSERT_EQ(stream.getDiagnostics().size(), 2u);
    EXPECT_EQ(stream.getDiagnostics()[0].text, "Text after the last tag is ignored.");
    EXPECT_EQ(stream.getDiagnostics()[0].line, 1u);
}

TEST(ForeignXml, MalformedTextFailsWithItsLine) {
    expectCases(
        foreignStream(),
        {
            {"DOCTYPE unclosed", "<a/>\n<!DOCTYPE a [ <!ENTITY x \"]>", "Error at line 1: Tag <!DOCTYPE unclosed.\n"},
            {"DOCTYPE literal unclosed", "<!DOCTYPE a SYSTEM 'x>\n", "Error at line 0: Tag <!DOCTYPE unclosed.\n"},
            {"CDATA unclosed", "<a>\n<![CDATA[x]>", "Error at line 1: Tag <![CDATA[ unclosed.\n"},
            {"processing instruction unclosed", "<a>x\n<?pi", "Error at line 1: Tag <? unclosed.\n"},
            {"attribute without =", "<a\n b>", "Error at line 1: Unspected value form.\n"},
            {"value without quotes", "<a b=1>", "Error at line 0: Unspected value form.\n"},
            {"value unclosed", "<a b='1>\n", "Error at line 0: Unspected value form.\n"},
            {"end after =", "<a b =\n", "Error at line 1: Unspected EOF.\n"},
            {"end after the name", "<a b\n", "Error at line 1: Unspected EOF.\n"},
            {"UTF-16", std::string("\xFF\xFE<\0a\0/\0>\0", 10),
             "Error at line 0: Text in UTF-16 is not read; convert it to UTF-8.\n"},
            {"UTF-16 without a byte order mark", std::string("<\0?\0x\0m\0l\0", 10),
             "Error at line 0: Text in UTF-16 is not read; convert it to UTF-8.\n"},
        });
    // What both modes read the same way fails the same way.
    rkXMLFStream usual;
    usual.setLogEnabled(false);
    rkXMLFStream foreign = foreignStream();
    for (const char* text : {"<a>\n</b>", "x\n<!-- c", "<a>\n<", "<a>\n< >", "</a", "<a b=\"1\"\n\n", "<a b=\"1>"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(readWith(foreign, text), readWith(usual, text));
    }
}

TEST(ForeignXml, ReferencesDecodeToTheDeclaredCharacterSet) {
    const std::string body = "><a t=\"&#233;&#x4E2D;\">&#65;&#233;&#8364;&#x81;&#x2014;&lt;</a>";
    expectCases(
        foreignStream(),
        {
            {"none: UTF-8", "<a t=\"&#233;&#x4E2D;\">&#65;&#233;&#8364;&#x81;&#x2014;&lt;</a>",
             "?root?(a[t=\xC3\xA9\xE4\xB8\xAD]'A\xC3\xA9\xE2\x82\xAC\xC2\x81\xE2\x80\x94<')"},
            {"ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?" + body,
             "?root?(<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>,a[t=\xE9&#x4E2D;]'A\xE9&#8364;\x81&#x2014;<')"},
            {"Windows-1252", "<?xml version=\"1.0\" encoding=\"windows-1252\"?" + body,
             "?root?(<?xml version=\"1.0\" encoding=\"windows-1252\" ?>,a[t=\xE9&#x4E2D;]'A\xE9\x80&#x81;\x97<')"},
            {"US-ASCII", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?" + body,
             "?root?(<?xml version=\"1.0\" encoding=\"US-ASCII\" "
             "?>,a[t=&#233;&#x4E2D;]'A&#233;&#8364;&#x81;&#x2014;<')"},
            {"a set not known", "<?xml version=\"1.0\" encoding=\"EUC-JP\"?" + body,
             "?root?(<?xml version=\"1.0\" encoding=\"EUC-JP\" ?>,a[t=&#233;&#x4E2D;]'A&#233;&#8364;&#x81;&#x2014;<')"},
            {"UTF-16 in name only", "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>&#233;</a>",
             "?root?(<?xml version=\"1.0\" encoding=\"UTF-16\" ?>,a'\xC3\xA9')"},
        });
}

TEST(ForeignXml, EachTableSwitchLeavesTheMode) {
    rkXMLFStream stream;
    EXPECT_FALSE(stream.isForeignXml());
    for (const char* leave : {"defaultSymbols", "utf8Symbols", "clearSymbols"}) {
        SCOPED_TRACE(leave);
        stream.foreignXml();
        EXPECT_TRUE(stream.isForeignXml());
        if (std::string(leave) == "defaultSymbols") stream.defaultSymbols();
        if (std::string(leave) == "utf8Symbols") stream.utf8Symbols();
        if (std::string(leave) == "clearSymbols") stream.clearSymbols();
        EXPECT_FALSE(stream.isForeignXml());
        EXPECT_EQ(readWith(stream, "<a b='1'/>"), "Error at line 0: Unspected value form.\n");
    }
    // The mode writes as UTF-8 mode does.
    stream.foreignXml();
    rkXMLDocument document;
    addElement(document.getRoot(), "a", "\xC3\xA9 & <")->setAttribute("q", "\"");
    std::string written;
    stream.writeDocumentToString(document, written);
    EXPECT_EQ(written, "<a q=\"&quot;\">\xC3\xA9 &amp; &lt;</a>");
}

TEST(ForeignXml, ARealisticFileWrittenBackReadsTheSameInUtf8Mode) {
    const std::string file =
        "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'?>\n"
        "<?xml-stylesheet type='text/xsl' href='style.xsl'?>\n"
        "<!DOCTYPE fontconfig SYSTEM 'urn:fontconfig:fonts.dtd' [\n"
        "  <!ENTITY vendor \"Example & Co\">\n"
        "]>\n"
        "<!-- generated -->\n"
        "<fontconfig>\n"
        "  <description>Fonts for &vendor;</description>\n"
        "  <match target = 'pattern'>\n"
        "    <test name=\"family\" qual='any'><string>mono</string></test>\n"
        "    <edit name='family' mode=\"assign\"><string>Deja&#x56;u Sans &#8212; Mono</string></edit>\n"
        "  </match>\n"
        "  <script><![CDATA[if (a < b && c) { go(); }]]></script>\n"
        "  <note>keep <?editor mark?>this</note>\n"
        "</fontconfig>\n";
    const std::string tree =
        "?root?(<?xml version=\"1.0\" encoding=\"UTF-8\" ?>,<!-- generated -->,fontconfig("
        "description'Fonts for &vendor;',match[target=pattern](test[name=family,qual=any](string'mono'),"
        "edit[mode=assign,name=family](string'DejaVu Sans \xE2\x80\x94 Mono')),"
        "script'if (a < b && c) { go(); }',note'keep this'))";
    rkXMLFStream foreign = foreignStream();
    rkXMLDocument document;
    foreign.readDocumentFromString(document, file);
    EXPECT_EQ(describe(document.getRoot()), tree);
    EXPECT_TRUE(foreign.getDiagnostics().empty());

    std::string written;
    foreign.writeDocumentToString(document, written);
    rkXMLFStream utf8;
    utf8.utf8Symbols();
    rkXMLDocument back;
    utf8.readDocumentFromString(back, written);
    EXPECT_TRUE(utf8.getDiagnostics().empty());
    EXPECT_EQ(describe(back.getRoot()), describe(document.getRoot()));
}
