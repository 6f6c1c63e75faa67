#include <gtest/gtest.h>

#include <string>

#include "rkXMLHeader.h"

TEST(Header, SettersRebuildTheText) {
    rkXMLHeader header;
    header.setEncodingType("utf-8");  // before any version
    EXPECT_EQ(header.getName(), "<?xml version=\"\" encoding=\"utf-8\" ?>");
    header.setVersion("1.1");
    EXPECT_EQ(header.getName(), "<?xml version=\"1.1\" encoding=\"utf-8\" ?>");
    header.setEncodingType("");
    EXPECT_EQ(header.getName(), "<?xml version=\"1.1\" ?>");
}

// Any well-formed encoding name is kept, as dropping it makes other readers take 8-bit text for UTF-8.
TEST(Header, EncodingNamesAreKeptWhenWellFormed) {
    for (const char* kept : {"utf-8", "UTF-8", "utf8", "unicode", "ISO-8859-1", "iso_8859-15", "windows-1252",
                             "Shift_JIS", "x.y", "a", "EUC-JP"}) {
        rkXMLHeader header;
        header.setEncodingType(kept);
        EXPECT_EQ(header.getEncodingType(), kept);
    }
    for (const char* dropped : {"", "8bit", "-utf-8", ".x", "_x", "utf 8", " utf-8", "utf-8 ", "utf:8", "l\xC3\xA4tin",
                                "a\"b", "ISO-8859-1\n"}) {
        rkXMLHeader header;
        header.setEncodingType("utf-8");
        header.setEncodingType(dropped);
        EXPECT_EQ(header.getEncodingType(), "") << '"' << dropped << '"';
    }
}

TEST(Header, VersionsOtherThanTheThreeKnownBecome1_0) {
    for (const char* known : {"1.0", "1.1", "2.0"}) {
        rkXMLHeader header;
        header.setVersion(known);
        EXPECT_EQ(header.getVersion(), known);
    }
    for (const char* refused : {"1.2", "", " 1.1", "8bit"}) {
        rkXMLHeader header;
        header.setVersion("2.0");
        header.setVersion(refused);
        EXPECT_EQ(header.getVersion(), "1.0") << '"' << refused << '"';
    }
}

TEST(Header, DecodeTakesTheVersionFromTheFirstQuotedPairAndTheEncodingFromItsKeyword) {
    struct Row {
        const char *text, *version, *encoding;
    };
    const Row rows[] = {
        {"xml version=\"1.1\" encoding=\"unicode\"", "1.1", "unicode"},
        // The encoding is the value of its own keyword.
        {"xml version=\"1.0\" standalone=\"no\" encoding=\"ISO-8859-1\"", "1.0", "ISO-8859-1"},
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
