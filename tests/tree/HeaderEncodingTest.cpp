// A header keeps any well-formed encoding name, whichever way it gets it, and drops anything else.
#include <gtest/gtest.h>

#include <string>

#include "rkXMLDocument.h"
#include "rkXMLHeader.h"

TEST(HeaderEncoding, WellFormedNamesAreKept) {
    const char* const kept[] = {"utf-8",      "UTF-8",       "utf8",         "unicode",  "utf-16",
                                "ISO-8859-1", "iso_8859-15", "windows-1252", "US-ASCII", "Shift_JIS",
                                "x.y",        "a",           "EUC-JP"};
    const char* const dropped[] = {"",       "8bit",   "-utf-8", ".x",           "_x",   "utf 8",
                                   " utf-8", "utf-8 ", "utf:8",  "l\xC3\xA4tin", "a\"b", "ISO-8859-1\n"};
    for (const char* name : kept) {
        rkXMLHeader header;
        header.setVersion("1.0");
        header.setEncodingType(name);
        EXPECT_EQ(header.getEncodingType(), name);
        EXPECT_EQ(header.getName(), "<?xml version=\"1.0\" encoding=\"" + std::string(name) + "\" ?>");
    }
    for (const char* name : dropped) {
        rkXMLHeader header;
        header.setVersion("1.0");
        header.setEncodingType("utf-8");
        header.setEncodingType(name);
        EXPECT_EQ(header.getEncodingType(), "") << '"' << name << '"';
        EXPECT_EQ(header.getName(), "<?xml version=\"1.0\" ?>") << '"' << name << '"';
    }
}

TEST(HeaderEncoding, KeptByDecodeSetHeaderAndTheCopy) {
    rkXMLHeader decoded;
    decoded.decode("xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"no\"");
    EXPECT_EQ(decoded.getEncodingType(), "ISO-8859-1");
    rkXMLDocument document;
    document.setHeader("1.0", "Windows-1252");
    EXPECT_EQ(document.getHeader()->getName(), "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>");
    const rkXMLDocument copy(document);
    EXPECT_EQ(copy.getHeader()->getEncodingType(), "Windows-1252");
}
