// The writer refuses headers, values and symbol tables that would not read back as they are.
#include <functional>
#include <string>

#include "tests/TestSupport.h"

using testing_support::ScratchTest;

namespace {

struct WriterReadBack : ScratchTest {
    WriterReadBack() { document.setFileName(path("out.xml")); }

    // The writer's message for the document, or "" when it writes it; a refusal leaves the text as it was.
    std::string refusal() { return refusal(stream); }
    std::string refusal(rkXMLFStream& writer) {
        std::string text = "untouched";
        try {
            writer.writeDocumentToString(document, text);
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(text, "untouched");
            return error.what();
        }
        return "";
    }

    rkXMLElement* add(rkXMLNode* parent, const std::string& name, const std::string& value = "") {
        rkXMLElement* element =
            rkXMLFactory::asElement(rkXMLFactory::createNode(parent, rkXMLNode::Element, name, rkXMLElement::npos));
        element->setValue(value);
        return element;
    }

    rkXMLFStream stream;
    rkXMLDocument document;
};

}  // namespace

TEST_F(WriterReadBack, HeadersThatWouldNotReadBackAreRefused) {
    const struct {
        const char* name;
        std::function<void(rkXMLDocument&)> change;
        std::string message;
    } rows[] = {
        {"a name that is no declaration", [](rkXMLDocument& d) { d.getHeader()->setName("<b>"); },
         "Error: header '<b>' cannot be written."},
        {"a name with a line break", [](rkXMLDocument& d) { d.getHeader()->setName("<?xml\n?>"); },
         "Error: header '<?xml\\x0A?>' cannot be written."},
        {"a declaration ending early", [](rkXMLDocument& d) { d.getHeader()->setName("<?xml?> ?>"); },
         "Error: header '<?xml?> ?>' cannot be written."},
        {"a declaration of another version",
         [](rkXMLDocument& d) { d.getHeader()->setName("<?xml version=\"1.1\" ?>"); },
         "Error: header '<?xml version=\"1.1\" ?>' cannot be written."},
        {"a version never set",
         [](rkXMLDocument& d) {
             d.removeHeader();
             auto* header = new rkXMLHeader;
             header->setEncodingType("utf-8");  // the text reads version="", which reads back as 1.0
             rkXMLFactory::asElement(d.getRoot())->addChild(header, 0);
         },
         "Error: header '<?xml version=\"\" encoding=\"utf-8\" ?>' cannot be written."},
        {"a header inside an element",
         [](rkXMLDocument& d) {
             auto* header = new rkXMLHeader;
             header->setVersion("1.0");
             rkXMLFactory::asElement(d.getTopLevelElement())->addChild(header, 0);
         },
         "Error: header inside an element cannot be written."},
        {"a second header",
         [](rkXMLDocument& d) {
             auto* header = new rkXMLHeader;
             header->setVersion("1.1");
             rkXMLFactory::asElement(d.getRoot())->addChild(header, rkXMLElement::npos);
         },
         "Error: a second header cannot be written."},
    };
    for (const auto& row : rows) {
        document.makeEmpty();
        document.setStandardHeader();
        add(document.getRoot(), "settings");
        EXPECT_EQ(refusal(), "") << row.name;
        row.change(document);
        EXPECT_EQ(refusal(), row.message) << row.name;
    }
}

// The default and the UTF-8 table encode every value so that it reads back; other tables are checked.
TEST_F(WriterReadBack, ValuesThatATableWouldNotGiveBackAreRefused) {
    const struct {
        const char* name;
        std::function<void(rkXMLFStream&)> table;
        std::string value;
        std::string message;
    } rows[] = {
        {"the default table", [](rkXMLFStream&) {}, "A<C> & &lt;", ""},
        {"the UTF-8 table", [](rkXMLFStream& s) { s.utf8Symbols(); }, "A<C> & &#60;", ""},
        {"a pair added", [](rkXMLFStream& s) { s.addSymbol("&nbsp;", "\xA0"); }, "A\xA0<C> &nbsp;", ""},
        {"no table", [](rkXMLFStream& s) { s.clearSymbols(); }, "A<C>",
         "Error: value of element 'x' holds '<' once encoded."},
        {"no table, no '<'", [](rkXMLFStream& s) { s.clearSymbols(); }, "A>C & &lt;", ""},
        {"a table without &lt;",
         [](rkXMLFStream& s) {
             s.clearSymbols();
             s.addSymbol("&amp;", "&");
         },
         "A<C>", "Error: value of element 'x' holds '<' once encoded."},
        {"'&' not encoded",
         [](rkXMLFStream& s) {
             s.clearSymbols();
             s.addSymbol("&lt;", "<");
         },
         "&lt;", "Error: value of element 'x' does not read back with this symbol table."},
        {"decoded though never encoded",
         [](rkXMLFStream& s) { s.addSymbol("AB", "x"); },  // x is written AB, but so is AB itself
         "AB", "Error: value of element 'x' does not read back with this symbol table."},
        {"a character reference decoded",
         [](rkXMLFStream& s) {
             s.utf8Symbols();
             s.addSymbol("&amp;", "and");  // '&' is no longer encoded
         },
         "&#65;", "Error: value of element 'x' does not read back with this symbol table."},
    };
    for (const auto& row : rows) {
        rkXMLFStream tables;
        row.table(tables);
        document.makeEmpty();
        add(add(document.getRoot(), "settings"), "x", row.value);
        EXPECT_EQ(refusal(tables), row.message) << row.name;
        if (!row.message.empty()) continue;
        rkXMLDocument reread;
        std::string text;
        tables.writeDocumentToString(document, text);
        tables.readDocumentFromString(reread, text);
        EXPECT_EQ(rkXMLFactory::getText(reread, "settings/x"), row.value) << row.name;
    }
}

TEST_F(WriterReadBack, AttributeValuesInUtf8ModeAreChecked) {
    rkXMLElement* top = add(document.getRoot(), "settings");
    top->setAttribute("a", "AB");
    stream.addSymbol("AB", "x");
    EXPECT_EQ(refusal(), "");  // 8-bit mode writes attribute values as they are
    stream.utf8Symbols();
    stream.addSymbol("AB", "x");
    EXPECT_EQ(refusal(), "Error: attribute 'a' of element 'settings' does not read back with this symbol table.");
}

TEST_F(WriterReadBack, TableWhoseEntitiesHoldLayoutBytesIsRefused) {
    add(document.getRoot(), "settings");
    stream.addSymbol("&a b;", "x");
    EXPECT_EQ(refusal(), "Error: entity '&a b;' of the symbol table holds a blank, tab or line feed.");
    stream.clearSymbols();
    stream.addSymbol("\n", "x");
    EXPECT_EQ(refusal(), "Error: entity '\\x0A' of the symbol table holds a blank, tab or line feed.");
}

TEST_F(WriterReadBack, FirstFaultInDocumentOrderIsReportedAndTheFileKept) {
    stream.clearSymbols();
    add(document.getRoot(), "settings", "A<C");
    auto* header = new rkXMLHeader;
    header->setName("<b>");
    rkXMLFactory::asElement(document.getRoot())->addChild(header, rkXMLElement::npos);
    testing_support::writeFile(path("out.xml"), "before");
    EXPECT_EQ(testing_support::errorOf([&] { stream.writeDocument(document); }),
              "Error: value of element 'settings' holds '<' once encoded.");
    EXPECT_EQ(testing_support::readFile(path("out.xml")), "before");
}
