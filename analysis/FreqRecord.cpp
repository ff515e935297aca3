#include "analysis/FreqRecord.h"

#include "common/Error.h"
#include "common/Format.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

namespace selva {

// Buffered line reading over a file opened for reading. A line is returned as a view into the buffer
// when it lies inside it, and is gathered in `carry_` when it crosses a buffer boundary. Lines longer
// than kMaxLine keep only their first kMaxLine bytes and are flagged: no line of a valid record comes
// near that, and it keeps the memory bounded whatever the file holds.
class TFreq::LineReader {
public:
    static constexpr std::size_t kBufferSize = 1 << 16;
    static constexpr std::size_t kMaxLine = 1 << 16;

    explicit LineReader(std::FILE* file) : file_(file), buffer_(kBufferSize) {}
    ~LineReader()
    {
        if (file_)
            std::fclose(file_);
    }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool rewind()
    {
        pos_ = end_ = 0;
        eof_ = false;
        pendingCr_ = false;
        return std::fseek(file_, 0, SEEK_SET) == 0;
    }

    // The next line without its terminator (CR LF, LF or CR). False at the end of the file; a final
    // terminator does not start another line. `tooLong` is set when the line was cut.
    bool next(std::string_view& line, bool& tooLong)
    {
        carry_.clear();
        tooLong = false;
        bool started = false;
        for (;;) {
            if (pos_ == end_ && !fill()) {
                if (!started)
                    return false;
                line = carry_;
                return true;
            }
            if (pendingCr_) {
                // The previous line ended in CR at the end of a buffer: its LF may start this one.
                pendingCr_ = false;
                if (buffer_[pos_] == '\n') {
                    ++pos_;
                    continue;
                }
            }
            started = true;
            const char* begin = buffer_.data() + pos_;
            const char* end = buffer_.data() + end_;
            const char* p = begin;
            while (p < end && *p != '\n' && *p != '\r')
                ++p;
            if (p == end) {
                append(begin, p, tooLong);
                pos_ = end_;
                continue;
            }
            if (carry_.empty() && !tooLong) {
                line = std::string_view(begin, static_cast<std::size_t>(p - begin));
                if (line.size() > kMaxLine) {
                    line = line.substr(0, kMaxLine);
                    tooLong = true;
                }
            } else {
                append(begin, p, tooLong);
                line = carry_;
            }
            if (*p == '\r') {
                if (p + 1 < end) {
                    if (p[1] == '\n')
                        ++p;
                } else {
                    pendingCr_ = true;
                }
            }
            pos_ = static_cast<std::size_t>(p + 1 - buffer_.data());
            return true;
        }
    }

private:
    bool fill()
    {
        if (eof_)
            return false;
        const std::size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        if (n == 0) {
            eof_ = true; // end of file or a read error: either way no more lines
            return false;
        }
        pos_ = 0;
        end_ = n;
        return true;
    }

    void append(const char* begin, const char* end, bool& tooLong)
    {
        const std::size_t room = kMaxLine - carry_.size();
        std::size_t n = static_cast<std::size_t>(end - begin);
        if (n > room) {
            n = room;
            tooLong = true;
        }
        carry_.append(begin, n);
    }

    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool pendingCr_ = false;
    std::string carry_;
};

namespace {

bool equalsNoCase(std::string_view text, std::string_view upperWord)
{
    if (text.size() != upperWord.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != upperWord[i])
            return false;
    }
    return true;
}

bool isBlankLine(std::string_view line)
{
    for (char c : line)
        if (c != ' ' && c != '\t')
            return false;
    return true;
}

[[noreturn]] void throwLineError(const std::string& fileName, std::int64_t line, const std::string& what)
{
    throw Error("Ошибка в строке " + std::to_string(line) + " файла " + fileName + ": " + what);
}

// The readings as writers produce them ("8460.125", "-1.5", "80"): at most 15 digits, no exponent. The
// digits form an exact integer and the power of ten is exact, so one division gives the correctly rounded
// double, the same value std::from_chars gives, at a fraction of its cost. False for anything else, which
// then goes the general way.
bool parsePlainDecimal(std::string_view text, double& value)
{
    static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = *p == '-';
    if (negative)
        ++p;
    const char* const digitsStart = p;
    std::uint64_t mantissa = 0;
    while (p < end && static_cast<unsigned>(*p - '0') < 10)
        mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    std::ptrdiff_t digits = p - digitsStart;
    std::ptrdiff_t decimals = 0;
    if (p < end && *p == '.') {
        const char* const fractionStart = ++p;
        while (p < end && static_cast<unsigned>(*p - '0') < 10)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        decimals = p - fractionStart;
        digits += decimals;
    }
    // 15 digits keep the integer below 2^53; a longer run may have wrapped it and goes the general way.
    if (p != end || digits == 0 || digits > 15)
        return false;
    const double v = static_cast<double>(mantissa) / kPow10[decimals];
    value = negative ? -v : v;
    return true;
}

constexpr const char* kNumberExpected = "ожидается число с точкой";

} // namespace

bool parseFrequencyReading(std::string_view text, float& value)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+'))
            return false;
    }
    if (text.empty())
        return false;
    double v = 0;
    if (parsePlainDecimal(text, v)) {
        value = static_cast<float>(v);
        return true;
    }
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size())
        return false;
    if (!std::isfinite(v) || std::fabs(v) > static_cast<double>(FLT_MAX))
        return false;
    value = static_cast<float>(v);
    return true;
}

TFreq::TFreq() = default;
TFreq::~TFreq() = default;

void TFreq::Close()
{
    reader_.reset();
    Loaded = false;
}

bool TFreq::LoadFromFile(const std::string& fileName)
{
    // Only a regular file: a pipe would block the open, a device be read for ever.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec))
        return false;
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file)
        return false;
    auto reader = std::make_unique<LineReader>(file);

    std::string_view line;
    bool tooLong = false;
    if (!reader->next(line, tooLong) || tooLong || !equalsNoCase(line, "FREQ"))
        return false;

    // Header: the first line after line 1 that reads START ends it. Lines 3 and 4 are kept for the
    // count and the step, which are taken by position.
    std::int64_t index = 1;
    std::string line3, line4;
    bool started = false;
    while (reader->next(line, tooLong)) {
        ++index;
        if (index == 3)
            line3.assign(line);
        else if (index == 4)
            line4.assign(line);
        if (!tooLong && equalsNoCase(line, "START")) {
            started = true;
            break;
        }
    }
    if (!started)
        return false;
    const std::int64_t startLine = index;

    // Data lines: every one must read as a number. Blank lines at the very end are not lines of the
    // record; a blank line followed by more data is malformed.
    constexpr std::int64_t kMaxLines = std::numeric_limits<std::int32_t>::max() - 1;
    std::int64_t lastData = startLine;
    std::int64_t firstBlank = 0;
    float value = 0;
    while (reader->next(line, tooLong)) {
        ++index;
        if (index > kMaxLines)
            throw Error("Файл " + fileName + " слишком длинный");
        if (index == 3)
            line3.assign(line);
        else if (index == 4)
            line4.assign(line);
        if (!tooLong && isBlankLine(line)) {
            if (firstBlank == 0)
                firstBlank = index;
            continue;
        }
        if (firstBlank != 0)
            throwLineError(fileName, firstBlank, kNumberExpected);
        if (tooLong || !parseFrequencyReading(line, value))
            throwLineError(fileName, index, kNumberExpected);
        lastData = index;
    }
    if (lastData == startLine)
        return false; // no reading after START

    std::int64_t count = 0;
    if (index < 3 || !parseInt(line3, count))
        throwLineError(fileName, 3, "ожидается число отсчётов");
    double step = 0;
    if (index < 4 || !parseDouble(line4, step) || !std::isfinite(step) || step <= 0)
        throwLineError(fileName, 4, "ожидается шаг в секундах, больше нуля");
    if (step > MaxSampleStep)
        throwLineError(fileName, 4,
                       "шаг " + formatShortest(step) + " сек больше допустимого (" +
                           formatShortest(MaxSampleStep) + " сек)");
    const float step32 = static_cast<float>(step);
    const double rate = 1.0 / static_cast<double>(step32);
    if (!(step32 > 0) || !(rate < static_cast<double>(INT32_MAX)))
        throwLineError(fileName, 4,
                       "шаг " + formatShortest(step) +
                           " сек слишком мал: больше 2147483647 отсчётов в секунду");

    if (!reader->rewind())
        return false;

    // Everything read: only now does the new record replace the old one.
    reader_ = std::move(reader);
    LineCount = static_cast<std::int32_t>(lastData);
    StartLine = static_cast<std::int32_t>(startLine);
    RecordCount = LineCount - StartLine;
    FileName = fileName;
    SampleStep = step32;
    SampleRate = static_cast<std::int32_t>(roundHalfEven(rate));
    Channels = 1;
    Warning.clear();
    if (count != RecordCount)
        Warning = "Файл " + fileName + ": в строке 3 указано отсчётов: " + std::to_string(count) +
                  ", а после START их " + std::to_string(RecordCount) + "; взято " +
                  std::to_string(RecordCount);
    CurrentLine.clear();
    CurrentValue = 0;
    LineIndex = 0;
    Loaded = false;
    First();
    Loaded = true;
    return true;
}

void TFreq::rewind()
{
    if (!reader_->rewind())
        throw Error("Невозможно прочитать файл " + FileName);
    LineIndex = 0;
    CurrentLine.clear();
}

float TFreq::readValueLine(std::int64_t lineNumber)
{
    std::string_view line;
    bool tooLong = false;
    if (!reader_->next(line, tooLong))
        throw Error("Файл " + FileName + " изменился при чтении: не хватает строк");
    float value = 0;
    if (tooLong || !parseFrequencyReading(line, value))
        throwLineError(FileName, lineNumber, kNumberExpected);
    return value;
}

float TFreq::First()
{
    if (!reader_)
        return CurrentValue;
    if (LineIndex != StartLine) {
        if (LineIndex > StartLine)
            rewind();
        std::string_view line;
        bool tooLong = false;
        while (LineIndex < StartLine) {
            if (!reader_->next(line, tooLong))
                throw Error("Файл " + FileName + " изменился при чтении: не хватает строк");
            ++LineIndex;
            CurrentLine.assign(line);
        }
        // The reading itself is not counted in LineIndex: after First, LineIndex is the 0-based number
        // of the line that holds the current reading (1-based line StartLine + 1).
        CurrentValue = readValueLine(static_cast<std::int64_t>(StartLine) + 1);
    }
    return CurrentValue;
}

float TFreq::Next()
{
    if (!reader_ || LineIndex >= LineCount - 1)
        return 0;
    CurrentValue = readValueLine(static_cast<std::int64_t>(LineIndex) + 2);
    ++LineIndex;
    return CurrentValue;
}

std::string TFreq::Describe() const
{
    // A step of 2 s or more rounds the rate to 0; the duration then comes from the step itself.
    const double seconds = SampleRate != 0 ? static_cast<double>(RecordCount) / SampleRate
                                           : static_cast<double>(RecordCount) * SampleStep;
    return "Mono " + std::to_string(SampleRate) + " Hz " + std::to_string(RecordCount) + " records " +
           formatFixed(seconds, 2, 4) + " Sec";
}

} // namespace selva
