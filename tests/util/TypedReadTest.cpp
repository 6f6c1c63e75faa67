// valueOr: a text read whole as a value of the default's type, or the default.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "rkXMLConverter.h"

namespace {

// What valueOr gives for a text, per type; nullopt where it gives the default.
struct Row {
    std::string text;
    std::optional<int> asInt;
    std::optional<unsigned> asUnsigned;
    std::optional<long long> asLongLong;
    std::optional<double> asDouble;
    std::optional<float> asFloat;
};

constexpr int intDefault = -99;
constexpr unsigned unsignedDefault = 99;
constexpr long long longLongDefault = -98;
constexpr double doubleDefault = -0.5;
constexpr float floatDefault = -0.25f;

}  // namespace

TEST(TypedRead, NumbersOrTheDefault) {
    const auto none = std::nullopt;
    const Row rows[] = {
        {"42", 42, 42u, 42, 42.0, 42.0f},
        {" \t42\r\n", 42, 42u, 42, 42.0, 42.0f},  // XML white space around the text is allowed
        {"+7", 7, 7u, 7, 7.0, 7.0f},
        {"-3", -3, none, -3, -3.0, -3.0f},
        {"007", 7, 7u, 7, 7.0, 7.0f},
        {"", none, none, none, none, none},
        {"fast", none, none, none, none, none},  // read as 0 by stringToValue
        {"12abc", none, none, none, none, none},
        {"4 2", none, none, none, none, none},
        {"+-1", none, none, none, none, none},
        {"--1", none, none, none, none, none},
        {"- 1", none, none, none, none, none},
        {std::string("1\0", 2), none, none, none, none, none},
        {"0x10", none, none, none, none, none},
        {"2.5", none, none, none, 2.5, 2.5f},
        {"-1e3", none, none, none, -1000.0, -1000.0f},
        {".5", none, none, none, 0.5, 0.5f},
        {"2147483647", 2147483647, 2147483647u, 2147483647, 2147483647.0, 2147483648.0f},
        {"2147483648", none, 2147483648u, 2147483648LL, 2147483648.0, 2147483648.0f},
        {"-2147483648", std::numeric_limits<int>::min(), none, -2147483648LL, -2147483648.0, -2147483648.0f},
        {"4294967296", none, none, 4294967296LL, 4294967296.0, 4294967296.0f},
        {"9223372036854775808", none, none, none, 9223372036854775808.0, 9223372036854775808.0f},
        {"1e39", none, none, none, 1e39, none},  // beyond float's range
        {"1e999", none, none, none, none, none},
        {"1e-999", none, none, none, none, none},
        {"inf", none, none, none, HUGE_VAL, HUGE_VALF},
        {"-inf", none, none, none, -HUGE_VAL, -HUGE_VALF},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(rkXMLConverter::valueOr(row.text, intDefault), row.asInt.value_or(intDefault)) << row.text;
        EXPECT_EQ(rkXMLConverter::valueOr(row.text, unsignedDefault), row.asUnsigned.value_or(unsignedDefault))
            << row.text;
        EXPECT_EQ(rkXMLConverter::valueOr(row.text, longLongDefault), row.asLongLong.value_or(longLongDefault))
            << row.text;
        EXPECT_EQ(rkXMLConverter::valueOr(row.text, doubleDefault), row.asDouble.value_or(doubleDefault)) << row.text;
        EXPECT_EQ(rkXMLConverter::valueOr(row.text, floatDefault), row.asFloat.value_or(floatDefault)) << row.text;
    }
    EXPECT_TRUE(std::isnan(rkXMLConverter::valueOr("nan", doubleDefault)));
    EXPECT_EQ(rkXMLConverter::valueOr("-1", 5UL), 5UL);
    EXPECT_EQ(rkXMLConverter::valueOr("18446744073709551615", 5ULL), 18446744073709551615ULL);
    EXPECT_EQ(rkXMLConverter::valueOr("18446744073709551616", 5ULL), 5ULL);
    const long smallestLong = std::numeric_limits<long>::min();  // 32 or 64 bits, as the platform has it
    EXPECT_EQ(rkXMLConverter::valueOr(std::to_string(smallestLong), 5L), smallestLong);
    EXPECT_EQ(rkXMLConverter::valueOr(std::to_string(smallestLong) + "0", 5L), 5L);
}

TEST(TypedRead, TruthValuesOrTheDefault) {
    const struct {
        const char* text;
        std::optional<bool> read;
    } rows[] = {
        {"true", true},         {"false", false},      {"1", true},        {"0", false},        {" true\n", true},
        {"TRUE", std::nullopt}, {"yes", std::nullopt}, {"", std::nullopt}, {"2", std::nullopt}, {"truex", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(rkXMLConverter::valueOr(row.text, true), row.read.value_or(true)) << row.text;
        EXPECT_EQ(rkXMLConverter::valueOr(row.text, false), row.read.value_or(false)) << row.text;
    }
}

TEST(TypedRead, TextsOrTheDefault) {
    EXPECT_EQ(rkXMLConverter::valueOr("", "dark"), "dark");  // a literal default gives a string, not a bool
    EXPECT_EQ(rkXMLConverter::valueOr("light", "dark"), "light");
    EXPECT_EQ(rkXMLConverter::valueOr(" ", std::string("dark")), " ");
    EXPECT_EQ(rkXMLConverter::valueOr("", nullptr), "");
}

TEST(TypedRead, WhatValueToStringWritesReadsBack) {
    std::string text;
    for (const long long value : {0LL, -1LL, 123456789012LL, std::numeric_limits<long long>::min()}) {
        rkXMLConverter::valueToString(value, text);
        EXPECT_EQ(rkXMLConverter::valueOr(text, 7LL), value) << text;
    }
    for (const double value : {0.1, -2.5, 1e300, HUGE_VAL}) {
        rkXMLConverter::valueToString(value, text);
        EXPECT_EQ(rkXMLConverter::valueOr(text, 7.0), std::stod(text)) << text;
    }
}
