#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace selva {

// Nearest integer, halves to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
std::int64_t roundHalfEven(double x);

// General number format with at most `precision` significant digits: fixed notation when the integer
// part has no more than `precision` digits and |x| >= 0.00001, scientific otherwise ("1.5E20", "1E-7");
// trailing zeros and a bare decimal separator are dropped. 0 is "0".
std::string formatGeneral(double x, int precision, char decimalSeparator = '.');

// Fixed notation with exactly `decimals` decimals, correctly rounded from the exact binary value (an exact
// tie goes to even, as printf does), right-aligned in `width` characters when it is shorter.
std::string formatFixed(double x, int decimals, int width = 0, char decimalSeparator = '.');

// A single-precision value as the double a person would write for it: the shortest decimal that reads
// back as that single (0.01f gives 0.01, not 0.009999999776). Values stored as singles in files come
// back into double computations this way.
double widenSingle(float v);

// Shortest text that reads back to exactly the same double ("0.1", "1e+300", "8716").
std::string formatShortest(double x);

// Parses a whole string as a decimal number with a point ("12.5", "-3", "1e5"); leading and trailing
// blanks (spaces, TABs) are skipped. False when anything else is there. Never uses the C locale.
bool parseDouble(std::string_view text, double& value);
bool parseInt(std::string_view text, std::int64_t& value);

// Text from a file made safe to print on a terminal: control characters (C0, DEL and the C1 range
// U+0080..U+009F, which a terminal may take as the start of an escape sequence) become "\t", "\n", "\r"
// or "\xHH" / "\u00HH"; bytes that are not UTF-8 become "\xHH". Everything else, backslashes included (a
// Windows path), stays as it is.
std::string printableText(std::string_view utf8);

// Blanks: space, TAB, CR, LF.
std::string_view trimBlanks(std::string_view text);
std::string toUpperAscii(std::string_view text);

}  // namespace selva
