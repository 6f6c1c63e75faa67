// What the width of the platform's integers changes: positions beyond 2^31 (positions are unsigned
// int, npos the largest), a `long` of 32 bits on Windows, and files beyond 2 and 4 GiB in a 32-bit
// process. The 32-bit Windows build in CI runs all of it.
#include <cstdint>

#include "rkXMLConverter.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

constexpr unsigned int twoToThe31 = 1u << 31;

// Every operation that takes a position or an index, at one beyond the children: what adds appends,
// what looks up or removes misses.
TEST(WordSize, PositionsBeyondTwoToThe31AppendOrMiss) {
    for (const unsigned int position : {twoToThe31, twoToThe31 + 1, rkXMLElement::npos - 1, rkXMLElement::npos}) {
        SCOPED_TRACE(position);
        rkXMLElement parent;
        parent.setName("p");
        addElement(&parent, "a");
        parent.addChild(new rkXMLComment, position);
        rkXMLFactory::createNode(&parent, rkXMLNode::Element, "created", position);
        rkXMLFactory::setElement(&parent, "set", true, position);
        rkXMLFactory::setComment(&parent, "comment", position);
        EXPECT_EQ(describe(&parent), "p(a,^<!---->,created,set,<!--comment-->)");
        EXPECT_EQ(parent.getChild(position), nullptr);
        EXPECT_EQ(rkXMLFactory::getElement(&parent, position), nullptr);
        EXPECT_FALSE(parent.removeChild(position));
        EXPECT_EQ(parent.getChildCount(), 5u);
    }
}

// The text of `text` read into a T and written again.
template <class T>
std::string reread(const char* text) {
    T value{};
    rkXMLConverter::stringToValue(text, value);
    std::string written;
    rkXMLConverter::valueToString(value, written);
    return written;
}

// `long` has 32 bits on Windows, 32-bit and 64-bit alike, and 64 on other 64-bit systems: its
// conversions saturate at its own bounds; long long has 64 everywhere.
TEST(WordSize, LongConversionsSaturateAtTheWidthOfLong) {
#ifdef _WIN32
    EXPECT_EQ(sizeof(long), 4u);
#endif
    const bool longHas32Bits = sizeof(long) == 4;
    struct Row {
        const char* name;
        std::string (*reread)(const char*);
        const char* text;
        const char* with32Bits;
        const char* with64Bits;
    };
    const Row rows[] = {
        {"long above", reread<long>, "2147483648", "2147483647", "2147483648"},
        {"long below", reread<long>, "-2147483649", "-2147483648", "-2147483649"},
        {"unsigned long above", reread<unsigned long>, "4294967296", "4294967295", "4294967296"},
        {"unsigned long of -1", reread<unsigned long>, "-1", "4294967295", "18446744073709551615"},
        {"long long", reread<long long>, "4294967296", "4294967296", "4294967296"},
        {"unsigned long long", reread<unsigned long long>, "-1", "18446744073709551615", "18446744073709551615"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.reread(row.text), longHas32Bits ? row.with32Bits : row.with64Bits) << row.name;
}

using LargeFile = ScratchTest;

// A file beyond 2 GiB and one beyond 4 GiB, sparse so that they take no disk space, with an element at
// their start: a 32-bit process reads what it can hold whole and refuses the rest with the read error,
// the document untouched; never does it read a part.
TEST_F(LargeFile, BeyondTwoAndFourGiBIsReadWholeOrRefused) {
    if (sizeof(std::size_t) > 4) GTEST_SKIP() << "a 64-bit process would read gigabytes; the 32-bit build checks this";
    for (const std::uint64_t size : {(std::uint64_t{1} << 31) + 16, (std::uint64_t{1} << 32) + 16}) {
        SCOPED_TRACE(size);
        const std::string name = path("large.xml");
        writeFile(name, "<a>x</a>");
        std::error_code error;
        fs::resize_file(name, size, error);
        if (error) GTEST_SKIP() << "cannot make a sparse file of " << size << " bytes here: " << error.message();
        rkXMLDocument document;
        document.setFileName(name);
        const std::string message = errorOf([&] { rkXMLFStream().readDocument(document); });
        if (message == "(no exception)") {
            EXPECT_EQ(element(document.getTopLevelElement())->getValue(), "x");
        } else {
            EXPECT_EQ(message, "Reading file: " + name + " failed.");
            EXPECT_EQ(describe(document.getRoot()), "?root?");
        }
        fs::remove(name);
    }
}

}  // namespace
