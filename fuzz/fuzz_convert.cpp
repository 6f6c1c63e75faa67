// Value conversion against the C library read in the "C" locale.
//
// Property, for every byte string taken as a text (up to its first zero byte, as the converter reads it):
//  - stringToValue into long long, long and unsigned long long gives what strtoll, strtol and strtoull give in
//    base 10; into int, strtoll's reading clamped to int's range; into unsigned int, strtoull's rule at 32 bits
//    (a magnitude beyond 32 bits gives the largest value, else a minus negates it in unsigned arithmetic); and
//    into unsigned long, strtoul's reading at the width of unsigned long;
//  - into double, what strtod gives, except that a hexadecimal form reads as its leading 0; into float, that
//    reading rounded to the nearest float (beyond the largest float: to it or to infinity, whichever is nearer);
//    a not-a-number reading keeps its sign;
//  - and for the first eight bytes taken as a number of every integral type, valueToString then stringToValue
//    gives that number back; as a double and a float, valueToString gives what "%.10g" and "%.8g" print.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "FuzzSupport.h"
#include "rkXMLConverter.h"

namespace {

template <typename T>
T converted(const std::string& text) {
    T value{};
    rkXMLConverter::stringToValue(text, value);
    return value;
}

template <typename T>
void expectSame(const char* what, const std::string& text, T actual, T expected) {
    if (actual != expected) {
        fuzz::fail(std::string(what) + " reading",
                   fuzz::printable(text) + " gave " + std::to_string(actual) + ", not " + std::to_string(expected));
    }
}

// The text without its leading blanks (as isspace knows them in the "C" locale).
const char* afterBlanks(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    return text;
}

// strtoull's rule at 32 bits: a magnitude beyond 32 bits gives the largest value, else a minus negates it.
unsigned unsigned32(const char* text) {
    errno = 0;
    const unsigned long long wide = std::strtoull(text, nullptr, 10);
    if (errno == ERANGE) return std::numeric_limits<unsigned>::max();
    const bool negative = *afterBlanks(text) == '-';
    const unsigned long long magnitude = negative ? 0 - wide : wide;
    if (magnitude > std::numeric_limits<unsigned>::max()) return std::numeric_limits<unsigned>::max();
    return negative ? 0u - static_cast<unsigned>(magnitude) : static_cast<unsigned>(magnitude);
}

// strtod without its hexadecimal forms, which read as their leading 0.
double decimalStrtod(const char* text) {
    const char* p = afterBlanks(text);
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return negative ? -0.0 : 0.0;
    return std::strtod(text, nullptr);
}

// `value` rounded to the nearest float; beyond the largest float, to it or to infinity (2^128 as far as rounding
// goes), a tie going to infinity, whose significand is even.
float nearestFloat(double value) {
    const double largest = std::numeric_limits<float>::max();
    if (std::isnan(value) || std::fabs(value) <= largest) return static_cast<float>(value);
    const double magnitude = std::fabs(value);
    const float rounded = magnitude - largest < 0x1p128 - magnitude ? std::numeric_limits<float>::max()
                                                                    : std::numeric_limits<float>::infinity();
    return value < 0 ? -rounded : rounded;
}

template <typename T>
void expectSameFloating(const char* what, const std::string& text, T actual, T expected) {
    const bool same = std::isnan(expected) ? std::isnan(actual) && std::signbit(actual) == std::signbit(expected)
                                           : std::memcmp(&actual, &expected, sizeof actual) == 0;
    if (!same) {
        char shown[80];
        std::snprintf(shown, sizeof shown, " gave %a, not %a", static_cast<double>(actual),
                      static_cast<double>(expected));
        fuzz::fail(std::string(what) + " reading", fuzz::printable(text) + shown);
    }
}

template <typename T>
void expectRoundTrip(T value) {
    std::string text;
    rkXMLConverter::valueToString(value, text);
    if (converted<T>(text) != value) fuzz::fail("integer round trip", std::to_string(value) + " became " + text);
}

template <typename T>
void expectPrintedAs(T value, const char* format) {
    std::string text;
    rkXMLConverter::valueToString(value, text);
    char printed[64];
    std::snprintf(printed, sizeof printed, format, static_cast<double>(value));
    if (text != printed) fuzz::fail("floating text", text + ", not " + printed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* c = text.c_str();
    errno = 0;
    const long long asLongLong = std::strtoll(c, nullptr, 10);
    expectSame("long long", text, converted<long long>(text), asLongLong);
    const long long intMin = std::numeric_limits<int>::min();
    const long long intMax = std::numeric_limits<int>::max();
    expectSame("int", text, converted<int>(text),
               static_cast<int>(asLongLong < intMin   ? intMin
                                : asLongLong > intMax ? intMax
                                                      : asLongLong));
    expectSame("long", text, converted<long>(text), std::strtol(c, nullptr, 10));
    expectSame("unsigned long long", text, converted<unsigned long long>(text), std::strtoull(c, nullptr, 10));
    expectSame("unsigned long", text, converted<unsigned long>(text), std::strtoul(c, nullptr, 10));
    expectSame("unsigned int", text, converted<unsigned>(text), unsigned32(c));
    const double asDouble = decimalStrtod(c);
    expectSameFloating("double", text, converted<double>(text), asDouble);
    expectSameFloating("float", text, converted<float>(text), nearestFloat(asDouble));

    std::uint64_t bits = 0;
    std::memcpy(&bits, data, size < sizeof bits ? size : sizeof bits);
    expectRoundTrip(static_cast<int>(bits));
    expectRoundTrip(static_cast<unsigned>(bits));
    expectRoundTrip(static_cast<long>(bits));
    expectRoundTrip(static_cast<unsigned long>(bits));
    expectRoundTrip(static_cast<long long>(bits));
    expectRoundTrip(static_cast<unsigned long long>(bits));
    double asBits = 0;
    std::memcpy(&asBits, &bits, sizeof asBits);
    expectPrintedAs(asBits, "%.10g");
    float asFloatBits = 0;
    std::memcpy(&asFloatBits, &bits, sizeof asFloatBits);
    expectPrintedAs(asFloatBits, "%.8g");
    return 0;
}
