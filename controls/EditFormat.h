#pragma once

// Number texts of the value edit controls: what a field shows and how it reads what was typed.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

class QLocale;

namespace selva {

// Width of the floating-point variable behind a TEditFloat: etReal and etDouble are both 8-byte doubles,
// etSingle a 4-byte float, etExtended the x87 10-byte format, held in a long double.
enum TEditType { etReal, etSingle, etDouble, etExtended };

// The shown text of a floating-point value: rounded to `digits` decimals, half a unit in the last place
// rounding away from zero, then written with at most `precision` significant digits (halves away from zero
// again) in the shorter of fixed and scientific notation ("12.35", "1.5E20", "1E-7"), no trailing zeros,
// with the locale's decimal separator.
//
// Rounding works on the shortest decimal text that reads back as the value at its width, so a single 2.675
// shows as 2.68 with 2 decimals although its binary value lies a little below 2.675: the user sees what was
// typed, rounded as on paper. NaN and infinities show as "NAN", "INF", "-INF".
QString formatEditFloat(long double value, TEditType type, int precision, int digits, const QLocale& locale);

// Reads a typed number: optional sign, digits with one decimal separator of the locale, an optional
// exponent ("1,5e3" under a comma locale); blanks around it are ignored. The value is read directly at the
// width of `type`; a text that is not such a number, or a value beyond that width's range, gives false.
// Group separators are refused: under a point locale "12,5" is an error, not 125.
bool parseEditFloat(const QString& text, TEditType type, const QLocale& locale, long double& value);

// Reads a 32-bit signed integer: optional sign and decimal digits, blanks around it ignored.
bool parseEditInt(const QString& text, std::int32_t& value);

// The first bytes of a UTF-8 text that fit in `maxBytes`, never splitting a character.
std::string utf8LeftBytes(const std::string& utf8, std::size_t maxBytes);

} // namespace selva
