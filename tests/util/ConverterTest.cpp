#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <locale>
#include <sstream>
#include <string>

#include "rkXMLConverter.h"

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

// Each type's extremes and their neighbours are written and read back unchanged.
template <typename T, typename... Others>
void expectBoundariesRoundTrip() {
    using L = std::numeric_limits<T>;
    for (T value : {L::min(), T(L::min() + 1), T{0}, T(L::max() - 1), L::max()}) EXPECT_EQ(read<T>(text(value)), value);
    if constexpr (sizeof...(Others) > 0) expectBoundariesRoundTrip<Others...>();
}

const double inf = std::numeric_limits<double>::infinity();
const float largestFloat = std::numeric_limits<float>::max();

// Decimal comma and grouping by thousands, as many hosts install.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

}  // namespace

TEST(Converter, WritesTruthTextsAndNumbers) {
    // A literal is text, not a pointer that converts to true; null writes the empty text.
    EXPECT_EQ(text(true) + text(false) + text("hello") + text(static_cast<const char*>(nullptr)), "truefalsehello");
    EXPECT_EQ(text(-42) + " " + text(4294967295u), "-42 4294967295");
    EXPECT_EQ(text(std::numeric_limits<long long>::min()), "-9223372036854775808");
    EXPECT_EQ(text(0.1f) + " " + text(2.5) + " " + text(100.0), "0.1 2.5 100");
    EXPECT_EQ(text(1.0 / 3) + " " + text(1.0f / 3), "0.3333333333 0.33333334");
    // Exponent form from 10^precision up and below 10^-4, with two exponent digits at least.
    EXPECT_EQ(text(1234567890.0) + " " + text(12345678901.0), "1234567890 1.23456789e+10");
    EXPECT_EQ(text(100000000.0f) + " " + text(0.0001) + " " + text(0.00001), "1e+08 0.0001 1e-05");
    EXPECT_EQ(text(-0.0) + " " + text(-inf) + " " + text(std::nan("")), "-0 -inf nan");
}

TEST(Converter, ReadsTheLeadingIntegerOrZeroAndSaturates) {
    EXPECT_EQ(read<int>("12abc") + read<int>(" \t\n-7") + read<int>("+5"), 12 - 7 + 5);
    EXPECT_EQ(read<int>(std::string{'1', '\0', '2'}), 1);  // stops at an embedded zero byte
    // "\2405": a no-break space, then 5.
    for (const char* none : {"abc", "", "   ", "+-5", "- 5", "\2405", "0x10"})
        EXPECT_EQ(read<int>(none, 99) + read<unsigned long long>(none, 99), 0u) << none;
    EXPECT_EQ(read<int>("2147483648"), std::numeric_limits<int>::max());
    EXPECT_EQ(read<int>("-99999999999999999999999"), std::numeric_limits<int>::min());
    EXPECT_EQ(read<long long>("-9223372036854775809"), std::numeric_limits<long long>::min());
    // Unsigned: a minus wraps, a magnitude beyond the range gives the maximum, whatever the sign.
    EXPECT_EQ(read<unsigned int>("-1") & read<unsigned int>("4294967296") & read<unsigned int>("-4294967296"),
              4294967295u);
    EXPECT_EQ(read<unsigned int>("-4294967295"), 1u);
    for (const char* beyond : {"18446744073709551616", "+18446744073709551616", "-18446744073709551616"}) {
        EXPECT_EQ(read<unsigned long long>(beyond), 18446744073709551615ull) << beyond;
        EXPECT_EQ(read<unsigned long>(beyond), std::numeric_limits<unsigned long>::max()) << beyond;
    }
    EXPECT_EQ(read<unsigned long long>("-18446744073709551615") + read<unsigned long long>("-1"), 0u);  // 1 + top
}

TEST(Converter, RoundTripsIntegralBoundariesAndTheLargestFloat) {
    expectBoundariesRoundTrip<int, unsigned int, long, unsigned long, long long, unsigned long long>();
    EXPECT_EQ(read<float>(text(largestFloat)), largestFloat);
}

TEST(Converter, ReadsTheLeadingFloatingNumberOrZero) {
    EXPECT_EQ(read<double>("2.5e3xyz"), 2500.0);
    EXPECT_EQ(read<double>("  -.5") + read<double>("+1.e1") + read<double>("1e+"), 10.5);
    for (const char* none : {"", "abc", "e5", ".", "+-1", " - 1", "0x1p3"})
        EXPECT_EQ(read<double>(none, 9.0), 0.0) << none;
    EXPECT_TRUE(std::isnan(read<float>("nan")));
    // Beyond the range: infinity or zero, as strtod gives them; floats either side of the midpoint to 2^128.
    EXPECT_EQ(read<double>("1e400") + read<double>("0.001e312"), inf);
    EXPECT_EQ(read<double>("1000e-330"), 0.0);
    EXPECT_EQ(read<double>("0.01e310"), 1e308);
    EXPECT_EQ(read<float>("3.40282356e38"), largestFloat);
    EXPECT_EQ(read<float>("-3.4028236e38"), -inf);
}

TEST(Converter, ReadsTruthTextsExactOnly) {
    EXPECT_TRUE(read<bool>("true", false) && !read<bool>("false", true));
    for (const char* other : {"True", "1", " true", "false ", ""})
        EXPECT_TRUE(read<bool>(other, true) && !read<bool>(other, false)) << other;
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
    const std::string written = text(1234.5) + " " + text(0.25f);
    const double parsed = read<double>("2.5") + read<float>("1.5e1");
    std::locale::global(saved);
    std::setlocale(LC_ALL, savedC.c_str());
    ASSERT_EQ(streamProbe.str(), "1.234,5");  // the locale really reaches a default stream
    EXPECT_EQ(written, "1234.5 0.25");
    EXPECT_EQ(parsed, 17.5);
    if (!comma) GTEST_SKIP() << "no locale with a decimal comma is installed (Debian: locales, de_DE.UTF-8)";
    EXPECT_STREQ(cProbe, "2,5");
}
