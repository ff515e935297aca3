#include "logger/LoggerProtocol.h"

#include <algorithm>
#include <cmath>

namespace selva {

namespace {

// The character at `i`, or NUL (never a hex digit) beyond the line.
char at(std::string_view line, std::size_t i)
{
    return i < line.size() ? line[i] : '\0';
}

bool hexAt(std::string_view line, std::size_t i)
{
    return isHexDigit(at(line, i));
}

// Four digits from position `from` as an unsigned 16-bit number (digits already checked or loose).
unsigned fourDigits(std::string_view line, std::size_t from)
{
    unsigned n = 0;
    for (std::size_t i = from; i < from + 4; ++i)
        n = n * 16 + static_cast<unsigned>(looseHexValue(at(line, i)));
    return n;
}

// A six-digit group at `from`, decoded pair by pair from its end.
std::uint32_t sixDigits(std::string_view line, std::size_t from)
{
    std::uint32_t n = 0;
    for (int pair = 2; pair >= 0; --pair) {
        const std::size_t hi = from + 2 * static_cast<std::size_t>(pair);
        if (!hexAt(line, hi + 1))
            break;
        const auto byte =
            static_cast<std::uint32_t>(looseHexValue(at(line, hi)) * 16 + looseHexValue(at(line, hi + 1)));
        n |= byte << (8 * (2 - pair));
    }
    return n;
}

char hexDigit(unsigned v)
{
    return "0123456789ABCDEF"[v & 0xF];
}

std::string hex(std::uint32_t v, int digits)
{
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4)
        s[static_cast<std::size_t>(i)] = hexDigit(v);
    return s;
}

} // namespace

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int looseHexValue(char c)
{
    const int v = c <= '9' ? c - '0' : c - 'A' + 10;
    return v & 0xF;
}

LoggerReport decodeLoggerLine(std::string_view line)
{
    LoggerReport r;
    if (line.empty())
        return r;
    switch (line[0]) {
    case 'a':
        if (hexAt(line, 1) && hexAt(line, 2)) {
            r.kind = LoggerReport::Status;
            r.flags = static_cast<std::uint8_t>(looseHexValue(line[2]) & 7);
        }
        return r;
    case 'b':
        if (hexAt(line, 1) && hexAt(line, 2) && hexAt(line, 3) && hexAt(line, 4)) {
            r.kind = LoggerReport::Battery;
            r.value = static_cast<float>(fourDigits(line, 1) * 12.5 / 4096.0);
        }
        return r;
    case 't':
        if (hexAt(line, 1) && hexAt(line, 2)) {
            r.kind = LoggerReport::Temperature;
            r.value = static_cast<float>(static_cast<std::int16_t>(fourDigits(line, 1)) / 16.0);
        }
        return r;
    default:
        break;
    }
    if (line.size() <= 7) {
        if (hexAt(line, 0) && hexAt(line, 1) && hexAt(line, 2) && hexAt(line, 3)) {
            r.kind = LoggerReport::Reading;
            r.value = static_cast<float>(fourDigits(line, 0));
        }
        return r;
    }
    const std::uint32_t periods = sixDigits(line, 0);
    std::uint32_t ticks = sixDigits(line, 6);
    if (ticks == 0)
        ticks = 1;
    r.kind = LoggerReport::Reading;
    r.value = static_cast<float>(static_cast<long double>(periods) * ReferenceClock / ticks);
    return r;
}

std::string encodeStatusLine(std::uint8_t flags)
{
    return std::string("a0") + hexDigit(flags & 7u) + "\r\n";
}

std::string encodeBatteryLine(double volts)
{
    const double n = std::clamp(std::round(volts * 4096.0 / 12.5), 0.0, 65535.0);
    return "b" + hex(static_cast<std::uint32_t>(n), 4) + "\r\n";
}

std::string encodeTemperatureLine(double celsius)
{
    const double n = std::clamp(std::round(celsius * 16.0), -32768.0, 32767.0);
    return "t" + hex(static_cast<std::uint32_t>(static_cast<std::int32_t>(n)) & 0xFFFFu, 4) + "\r\n";
}

std::string encodeDirectReading(double frequency)
{
    const double n = std::clamp(std::round(frequency), 0.0, 65535.0);
    return hex(static_cast<std::uint32_t>(n), 4) + "\r\n";
}

std::string encodeCountedReading(double frequency, double seconds)
{
    constexpr double kMax = 0xFFFFFF;
    const double f = std::max(frequency, 1e-6);
    const double periods = std::clamp(std::floor(f * seconds), 1.0, kMax);
    const double ticks = std::clamp(std::round(periods * static_cast<double>(ReferenceClock) / f), 1.0, kMax);
    return hex(static_cast<std::uint32_t>(periods), 6) + hex(static_cast<std::uint32_t>(ticks), 6) + "\r\n";
}

} // namespace selva
