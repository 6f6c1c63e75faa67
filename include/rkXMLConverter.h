#ifndef RKXML_CONVERTER_H
#define RKXML_CONVERTER_H

#include <string>

#include "rkXMLExport.h"

/// Typed values to and from the text that element values and attributes hold.
/// The caller picks the conversion by the type of its variable. Texts do not
/// depend on the host's locale: a point, no digit grouping.
///
/// Usage:
///
///     double zoom = 1.0;                                 // the default
///     std::string text;
///     element->getAttribute("zoom", text);
///     rkXMLConverter::stringToValue(text, zoom);          // "2.5" -> 2.5, "" -> 0
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

}  // namespace rkXMLConverter

#endif
