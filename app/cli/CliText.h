#pragma once

// How the command-line tool writes what is not a result, and the checks of the numbers it is given.
#include <CLI/CLI.hpp>

#include <string>
#include <string_view>

namespace selva::cli {

// A figure with the digits it carries: 12 significant digits, more than any reading, calibration point or
// setting has (files keep 7), and fewer than the last few a chain of double arithmetic disturbs, so that
// 3.5519999999999996 prints as 3.552 and -98.09999999999975 as -98.1. The JSON output keeps every bit.
std::string formatFigure(double x);

// Text from a file made safe for a terminal: control characters (C0, DEL and C1) as \t, \n, \r or
// \xNN, a backslash as "\\"; everything else (Cyrillic included) as it is.
std::string escapeControls(std::string_view text);

// A stored test date (days since 30 December 1899, the fraction the time of day) as "2026-12-05 14:30:00";
// 0 is "not set", and a value outside the years 1..9999 or not finite is given as the number it is.
std::string formatTestDate(double days);

// Today as a test date is stored: days since 30 December 1899.
double todayAsTestDate();

// Numeric options: "nan" is refused as not a number (CLI11 reads it as a double); infinities pass.
extern const CLI::Validator NotNaN;
// ... and infinities are refused too.
extern const CLI::Validator Finite;

} // namespace selva::cli
