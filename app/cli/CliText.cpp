#include "app/cli/CliText.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace selva::cli {

std::string formatFigure(double x)
{
    // to_chars never looks at the locale; %g style drops the trailing zeros.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 12);
    return std::string(buf, r.ptr);
}

std::string escapeControls(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    const auto hex = [&](unsigned v) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", v);
        out += buf;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c < 0x20 || c == 0x7F)
            hex(c);
        else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                 static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            hex(static_cast<unsigned char>(text[++i])); // U+0080..U+009F, the C1 controls
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::string formatTestDate(double days)
{
    if (days == 0)
        return "not set";
    // Days 1..9999 years after the base; anything else is not a date a test was run on.
    if (!std::isfinite(days) || days < -693593 || days > 2958465)
        return formatFigure(days) + " (not a date)";
    using namespace std::chrono;
    const double whole = std::floor(days);
    const sys_days date = sys_days{year{1899} / December / 30} + std::chrono::days{static_cast<long>(whole)};
    const year_month_day ymd{date};
    // Rounded to the second, without carrying into the next day.
    const long seconds = std::min(86399L, std::lround((days - whole) * 86400));
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02ld:%02ld:%02ld", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    return buf;
}

double todayAsTestDate()
{
    using namespace std::chrono;
    const auto now = floor<days>(system_clock::now());
    return double((now - sys_days{year{1899} / December / 30}).count());
}

namespace {

std::string checkNumber(const std::string& text, bool finite)
{
    double v = 0;
    if (!CLI::detail::lexical_cast(text, v))
        return text + " is not a number";
    if (std::isnan(v))
        return text + " is not a number";
    if (finite && std::isinf(v))
        return text + " is not a finite number";
    return {};
}

} // namespace

const CLI::Validator NotNaN([](std::string& text) { return checkNumber(text, false); }, "NUMBER");
const CLI::Validator Finite([](std::string& text) { return checkNumber(text, true); }, "NUMBER");

} // namespace selva::cli
