#include <gtest/gtest.h>

#include <string>

#include "rkXMLHeader.h"

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
