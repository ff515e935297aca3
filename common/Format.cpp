#include "common/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

namespace selva {

std::int64_t roundHalfEven(double x)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest-even unless changed.
    return static_cast<std::int64_t>(std::nearbyint(x));
}

namespace {

std::string withSeparator(std::string s, char sep)
{
    if (sep != '.')
        std::replace(s.begin(), s.end(), '.', sep);
    return s;
}

void stripTrailingZeros(std::string& mantissa)
{
    const auto dot = mantissa.find('.');
    if (dot == std::string::npos)
        return;
    auto end = mantissa.find_last_not_of('0');
    if (end == dot)
        --end;
    mantissa.erase(end + 1);
}

}  // namespace

std::string formatGeneral(double x, int precision, char decimalSeparator)
{
    if (std::isnan(x))
        return "NAN";
    if (std::isinf(x))
        return x > 0 ? "INF" : "-INF";
    precision = std::clamp(precision, 1, 17);
    if (x == 0)
        return "0";

    // Round to `precision` significant digits first: the rounding may carry into a new digit.
    char buf[64];
    std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, precision - 1);
    std::string sci(buf, r.ptr);
    const auto ePos = sci.find('e');
    const int exponent = std::stoi(sci.substr(ePos + 1));
    std::string mantissa = sci.substr(0, ePos);

    const bool fixed = exponent < precision && std::fabs(x) >= 0.00001;
    if (fixed) {
        const int decimals = std::max(0, precision - 1 - exponent);
        r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
        std::string s(buf, r.ptr);
        stripTrailingZeros(s);
        if (s == "-0")
            s = "0";
        return withSeparator(std::move(s), decimalSeparator);
    }
    stripTrailingZeros(mantissa);
    std::string s = mantissa + "E" + std::to_string(exponent);
    return withSeparator(std::move(s), decimalSeparator);
}

std::string formatFixed(double x, int decimals, int width, char decimalSeparator)
{
    decimals = std::clamp(decimals, 0, 30);
    std::string s;
    if (std::isnan(x)) {
        s = "NAN";
    } else if (std::isinf(x)) {
        s = x > 0 ? "INF" : "-INF";
    } else {
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
        s.assign(buf, r.ptr);
        s = withSeparator(std::move(s), decimalSeparator);
    }
    if (width > 0 && static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
    return s;
}

double widenSingle(float v)
{
    if (!std::isfinite(v))
        return static_cast<double>(v);
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    double d = static_cast<double>(v);
    std::from_chars(buf, r.ptr, d);
    return d;
}

std::string formatShortest(double x)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x);
    return std::string(buf, r.ptr);
}

std::string_view trimBlanks(std::string_view text)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string toUpperAscii(std::string_view text)
{
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool parseDouble(std::string_view text, double& value)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return false;
    value = v;
    return true;
}

bool parseInt(std::string_view text, std::int64_t& value)
{
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    std::int64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return false;
    value = v;
    return true;
}

std::string printableText(std::string_view utf8)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    const auto hex = [&](const char* prefix, unsigned v) {
        out += prefix;
        out += kHex[(v >> 4) & 0xF];
        out += kHex[v & 0xF];
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            if (c == '\t')
                out += "\\t";
            else if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c < 0x20 || c == 0x7F)
                hex("\\x", c);
            else
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        // The length of a well-formed sequence (no overlong forms, no surrogates, nothing past U+10FFFF).
        std::size_t n = 0;
        if (c >= 0xC2 && c <= 0xDF)
            n = 2;
        else if (c >= 0xE0 && c <= 0xEF)
            n = 3;
        else if (c >= 0xF0 && c <= 0xF4)
            n = 4;
        bool ok = n != 0 && i + n <= utf8.size();
        for (std::size_t k = 1; ok && k < n; ++k)
            ok = (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
        if (ok && n == 3) {
            const auto c1 = static_cast<unsigned char>(utf8[i + 1]);
            ok = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);
        } else if (ok && n == 4) {
            const auto c1 = static_cast<unsigned char>(utf8[i + 1]);
            ok = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
        }
        if (!ok) {
            hex("\\x", c);
            ++i;
            continue;
        }
        if (c == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) // U+0080..U+009F
            hex("\\u00", static_cast<unsigned char>(utf8[i + 1]));
        else
            out.append(utf8.substr(i, n));
        i += n;
    }
    return out;
}

}  // namespace selva
