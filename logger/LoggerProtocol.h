#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace selva {

// The data logger's serial protocol. The program sends single command bytes; the logger answers with
// ASCII report lines ended by a line feed (a carriage return before it is just one more byte of the
// line). Hex digits are "0"-"9" and upper-case "A"-"F" only.

inline constexpr unsigned char CmdArm = 'R';         // "Get Ready (&R)"
inline constexpr unsigned char CmdFire = 'S';        // "Fire !!! (&S)"
inline constexpr unsigned char CmdStop = 27;         // "Stop (Esc)": stop, disarm
inline constexpr unsigned char CmdStatus = 'A';      // status request (poll cycle)
inline constexpr unsigned char CmdTemperature = 'T'; // temperature request (poll cycle)
inline constexpr unsigned char CmdBattery = 'B';     // battery request (poll cycle)

// Bits of the status flags ("a" lines).
inline constexpr std::uint8_t StatusBatteryConnected = 1;
inline constexpr std::uint8_t StatusIgniterConnected = 2;
inline constexpr std::uint8_t StatusTemperatureSensor = 4;

// Reference clock of counted readings, Hz: reading = N * ReferenceClock / T.
inline constexpr long double ReferenceClock = 18432000.0L;

// One report line as the reader collects it. A line never grows beyond 511 bytes: once it has that
// many, each later byte overwrites the last position, so the line feed that ends an overlong line is
// its 511th byte.
class LineBuffer {
public:
    static constexpr int MaxLength = 511;

    // Adds a received byte (the caller skips zero bytes). True when the byte was the line feed.
    bool append(unsigned char byte)
    {
        if (count_ < MaxLength)
            bytes_[static_cast<std::size_t>(count_++)] = static_cast<char>(byte);
        else
            bytes_[MaxLength - 1] = static_cast<char>(byte);
        return byte == '\n';
    }
    void clear() { count_ = 0; }
    int length() const { return count_; }
    std::string_view line() const { return {bytes_.data(), static_cast<std::size_t>(count_)}; }

private:
    std::array<char, MaxLength + 1> bytes_{};
    int count_ = 0;
};

// What one line reports.
struct LoggerReport {
    enum Kind : std::uint8_t {
        Ignored,     // malformed or unknown: every status value keeps its value
        Status,      // `flags` holds the three status bits
        Battery,     // `value` in volts
        Temperature, // `value` in degrees Celsius
        Reading,     // `value` is a frequency reading
    };
    Kind kind = Ignored;
    std::uint8_t flags = 0;
    float value = 0;
};

// Decodes a line by its first character; `line` is the bytes received including the line feed, and its
// length decides between the short (direct) and the long (counted) reading:
//   "a" H1 H2 ...    status: both hex digits, H2's bits are the flags (H1's value is not used)
//   "b" 4 hex digits battery: n * 12.5 / 4096 V; any non-hex digit ignores the line
//   "t" 4 hex digits temperature: signed 16-bit n / 16 deg C; only the first two digits are checked, the
//                    last two are decoded whatever they are (see looseHexValue)
//   other, length 1 to 7:  4 hex digits, the reading unchanged
//   other, length 8 or more: 6 hex digits N, 6 hex digits T, reading N * 18432000 / T (T = 0 counts as 1)
// Each six-digit group is decoded from its end, two digits a byte, and stops at the first pair whose low
// digit is not a hex digit, keeping the bytes decoded so far. Positions beyond the line count as absent
// (not hex digits).
LoggerReport decodeLoggerLine(std::string_view line);

bool isHexDigit(char c);
// The value of a character read as a hex digit: its value for a hex digit; for anything else the low four
// bits of what the usual digit arithmetic gives (c - '0' up to '9', c - 'A' + 10 above), so a damaged
// line yields some number in range and nothing worse.
int looseHexValue(char c);

// The logger's side of the protocol, for the simulator and for tests: each returns a whole line with
// CR LF.
std::string encodeStatusLine(std::uint8_t flags);
std::string encodeBatteryLine(double volts);       // clamped to what 16 bits hold
std::string encodeTemperatureLine(double celsius); // clamped to the signed 16-bit range
std::string encodeDirectReading(double frequency); // rounded, clamped to 0..65535
// A counted reading of `frequency` over an interval of `seconds`: N whole periods (at least 1) and the
// reference clock's ticks T over them, both within six hex digits.
std::string encodeCountedReading(double frequency, double seconds);

} // namespace selva
