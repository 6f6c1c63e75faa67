// Values to text and back: valueToString, the lenient stringToValue (as atoi and atof read) and the strict valueOr.
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "rkXMLConverter.h"
#include "rkXMLText.h"
#include "tests/TestSupport.h"

using testing_support::TableRow;

namespace {

template <typename T>
std::string text(T value) {
    std::string out = "stale";  // must be replaced, not appended to
    rkXMLConverter::valueToString(value, out);
    return out;
}

template <typename T>
T read(const std::string& text, T start = T{}) {
    rkXMLConverter::stringToValue(text, start);
    return start;
}

// Each type's extremes and their neighbours are written and read back unchanged, leniently and strictly.
template <typename T, typename... Others>
void expectBoundariesRoundTrip() {
    using L = std::numeric_limits<T>;
    for (T value : {L::min(), T(L::min() + 1), T{0}, T(L::max() - 1), L::max()}) {
        EXPECT_EQ(read<T>(text(value)), value);
        EXPECT_EQ(rkXMLConverter::valueOr(text(value), T{7}), value);
    }
    if constexpr (sizeof...(Others) > 0) expectBoundariesRoundTrip<Others...>();
}

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr int intMax = std::numeric_limits<int>::max();
constexpr int intMin = std::numeric_limits<int>::min();
constexpr unsigned uMax = std::numeric_limits<unsigned>::max();
constexpr long long llMin = std::numeric_limits<long long>::min();
constexpr unsigned long long ullMax = std::numeric_limits<unsigned long long>::max();

// Decimal comma and grouping by thousands, as many hosts install.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

}  // namespace

TEST(Converter, WritesTruthTextsAndNumbers) {
    EXPECT_EQ(text(true), "true");
    EXPECT_EQ(text(false), "false");
    EXPECT_EQ(text("hello"), "hello");  // a literal is text, not a pointer that converts to true
    EXPECT_EQ(text(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(text(-42), "-42");
    EXPECT_EQ(text(4294967295u), "4294967295");
    EXPECT_EQ(text(llMin), "-9223372036854775808");
    EXPECT_EQ(text(ullMax), "18446744073709551615");
    EXPECT_EQ(text(0.1f), "0.1");
    EXPECT_EQ(text(2.5), "2.5");
    EXPECT_EQ(text(100.0), "100");
    EXPECT_EQ(text(1.0 / 3), "0.3333333333");  // ten significant digits
    EXPECT_EQ(text(1.0f / 3), "0.33333334");   // eight for a float
    // Exponent form from 10^digits up and below 10^-4, with two exponent digits at least.
    EXPECT_EQ(text(1234567890.0), "1234567890");
    EXPECT_EQ(text(12345678901.0), "1.23456789e+10");
    EXPECT_EQ(text(100000000.0f), "1e+08");
    EXPECT_EQ(text(0.0001), "0.0001");
    EXPECT_EQ(text(0.00001), "1e-05");
    EXPECT_EQ(text(-0.0), "-0");
    EXPECT_EQ(text(-inf), "-inf");
    EXPECT_EQ(text(std::nan("")), "nan");
}

TEST(Converter, RoundTripsIntegralBoundariesAndTheLargestFloat) {
    expectBoundariesRoundTrip<int, unsigned int, long, unsigned long, long long, unsigned long long>();
    EXPECT_EQ(read<float>(text(std::numeric_limits<float>::max())), std::numeric_limits<float>::max());
}

// The lenient reading is the C library's in its own locale: strtol and its kin for integers (int and unsigned
// saturate as a 32-bit long does), strtod and strtof for floating numbers, but never a hexadecimal form.
TEST(Converter, ReadsTheLeadingNumberAsTheCLibraryDoes) {
    using namespace std::string_literals;
    std::vector<std::string> texts = {"12abc", " \t\n\v\f\r-7", "+5", "1\0002"s, "abc",       "",    "+-5", "- 5",
                                      "\2405", "0x10",          "-1", "inf",     "-Infinity", "0.1", "e5"};
    texts.insert(texts.end(), {"2.5e3xyz", "  -.5", "+1.e1", "1e+", ".", " - 1", "1e400", "0.001e312", "0.01e310",
                               "1000e-330", "-1e400", "3.40282356e38", "-3.4028236e38"});
    texts.insert(texts.end(),
                 {"2147483648", "-2147483649", "4294967296", "-4294967295", "-4294967296", "9223372036854775808",
                  "-9223372036854775809", "-18446744073709551615", "18446744073709551616", "-18446744073709551616"});
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const char* c = text.c_str();
        const long long wide = std::strtoll(c, nullptr, 10);
        const bool fitsUnsigned = wide >= -static_cast<long long>(uMax) && wide <= static_cast<long long>(uMax);
        EXPECT_EQ(read<int>(text, 99), std::clamp<long long>(wide, intMin, intMax));
        const unsigned asUnsigned = fitsUnsigned ? static_cast<unsigned>(wide) : uMax;
        EXPECT_EQ(read<unsigned>(text, 99), asUnsigned);
        EXPECT_EQ(read<long>(text, 99), std::strtol(c, nullptr, 10));
        // Not strtoul itself: some C libraries of 32-bit longs wrap a minus beyond the range instead of saturating.
        EXPECT_EQ(read<unsigned long>(text, 99),
                  sizeof(long) == sizeof(int) ? asUnsigned : std::strtoul(c, nullptr, 10));
        EXPECT_EQ(read<long long>(text, 99), wide);
        EXPECT_EQ(read<unsigned long long>(text, 99), std::strtoull(c, nullptr, 10));
        EXPECT_EQ(read<double>(text, 9.0), text == "0x10" ? 0.0 : std::strtod(c, nullptr));
        EXPECT_EQ(read<float>(text, 9.0f), text == "0x10" ? 0.0f : std::strtof(c, nullptr));
    }
    EXPECT_EQ(read<double>("0x1p3", 9.0), 0.0);
    EXPECT_TRUE(std::isnan(read<double>("nan")));
    EXPECT_TRUE(std::isnan(read<float>("nan")));
}

TEST(Converter, ReadsTruthTextsExactOnly) {
    EXPECT_TRUE(read<bool>("true", false));
    EXPECT_FALSE(read<bool>("false", true));
    for (const char* other : {"True", "TRUE", "1", " true", "false ", ""}) {
        SCOPED_TRACE(other);
        EXPECT_TRUE(read<bool>(other, true));
        EXPECT_FALSE(read<bool>(other, false));
    }
}

// Neither the C++ global locale nor the C runtime's may bring a decimal comma into the texts.
TEST(Converter, IgnoresTheGlobalStreamAndCRuntimeLocales) {
    const std::string savedC = std::setlocale(LC_ALL, nullptr);
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8", "ru_RU.UTF-8"})
        if ((comma = std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',')) break;
    // An unnamed locale: installing it leaves the C runtime's as it is.
    const std::locale saved = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    std::ostringstream streamProbe;
    streamProbe << 1234.5;
    char cProbe[8];
    std::snprintf(cProbe, sizeof cProbe, "%g", 2.5);
    const std::string writtenDouble = text(1234.5);
    const std::string writtenFloat = text(0.25f);
    const double readDouble = read<double>("2.5");
    const float readFloat = read<float>("1.5e1");
    std::locale::global(saved);
    std::setlocale(LC_ALL, savedC.c_str());
    ASSERT_EQ(streamProbe.str(), "1.234,5");  // the locale really reaches a default stream
    EXPECT_EQ(writtenDouble, "1234.5");
    EXPECT_EQ(writtenFloat, "0.25");
    EXPECT_EQ(readDouble, 2.5);
    EXPECT_EQ(readFloat, 15.0f);
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma is installed (Debian: locales, de_DE.UTF-8)";
    EXPECT_STREQ(cProbe, "2,5");
}

// What valueOr gives for a text, per type; nullopt where it gives the default.
struct Strict {
    std::optional<int> asInt;
    std::optional<unsigned> asUnsigned;
    std::optional<long long> asLongLong;
    std::optional<double> asDouble;
    std::optional<float> asFloat;
};

TEST(ValueOr, NumbersOrTheDefault) {
    const auto none = std::nullopt;
    const TableRow<std::string, Strict> rows[] = {
        {"a number", "42", {42, 42u, 42, 42.0, 42.0f}},
        {"XML white space around it", " \t42\r\n", {42, 42u, 42, 42.0, 42.0f}},
        {"a plus", "+7", {7, 7u, 7, 7.0, 7.0f}},
        {"a minus", "-3", {-3, none, -3, -3.0, -3.0f}},
        {"leading zeros", "007", {7, 7u, 7, 7.0, 7.0f}},
        {"an empty text", "", {none, none, none, none, none}},
        {"a word, read as 0 by stringToValue", "fast", {none, none, none, none, none}},
        {"trailing text", "12abc", {none, none, none, none, none}},
        {"a blank inside", "4 2", {none, none, none, none, none}},
        {"two signs", "+-1", {none, none, none, none, none}},
        {"two minus signs", "--1", {none, none, none, none, none}},
        {"a blank after the sign", "- 1", {none, none, none, none, none}},
        {"a zero byte after it", std::string("1\0", 2), {none, none, none, none, none}},
        {"hexadecimal", "0x10", {none, none, none, none, none}},
        {"a fraction", "2.5", {none, none, none, 2.5, 2.5f}},
        {"an exponent", "-1e3", {none, none, none, -1000.0, -1000.0f}},
        {"a leading point", ".5", {none, none, none, 0.5, 0.5f}},
        {"int's largest", "2147483647", {intMax, 2147483647u, 2147483647, 2147483647.0, 2147483648.0f}},
        {"beyond int", "2147483648", {none, 2147483648u, 2147483648LL, 2147483648.0, 2147483648.0f}},
        {"int's smallest", "-2147483648", {intMin, none, -2147483648LL, -2147483648.0, -2147483648.0f}},
        {"beyond unsigned", "4294967296", {none, none, 4294967296LL, 4294967296.0, 4294967296.0f}},
        {"beyond long long", "9223372036854775808", {none, none, none, 9223372036854775808.0, 9223372036854775808.0f}},
        {"beyond float's range", "1e39", {none, none, none, 1e39, none}},
        {"beyond double's range", "1e999", {none, none, none, none, none}},
        {"too close to zero", "1e-999", {none, none, none, none, none}},
        {"infinity", "inf", {none, none, none, HUGE_VAL, HUGE_VALF}},
        {"negative infinity", "-inf", {none, none, none, -HUGE_VAL, -HUGE_VALF}},
    };
    for (const auto& [name, text, expected] : rows) {
        SCOPED_TRACE(name);
        EXPECT_EQ(rkXMLConverter::valueOr(text, -99), expected.asInt.value_or(-99));
        EXPECT_EQ(rkXMLConverter::valueOr(text, 99u), expected.asUnsigned.value_or(99u));
        EXPECT_EQ(rkXMLConverter::valueOr(text, -98LL), expected.asLongLong.value_or(-98LL));
        EXPECT_EQ(rkXMLConverter::valueOr(text, -0.5), expected.asDouble.value_or(-0.5));
        EXPECT_EQ(rkXMLConverter::valueOr(text, -0.25f), expected.asFloat.value_or(-0.25f));
    }
    EXPECT_TRUE(std::isnan(rkXMLConverter::valueOr("nan", -0.5)));
    EXPECT_EQ(rkXMLConverter::valueOr("-1", 5UL), 5UL);
    EXPECT_EQ(rkXMLConverter::valueOr("18446744073709551616", 5ULL), 5ULL);
    EXPECT_EQ(rkXMLConverter::valueOr(std::to_string(std::numeric_limits<long>::min()) + "0", 5L), 5L);
}

TEST(ValueOr, TruthValuesOrTheDefault) {
    const TableRow<std::string, std::optional<bool>> rows[] = {
        {"true", "true", true},
        {"false", "false", false},
        {"1", "1", true},
        {"0", "0", false},
        {"blanks", " true\n", true},
        {"capitals", "TRUE", std::nullopt},
        {"yes", "yes", std::nullopt},
        {"empty", "", std::nullopt},
        {"2", "2", std::nullopt},
        {"more after it", "truex", std::nullopt},
    };
    for (const auto& [name, text, expected] : rows) {
        EXPECT_EQ(rkXMLConverter::valueOr(text, true), expected.value_or(true)) << name;
        EXPECT_EQ(rkXMLConverter::valueOr(text, false), expected.value_or(false)) << name;
    }
}

TEST(ValueOr, TextsOrTheDefault) {
    EXPECT_EQ(rkXMLConverter::valueOr("", "dark"), "dark");  // a literal default gives a string, not a bool
    EXPECT_EQ(rkXMLConverter::valueOr("light", "dark"), "light");
    EXPECT_EQ(rkXMLConverter::valueOr("", std::string("dark")), "dark");
    EXPECT_EQ(rkXMLConverter::valueOr(" ", std::string("dark")), " ");
    EXPECT_EQ(rkXMLConverter::valueOr("", nullptr), "");
}

// The character sets a declaration names; of the Unicode forms only UTF-8 is bytes as they stand.
TEST(Text, CharsetNamed) {
    using rkXMLText::Charset;
    const TableRow<const char*, Charset> rows[] = {
        {"no name", "", Charset::Utf8},
        {"UTF-8", "Utf-8", Charset::Utf8},
        {"UTF-16", "UTF-16", Charset::Other},
        {"ISO-8859-1", "Latin1", Charset::Latin1},
        {"Windows-1252", "CP1252", Charset::Windows1252},
        {"US-ASCII", "US-ASCII", Charset::Ascii},
        {"a set not converted", "EUC-JP", Charset::Other},
    };
    for (const auto& [name, encoding, charset] : rows) EXPECT_EQ(rkXMLText::charsetNamed(encoding), charset) << name;
}

// UTF-8 into a set and back, or the first character the set cannot hold.
TEST(Text, ConvertsToAndFromUtf8) {
    using rkXMLText::Charset;
    const struct {
        Charset charset;
        const char* utf8;
        const char* bytes;   // converted before the first character not held
        const char* unheld;  // empty when all is held
    } rows[] = {
        {Charset::Latin1, "K\xC3\xB6ln", "K\xF6ln", ""},
        {Charset::Windows1252, "\xE2\x82\xAC \xC5\xB8", "\x80 \x9F", ""},
        {Charset::Latin1, "K\xE2\x82\xAC", "K", "\xE2\x82\xAC"},
        {Charset::Ascii, "a\xC3\xA9", "a", "\xC3\xA9"},
        {Charset::Latin1, "a\xFF", "a", "\xFF"},  // no UTF-8
        {Charset::Utf8, "\xE4\xB8\xAD", "\xE4\xB8\xAD", ""},
    };
    for (const auto& row : rows) {
        std::string bytes;
        std::string unheld;
        EXPECT_EQ(rkXMLText::fromUtf8(row.utf8, row.charset, bytes, unheld), *row.unheld == 0) << row.utf8;
        EXPECT_EQ(bytes, row.bytes) << row.utf8;
        EXPECT_EQ(unheld, row.unheld) << row.utf8;
        if (*row.unheld == 0) {
            EXPECT_EQ(rkXMLText::toUtf8(bytes, row.charset), row.utf8) << row.utf8;
        }
    }
    EXPECT_EQ(rkXMLText::toUtf8("\x81", Charset::Windows1252), "\xC2\x81");  // undefined: the C1 control
}

TEST(Text, FirstNonUtf8) {
    const TableRow<std::string, std::optional<std::size_t>> rows[] = {
        {"all UTF-8", "a\xC3\xB6", std::nullopt},
        {"cut short", "ab\xC3", 2},
        {"an overlong form", "\xE0\x80\xAF", 0},
        {"a surrogate", "a\xED\xA0\x80", 1},
    };
    for (const auto& [name, text, at] : rows) EXPECT_EQ(rkXMLText::firstNonUtf8(text), at) << name;
}

TEST(Text, XmlNamesAndCharacters) {
    for (const char* name : {"a",
                             "gr\xC3\xB6\xC3\x9F"
                             "e",
                             "_x-1.b:c"})
        EXPECT_TRUE(rkXMLText::isXmlName(name)) << name;
    for (const char* name : {"", "1x", "a b", "a<b", "a\xC2\x85"}) EXPECT_FALSE(rkXMLText::isXmlName(name)) << name;
    EXPECT_TRUE(rkXMLText::holdsOnlyXmlCharacters("a\tb\r\n\xE4\xB8\xAD"));
    for (const char* text : {"x\x01y", "\xEF\xBF\xBE", "\xEF\xBF\xBF", "\xFF"}) {
        EXPECT_FALSE(rkXMLText::holdsOnlyXmlCharacters(text)) << text;
    }
}

TEST(Text, ShownEscapesControlCharacters) {
    EXPECT_EQ(rkXMLText::shown("a\nb\x7F"), "a\\x0Ab\\x7F");
    EXPECT_EQ(rkXMLText::shown("a\xC2\x85"), "a\\xC2\\x85");  // a C1 control in UTF-8
    EXPECT_EQ(rkXMLText::shown("K\xC3\xB6ln \x9F"), "K\xC3\xB6ln \\x9F");
}
