#include <gtest/gtest.h>

#include <string>

#include "rkXMLHeader.h"

TEST(HeaderTest, NewHeaderIsEmpty) {
    rkXMLHeader header;
    EXPECT_EQ(header.getElementType(), rkXMLNode::Header);
    EXPECT_EQ(header.getParent(), nullptr);
    EXPECT_TRUE(header.getVersion().empty());
    EXPECT_TRUE(header.getEncodingType().empty());
    EXPECT_TRUE(header.getName().empty());
}

TEST(HeaderTest, SetVersionAcceptsOnlyKnownVersions) {
    rkXMLHeader header;
    header.setEncodingType("utf-16");
    header.setVersion("1.1");
    EXPECT_EQ(header.getVersion(), "1.1");
    EXPECT_EQ(header.getName(), "<?xml version=\"1.1\" encoding=\"utf-16\" ?>");
    header.setVersion("2.0");
    EXPECT_EQ(header.getVersion(), "2.0");

    for (const char* refused : {"1.2", "", "1.1 ", " 1.1", "3.0", "1"}) {
        header.setVersion("2.0");
        header.setVersion(refused);
        EXPECT_EQ(header.getVersion(), "1.0") << '"' << refused << '"';
    }
    EXPECT_EQ(header.getName(), "<?xml version=\"1.0\" encoding=\"utf-16\" ?>");
}

TEST(HeaderTest, SetEncodingAcceptsOnlyKnownEncodings) {
    rkXMLHeader header;
    header.setEncodingType("utf-8");  // before any version
    EXPECT_EQ(header.getName(), "<?xml version=\"\" encoding=\"utf-8\" ?>");
    header.setVersion("1.0");
    EXPECT_EQ(header.getName(), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>");

    for (const char* accepted : {"unicode", "utf-16", "utf-8"}) {
        header.setEncodingType(accepted);
        EXPECT_EQ(header.getEncodingType(), accepted);
    }
    for (const char* refused : {"UTF-8", "utf8", "latin-1", " utf-8", ""}) {
        header.setEncodingType("utf-8");
        header.setEncodingType(refused);
        EXPECT_EQ(header.getEncodingType(), "") << '"' << refused << '"';
        EXPECT_EQ(header.getName(), "<?xml version=\"1.0\" ?>");
    }
}

TEST(HeaderTest, SettersRebuildATextOverwrittenBySetName) {
    rkXMLHeader header;
    header.setVersion("1.1");
    header.setName("anything");
    EXPECT_EQ(header.getName(), "anything");
    header.setEncodingType("unicode");
    EXPECT_EQ(header.getName(), "<?xml version=\"1.1\" encoding=\"unicode\" ?>");
}

TEST(HeaderTest, DecodeTakesValuesFromTheFirstQuotedPairs) {
    struct Case {
        const char* text;
        const char* version;
        const char* encoding;
    };
    const Case cases[] = {
        {"xml version=\"1.1\" encoding=\"unicode\"", "1.1", "unicode"},
        {"xml version=\"1.0\" encoding=\"utf-8\" ", "1.0", "utf-8"},
        {"xml version=\"2.0\"", "2.0", ""},
        {"xml version=\"1.0\" standalone=\"yes\"", "1.0", ""},
        {"xml version=\"1.0\" standalone=\"no\" encoding=\"utf-8\"", "1.0", ""},
        // The first pair after the version's value counts, not the one after the keyword.
        {"xml version=\"1.1\" x=\"utf-16\" encoding=\"utf-8\"", "1.1", "utf-16"},
        // The keyword only has to be present; the value is the first pair of the text.
        {"xml a=\"2.0\" version=\"1.1\"", "2.0", ""},
        {"xml encoding=\"utf-8\"", "1.0", ""},
        {"xml version='1.1'", "1.0", ""},
        {"xml version='1.1' encoding=\"utf-8\"", "1.0", ""},  // version part fails, encoding not tried
        {"xml version=\"1.1", "1.0", ""},                      // no closing quote
        {"xml version=\"\" encoding=\"utf-16\"", "1.0", "utf-16"},
        {"xml version=\"3.0\" encoding=\"utf-8\"", "1.0", "utf-8"},
        {"xml version=\"1.1\" encoding=\"utf-8", "1.1", ""},
        {"", "1.0", ""},
    };
    for (const Case& c : cases) {
        rkXMLHeader header;
        header.setVersion("2.0");
        header.setEncodingType("unicode");  // decode replaces both
        header.decode(c.text);
        EXPECT_EQ(header.getVersion(), c.version) << c.text;
        EXPECT_EQ(header.getEncodingType(), c.encoding) << c.text;
    }

    rkXMLHeader header;
    header.decode("xml version=\"1.0\"");
    EXPECT_EQ(header.getName(), "<?xml version=\"1.0\" ?>");
    header.decode("xml version=\"1.1\" encoding=\"utf-16\" ");
    EXPECT_EQ(header.getName(), "<?xml version=\"1.1\" encoding=\"utf-16\" ?>");
}
