#ifndef RKXML_CONVERTER_H
#define RKXML_CONVERTER_H

#include <string>

#include "rkXMLExport.h"

/// Typed values to and from the text that element values and attributes hold.
/// The caller picks the conversion by the type of its variable. Texts do not
/// depend on the host's locale: a point, no digit grouping.
///
/// valueOr reads a text strictly and gives the default where it holds no value of
/// the type; stringToValue reads the leading number of a text as atoi and atof do.
///
/// Usage:
///
///     std::string text;
///     element->getAttribute("zoom", text);
///     double zoom = rkXMLConverter::valueOr(text, 1.0);   // "2.5" -> 2.5; "", "fast", "2x" -> 1.0
///     rkXMLConverter::valueToString(zoom * 2, text);      // "5"
///     element->setAttribute("zoom", text);
namespace rkXMLConverter {

/// `out` becomes a copy of `value`.
RKXML_API void valueToString(std::string value, std::string& out);
/// `out` becomes the text `value` points to (a literal stays text, not "true"); empty for null.
RKXML_API void valueToString(const char* value, std::string& out);
/// "true" or "false".
RKXML_API void valueToString(bool value, std::string& out);
/// Decimal text with a leading minus for negative values.
RKXML_API void valueToString(int value, std::string& out);
/// Decimal text.
RKXML_API void valueToString(unsigned int value, std::string& out);
/// Decimal text with a leading minus for negative values.
RKXML_API void valueToString(long value, std::string& out);
/// Decimal text.
RKXML_API void valueToString(unsigned long value, std::string& out);
/// Decimal text with a leading minus for negative values.
RKXML_API void valueToString(long long value, std::string& out);
/// Decimal text.
RKXML_API void valueToString(unsigned long long value, std::string& out);
/// General notation with at most 8 significant digits (0.1f -> "0.1"); "inf", "-inf", "nan".
RKXML_API void valueToString(float value, std::string& out);
/// General notation with at most 10 significant digits (1.0/3 -> "0.3333333333"); "inf", "nan".
RKXML_API void valueToString(double value, std::string& out);

/// `out` becomes a copy of `text`.
RKXML_API void stringToValue(const std::string& text, std::string& out);
/// False for exactly "false", true for exactly "true"; any other text leaves `out` unchanged.
RKXML_API void stringToValue(const std::string& text, bool& out);
/// The leading decimal number (blanks and a sign allowed); 0 if there is none; saturates.
RKXML_API void stringToValue(const std::string& text, int& out);
/// The leading decimal number, a minus negating it unsigned; 0 if there is none; saturates.
RKXML_API void stringToValue(const std::string& text, unsigned int& out);
/// The leading decimal number; 0 if there is none; saturates.
RKXML_API void stringToValue(const std::string& text, long& out);
/// The leading decimal number, a minus negating it unsigned; 0 if there is none; saturates.
RKXML_API void stringToValue(const std::string& text, unsigned long& out);
/// The leading decimal number; 0 if there is none; saturates.
RKXML_API void stringToValue(const std::string& text, long long& out);
/// The leading decimal number, a minus negating it unsigned; 0 if there is none; saturates.
RKXML_API void stringToValue(const std::string& text, unsigned long long& out);
/// The leading decimal number (or inf, nan; no hex) rounded to float; 0 if none; may overflow.
RKXML_API void stringToValue(const std::string& text, float& out);
/// The leading decimal number (or inf, nan; no hex); 0 if there is none; may overflow.
RKXML_API void stringToValue(const std::string& text, double& out);

// The strict reads. Blanks, tabs and line ends around the text are allowed, as XML Schema's
// types allow them; anything else around the value, a value beyond the type's range (for float
// and double also one too close to zero to be held) and an empty text give `fallback`.
// Overloads instead of a template, so that a literal default picks the type: valueOr(text, 800)
// is an int, valueOr(text, 1.0) a double, valueOr(text, "dark") a string.

/// True for "true" or "1", false for "false" or "0"; `fallback` for any other text.
RKXML_API bool valueOr(const std::string& text, bool fallback);
/// The text as an int: an optional sign, decimal digits; `fallback` for anything else or beyond the range.
RKXML_API int valueOr(const std::string& text, int fallback);
/// The text as an unsigned int: an optional plus, decimal digits; `fallback` for anything else or beyond the range.
RKXML_API unsigned int valueOr(const std::string& text, unsigned int fallback);
/// The text as a long: an optional sign, decimal digits; `fallback` for anything else or beyond the range.
RKXML_API long valueOr(const std::string& text, long fallback);
/// The text as an unsigned long: an optional plus, decimal digits; `fallback` for anything else or beyond the range.
RKXML_API unsigned long valueOr(const std::string& text, unsigned long fallback);
/// The text as a long long: an optional sign, decimal digits; `fallback` for anything else or beyond the range.
RKXML_API long long valueOr(const std::string& text, long long fallback);
/// The text as an unsigned long long: an optional plus, decimal digits; `fallback` for anything else or beyond it.
RKXML_API unsigned long long valueOr(const std::string& text, unsigned long long fallback);
/// The text as a float ("2.5", "-1e3", ".5", "inf", "nan"; no hex); `fallback` for anything else or beyond the range.
RKXML_API float valueOr(const std::string& text, float fallback);
/// The text as a double ("2.5", "-1e3", ".5", "inf", "nan"; no hex); `fallback` for anything else or beyond the range.
RKXML_API double valueOr(const std::string& text, double fallback);
/// The text itself; `fallback` when it is empty.
RKXML_API std::string valueOr(const std::string& text, const std::string& fallback);
/// The text itself; `fallback` (empty for null) when it is empty. Keeps a literal default from reading as bool.
RKXML_API std::string valueOr(const std::string& text, const char* fallback);

}  // namespace rkXMLConverter

#endif
