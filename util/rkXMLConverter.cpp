#include "rkXMLConverter.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>

// All conversions go through <charconv> and hand-written scanners rather than
// streams, printf or strto*: those follow the host's locale (a decimal comma,
// digit grouping, extra blank characters), and the texts here must not.

namespace {

// Room for the longest text written: a sign, 20 digits, or a float in exponent form.
constexpr std::size_t bufferSize = 64;

template <typename T>
void writeInteger(T value, std::string& out) {
    char buffer[bufferSize];
    const std::to_chars_result written = std::to_chars(buffer, buffer + bufferSize, value);
    out.assign(buffer, written.ptr);
}

// As %g with the given precision in the "C" locale: at most `digits`
// significant digits, no trailing zeros, a two-digit minimum exponent.
template <typename T>
void writeFloating(T value, int digits, std::string& out) {
    char buffer[bufferSize];
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + bufferSize, value, std::chars_format::general, digits);
    out.assign(buffer, written.ptr);
}

// The white space of the "C" locale, which is all that a leading blank may be.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The part of the text that a C string would show: up to the first zero byte.
struct Span {
    const char* begin;
    const char* end;
};

// Skips leading blanks and takes one optional sign.
Span afterSign(const std::string& text, bool& negative) {
    const char* p = text.c_str();
    const char* end = p + std::strlen(p);
    while (p != end && isBlank(*p)) ++p;
    negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    return {p, end};
}

// The leading decimal number of a text: blanks, an optional sign, digits.
// The magnitude saturates at the largest unsigned 64-bit value.
struct LeadingInteger {
    bool negative;
    unsigned long long magnitude;
    bool beyond64Bits;  // the magnitude saturated
};

LeadingInteger scanInteger(const std::string& text) {
    constexpr unsigned long long top = std::numeric_limits<unsigned long long>::max();
    LeadingInteger number{false, 0, false};
    const Span digits = afterSign(text, number.negative);
    for (const char* p = digits.begin; p != digits.end && isDigit(*p); ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (number.magnitude > (top - digit) / 10) {
            number.magnitude = top;  // further digits cannot bring it back into range
            number.beyond64Bits = true;
            break;
        }
        number.magnitude = number.magnitude * 10 + digit;
    }
    return number;
}

// Signed reading as strtol does it: out-of-range texts give the nearest limit.
template <typename T>
T toSigned(const LeadingInteger& number) {
    using Limits = std::numeric_limits<T>;
    const auto largest = static_cast<unsigned long long>(Limits::max());
    if (!number.negative) {
        return number.magnitude > largest ? Limits::max() : static_cast<T>(number.magnitude);
    }
    if (number.magnitude > largest) return Limits::min();
    return static_cast<T>(-static_cast<T>(number.magnitude));
}

// Unsigned reading as strtoul does it: a minus negates in unsigned arithmetic,
// a magnitude beyond the range gives the largest value whatever the sign.
template <typename T>
T toUnsigned(const LeadingInteger& number) {
    constexpr T largest = std::numeric_limits<T>::max();
    if (number.beyond64Bits || number.magnitude > largest) return largest;
    const T magnitude = static_cast<T>(number.magnitude);
    return number.negative ? static_cast<T>(T{0} - magnitude) : magnitude;
}

// Value of a run of decimal digits, saturating far beyond the length of any
// text, so that adding the digit count of a mantissa can neither overflow nor
// change which side of zero the sum is on.
long long scanExponent(const char* p, const char* end) {
    constexpr long long cap = 100000000000000000LL;  // 10^17
    long long exponent = 0;
    for (; p != end && isDigit(*p); ++p) {
        if (exponent < cap) exponent = exponent * 10 + (*p - '0');
    }
    return exponent;
}

// For a decimal number that does not fit a double: whether it is too large
// (true) or too small (false). Decided by the power of ten of its first
// non-zero digit, which lies far above zero or far below it.
bool tooLarge(const char* p, const char* end) {
    long long power = 0;
    bool found = false;
    for (; p != end && isDigit(*p); ++p) {  // the integer part
        if (found) {
            ++power;
        } else if (*p != '0') {
            found = true;
        }
    }
    if (p != end && *p == '.') {
        for (++p; p != end && isDigit(*p); ++p) {
            if (!found) {
                --power;
                found = *p != '0';
            }
        }
    }
    long long exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = p != end && *p == '-';
        if (p != end && (*p == '+' || *p == '-')) ++p;
        exponent = scanExponent(p, end);
        if (negative) exponent = -exponent;
    }
    return power + exponent > 0;
}

// The leading floating-point number as atof reads it in the "C" locale, with
// inf and nan accepted but no hexadecimal forms; 0 when there is none.
double readDouble(const std::string& text) {
    bool negative = false;
    const Span number = afterSign(text, negative);
    // A second sign is not part of a number, but from_chars would take a minus.
    if (number.begin == number.end || *number.begin == '+' || *number.begin == '-') return 0.0;
    double value = 0.0;
    const std::from_chars_result read = std::from_chars(number.begin, number.end, value, std::chars_format::general);
    if (read.ec == std::errc::invalid_argument) return 0.0;
    if (read.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here; give what strtod gives.
        value = tooLarge(number.begin, read.ptr) ? HUGE_VAL : 0.0;
    }
    return negative ? -value : value;
}

// Rounds to the nearest float. A finite double beyond the float range must not
// be cast directly (undefined behaviour); it rounds to the largest float or to
// infinity, whichever is nearer, as the hardware would.
float roundToFloat(double value) {
    constexpr double halfwayToInfinity = 0x1.ffffffp127;  // between FLT_MAX and 2^128
    const double magnitude = std::fabs(value);
    if (std::isfinite(value) && magnitude > std::numeric_limits<float>::max()) {
        using Limits = std::numeric_limits<float>;
        const float rounded = magnitude >= halfwayToInfinity ? Limits::infinity() : Limits::max();
        return value < 0 ? -rounded : rounded;
    }
    return static_cast<float>(value);
}

// The text without XML white space (blank, tab, line feed, carriage return) at either end.
std::string_view withoutWhiteSpace(const std::string& text) {
    auto isWhiteSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isWhiteSpace(text[first])) ++first;
    while (last > first && isWhiteSpace(text[last - 1])) --last;
    return std::string_view(text).substr(first, last - first);
}

// The whole text, white space at its ends aside, as a number of type T: an optional sign (a minus only
// where T takes one), then what from_chars reads, nothing after it; `fallback` for anything else,
// including a number beyond T's range.
template <typename T>
T numberOr(const std::string& text, T fallback) {
    std::string_view number = withoutWhiteSpace(text);
    // from_chars takes a minus where T has one, but no plus.
    const bool plus = !number.empty() && number.front() == '+';
    if (plus) number.remove_prefix(1);
    if (plus && !number.empty() && number.front() == '-') return fallback;
    T value{};
    const char* const end = number.data() + number.size();
    std::from_chars_result read{};
    if constexpr (std::is_floating_point_v<T>) {
        read = std::from_chars(number.data(), end, value, std::chars_format::general);
    } else {
        read = std::from_chars(number.data(), end, value, 10);
    }
    return read.ec == std::errc() && read.ptr == end ? value : fallback;
}

}  // namespace

namespace rkXMLConverter {

void valueToString(std::string value, std::string& out) { out = std::move(value); }

void valueToString(const char* value, std::string& out) {
    if (value == nullptr) {
        out.clear();
    } else {
        out = value;
    }
}

void valueToString(bool value, std::string& out) { out = value ? "true" : "false"; }

void valueToString(int value, std::string& out) { writeInteger(value, out); }

void valueToString(unsigned int value, std::string& out) { writeInteger(value, out); }

void valueToString(long value, std::string& out) { writeInteger(value, out); }

void valueToString(unsigned long value, std::string& out) { writeInteger(value, out); }

void valueToString(long long value, std::string& out) { writeInteger(value, out); }

void valueToString(unsigned long long value, std::string& out) { writeInteger(value, out); }

void valueToString(float value, std::string& out) { writeFloating(value, 8, out); }

void valueToString(double value, std::string& out) { writeFloating(value, 10, out); }

void stringToValue(const std::string& text, std::string& out) { out = text; }

void stringToValue(const std::string& text, bool& out) {
    if (text == "false") {
        out = false;
    } else if (text == "true") {
        out = true;
    }
}

void stringToValue(const std::string& text, int& out) {
    // Read at full width first, so that an out-of-range text saturates
    // instead of wrapping.
    const long long wide = toSigned<long long>(scanInteger(text));
    constexpr long long low = std::numeric_limits<int>::min();
    constexpr long long high = std::numeric_limits<int>::max();
    out = static_cast<int>(wide < low ? low : (wide > high ? high : wide));
}

void stringToValue(const std::string& text, unsigned int& out) { out = toUnsigned<unsigned int>(scanInteger(text)); }

void stringToValue(const std::string& text, long& out) { out = toSigned<long>(scanInteger(text)); }

void stringToValue(const std::string& text, unsigned long& out) { out = toUnsigned<unsigned long>(scanInteger(text)); }

void stringToValue(const std::string& text, long long& out) { out = toSigned<long long>(scanInteger(text)); }

void stringToValue(const std::string& text, unsigned long long& out) {
    out = toUnsigned<unsigned long long>(scanInteger(text));
}

void stringToValue(const std::string& text, float& out) { out = roundToFloat(readDouble(text)); }

void stringToValue(const std::string& text, double& out) { out = readDouble(text); }

bool valueOr(const std::string& text, bool fallback) {
    const std::string_view word = withoutWhiteSpace(text);
    if (word == "true" || word == "1") return true;
    if (word == "false" || word == "0") return false;
    return fallback;
}

int valueOr(const std::string& text, int fallback) { return numberOr(text, fallback); }

unsigned int valueOr(const std::string& text, unsigned int fallback) { return numberOr(text, fallback); }

long valueOr(const std::string& text, long fallback) { return numberOr(text, fallback); }

unsigned long valueOr(const std::string& text, unsigned long fallback) { return numberOr(text, fallback); }

long long valueOr(const std::string& text, long long fallback) { return numberOr(text, fallback); }

unsigned long long valueOr(const std::string& text, unsigned long long fallback) { return numberOr(text, fallback); }

float valueOr(const std::string& text, float fallback) { return numberOr(text, fallback); }

double valueOr(const std::string& text, double fallback) { return numberOr(text, fallback); }

std::string valueOr(const std::string& text, const std::string& fallback) { return text.empty() ? fallback : text; }

std::string valueOr(const std::string& text, const char* fallback) {
    if (!text.empty()) return text;
    return fallback == nullptr ? std::string() : std::string(fallback);
}

}  // namespace rkXMLConverter
