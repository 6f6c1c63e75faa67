#include <gtest/gtest.h>

#include <string>

#include "rkXMLHeader.h"

TEST(Header, SettersAcceptOnlyKnownValuesAndRebuildTheText) {
    rkXMLHeader header;
    header.setEncodingType("utf-8");  // before any version
    EXPECT_EQ(header.getName(), "<?xml version=\"\" encoding=\"utf-8\" ?>");
    header.setVersion("1.1");
    header.setEncodingType("utf-16");
    EXPECT_EQ(header.getName(), "<?xml version=\"1.1\" encoding=\"utf-16\" ?>");
    for (const char* refused : {"1.2", "", " 1.1", "utf 8", "8bit"}) {
        SCOPED_TRACE(refused);
        header.setVersion("2.0");
        header.setEncodingType("utf-8");
        header.setVersion(refused);
        header.setEncodingType(refused);
        EXPECT_EQ(header.getVersion(), "1.0");
        EXPECT_EQ(header.getEncodingType(), "");
        EXPECT_EQ(header.getName(), "<?xml version=\"1.0\" ?>");
    }
}

TEST(Header, DecodeTakesTheVersionFromTheFirstQuotedPairAndTheEncodingFromItsKeyword) {
    struct Row {
        const char *text, *version, *encoding;
    };
    const Row rows[] = {
        {"xml version=\"1.1\" encoding=\"unicode\"", "1.1", "unicode"},
        // The encoding is the value of its own keyword.
        {"xml version=\"1.0\" standalone=\"no\" encoding=\"utf-8\"", "1.0", "utf-8"},
        {"xml version=\"1.1\" x=\"utf-16\" encoding=\"utf-8\"", "1.1", "utf-8"},
        // The keyword only has to be present; the value is the first pair of the text.
        {"xml a=\"2.0\" version=\"1.1\"", "2.0", ""},
        {"xml encoding=\"utf-8\"", "1.0", ""},
        {"xml version='1.1' encoding=\"utf-8\"", "1.0", ""},  // version fails, encoding not tried
        {"xml version=\"1.1", "1.0", ""},
        {"xml version=\"3.0\" encoding=\"utf-16\"", "1.0", "utf-16"},
        {"xml version=\"1.1\" encoding=\"utf-8", "1.1", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        rkXMLHeader header;
        header.setVersion("2.0");
        header.setEncodingType("unicode");  // decode replaces both
        header.decode(row.text);
        EXPECT_EQ(header.getVersion(), row.version);
        EXPECT_EQ(header.getEncodingType(), row.encoding);
    }
}
