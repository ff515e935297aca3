#include "controls/EditFormat.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace selva {

namespace {

// A decimal number as its significant digits and the position of the decimal point: value =
// 0.d1d2d3... x 10^point. Zero has no digits.
struct Decimal {
    bool negative = false;
    std::string digits;
    int point = 0;
};

template <class T> Decimal shortestDecimal(T value)
{
    char buf[128];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
    Decimal d;
    std::size_t i = 0;
    if (text[i] == '-') {
        d.negative = true;
        ++i;
    }
    const auto e = text.find('e');
    for (; i < e; ++i)
        if (text[i] != '.')
            d.digits.push_back(text[i]);
    int exponent = 0;
    std::string_view exp = text.substr(e + 1);
    if (!exp.empty() && exp.front() == '+')
        exp.remove_prefix(1);
    std::from_chars(exp.data(), exp.data() + exp.size(), exponent);
    d.point = exponent + 1;
    // Drop trailing zeros; a zero value keeps no digits at all.
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Keeps the first `keep` significant digits, rounding the rest half away from zero.
void roundToDigits(Decimal& d, int keep)
{
    if (keep >= static_cast<int>(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int k = keep - 1;
        while (k >= 0 && d.digits[static_cast<std::size_t>(k)] == '9') {
            d.digits[static_cast<std::size_t>(k)] = '0';
            --k;
        }
        if (k >= 0) {
            ++d.digits[static_cast<std::size_t>(k)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.point;
        }
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
}

QString generalText(const Decimal& d, int precision, const QString& separator)
{
    if (d.digits.empty())
        return QStringLiteral("0");
    const int exponent = d.point - 1;
    const int n = static_cast<int>(d.digits.size());
    QString s = d.negative ? QStringLiteral("-") : QString();
    const QString digits = QString::fromLatin1(d.digits.data(), n);
    // The same choice as the program's general format: fixed while the integer part has no more digits
    // than the precision and the value is at least 0.00001.
    if (exponent < precision && exponent >= -5) {
        if (d.point <= 0)
            s += QStringLiteral("0") + separator + QString(-d.point, QLatin1Char('0')) + digits;
        else if (d.point >= n)
            s += digits + QString(d.point - n, QLatin1Char('0'));
        else
            s += digits.left(d.point) + separator + digits.mid(d.point);
        return s;
    }
    s += digits.left(1);
    if (n > 1)
        s += separator + digits.mid(1);
    return s + QStringLiteral("E") + QString::number(exponent);
}

template <class T> bool readAs(const std::string& ascii, long double& value)
{
    T v{};
    const char* end = ascii.data() + ascii.size();
    const auto r = std::from_chars(ascii.data(), end, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

} // namespace

QString formatEditFloat(long double value, TEditType type, int precision, int digits, const QLocale& locale)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    precision = std::clamp(precision, 1, 18);
    digits = std::clamp(digits, 0, 18);
    Decimal d;
    switch (type) {
    case etSingle:
        d = shortestDecimal(static_cast<float>(value));
        break;
    case etExtended:
        d = shortestDecimal(value);
        break;
    case etReal:
    case etDouble:
        d = shortestDecimal(static_cast<double>(value));
        break;
    }
    roundToDigits(d, d.point + digits);
    roundToDigits(d, precision);
    return generalText(d, precision, locale.decimalPoint());
}

bool parseEditFloat(const QString& text, TEditType type, const QLocale& locale, long double& value)
{
    const QString t = text.trimmed();
    const QString separator = locale.decimalPoint();
    const QString minus = locale.negativeSign();
    std::string ascii;
    for (qsizetype i = 0; i < t.size();) {
        const QChar c = t[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            ascii.push_back(static_cast<char>(c.unicode()));
            ++i;
        } else if (!separator.isEmpty() && QStringView(t).mid(i).startsWith(separator)) {
            ascii.push_back('.');
            i += separator.size();
        } else if (c == QLatin1Char('-') || c == QLatin1Char('+') || c == QLatin1Char('e') ||
                   c == QLatin1Char('E')) {
            ascii.push_back(static_cast<char>(c.toLower().unicode()));
            ++i;
        } else if (!minus.isEmpty() && QStringView(t).mid(i).startsWith(minus)) {
            ascii.push_back('-');
            i += minus.size();
        } else {
            return false;
        }
    }
    // from_chars takes no plus sign: one may lead the number (and the exponent has its own).
    if (!ascii.empty() && ascii.front() == '+')
        ascii.erase(0, 1);
    if (ascii.empty() || ascii.front() == '+')
        return false;
    switch (type) {
    case etSingle:
        return readAs<float>(ascii, value);
    case etExtended:
        return readAs<long double>(ascii, value);
    case etReal:
    case etDouble:
        break;
    }
    return readAs<double>(ascii, value);
}

bool parseEditInt(const QString& text, std::int32_t& value)
{
    std::string ascii = text.trimmed().toStdString();
    if (!ascii.empty() && ascii.front() == '+')
        ascii.erase(0, 1);
    if (ascii.empty() || ascii.front() == '+')
        return false;
    std::int32_t v = 0;
    const char* end = ascii.data() + ascii.size();
    const auto r = std::from_chars(ascii.data(), end, v);
    if (r.ec != std::errc() || r.ptr != end)
        return false;
    value = v;
    return true;
}

std::string utf8LeftBytes(const std::string& utf8, std::size_t maxBytes)
{
    if (utf8.size() <= maxBytes)
        return utf8;
    std::size_t n = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
    while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80)
        --n;
    return utf8.substr(0, n);
}

} // namespace selva
