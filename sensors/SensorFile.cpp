#include "sensors/SensorFile.h"

#include "common/AtomicFile.h"
#include "common/Cp1251.h"
#include "common/Format.h"
#include "common/UserPrompts.h"
#include "sensors/SensorLibrary.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

namespace selva {

namespace {

namespace fs = std::filesystem;

enum class ReadResult { ok, missing, notRegular, tooLarge, unreadable };

// Reads a whole file, refusing anything that is not a regular file or is larger than a sensor library
// can sensibly be. `size` receives the size found on disk.
ReadResult readWholeFile(const std::string& name, std::string& bytes, std::uintmax_t& size)
{
    std::error_code ec;
    const fs::file_status status = fs::status(name, ec);
    if (!fs::exists(status))
        return ReadResult::missing;
    if (!fs::is_regular_file(status))
        return ReadResult::notRegular;
    size = fs::file_size(name, ec);
    if (ec)
        return ReadResult::unreadable;
    if (size > MaxSensorFileSize)
        return ReadResult::tooLarge;
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return ReadResult::unreadable;
    bytes.assign(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        return ReadResult::unreadable;
    return ReadResult::ok;
}

// What the user is told when a library file cannot be read. A missing file keeps the plain message;
// otherwise the message says why.
std::string unreadableMessage(const std::string& name, ReadResult read, std::uintmax_t size)
{
    std::string text = "Невозможно прочитать файл " + name;
    switch (read) {
    case ReadResult::notRegular:
        text += ": это не обычный файл";
        break;
    case ReadResult::tooLarge:
        text += ": его размер " + std::to_string(size) +
                " байт, а библиотека датчиков не может быть больше " +
                std::to_string(MaxSensorFileSize / (1u << 20)) + " МБ (" + std::to_string(MaxSensorFileSize) +
                " байт)";
        break;
    case ReadResult::unreadable:
        text += ": ошибка чтения";
        break;
    default:
        break;
    }
    return text;
}

// Lines end with CR LF as written; a lone LF or CR ends a line too, so files edited elsewhere still read.
class LineReader {
public:
    explicit LineReader(std::string_view bytes) : bytes_(bytes) {}

    // The next line without its end, false after the last one.
    bool next(std::string_view& line)
    {
        if (pos_ >= bytes_.size())
            return false;
        std::size_t i = pos_;
        while (i < bytes_.size() && bytes_[i] != '\r' && bytes_[i] != '\n')
            ++i;
        line = bytes_.substr(pos_, i - pos_);
        if (i < bytes_.size() && bytes_[i] == '\r' && i + 1 < bytes_.size() && bytes_[i + 1] == '\n')
            ++i;
        pos_ = i + 1;
        return true;
    }
    // Bytes not read yet.
    std::size_t remaining() const { return pos_ < bytes_.size() ? bytes_.size() - pos_ : 0; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

bool isStartLine(std::string_view line)
{
    return toUpperAscii(line) == "START";
}

bool isFieldBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The next blank-separated token of `text`, which is advanced past it.
std::string_view nextToken(std::string_view& text)
{
    std::size_t i = 0;
    while (i < text.size() && isFieldBlank(text[i]))
        ++i;
    std::size_t j = i;
    while (j < text.size() && !isFieldBlank(text[j]))
        ++j;
    const std::string_view token = text.substr(i, j - i);
    text.remove_prefix(j);
    return token;
}

bool parseFiniteDouble(std::string_view text, double& value)
{
    double v = 0;
    if (!parseDouble(text, v) || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

struct DataLine {
    std::int32_t number = 0;
    double frequency = 0;
    double thrust = 0;
    std::string_view rest;
};

// number, frequency, thrust separated by blanks, then the rest of the line. Numbers that are not finite
// or a sensor number outside 32 bits make the line unreadable.
bool parseDataLine(std::string_view line, DataLine& out)
{
    std::int64_t number = 0;
    if (!parseInt(nextToken(line), number) || number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max())
        return false;
    if (!parseFiniteDouble(nextToken(line), out.frequency) || !parseFiniteDouble(nextToken(line), out.thrust))
        return false;
    out.number = static_cast<std::int32_t>(number);
    out.rest = trimBlanks(line);
    return true;
}

// Key of a frequency for exact-equality lookup: equal doubles give equal keys (0 and -0 included).
std::uint64_t frequencyKey(double frequency)
{
    return std::bit_cast<std::uint64_t>(frequency == 0 ? 0.0 : frequency);
}

// Index of a sensor's points by frequency key, built once the sensor has many points.
using PointTable = std::unordered_map<std::uint64_t, std::uint32_t>;
constexpr std::size_t PointTableFrom = 16;

// AddCalibPoint for the reader: the point of exactly the same frequency is replaced, otherwise the point
// is appended. Linear while the list is short, through `table` (created here when the list grows) after.
void storePoint(std::vector<TCalibPoint>& list, std::unique_ptr<PointTable>& table, const TCalibPoint& point)
{
    if (!table && list.size() >= PointTableFrom) {
        table = std::make_unique<PointTable>();
        for (std::size_t i = 0; i < list.size(); ++i)
            table->emplace(frequencyKey(list[i].frequency), static_cast<std::uint32_t>(i));
    }
    if (table) {
        const auto [slot, added] =
            table->emplace(frequencyKey(point.frequency), static_cast<std::uint32_t>(list.size()));
        if (added)
            list.push_back(point);
        else
            list[slot->second] = point;
        return;
    }
    for (TCalibPoint& p : list) {
        if (p.frequency == point.frequency) {
            p = point;
            return;
        }
    }
    list.push_back(point);
}

std::vector<std::string> headerLinesOf(const std::string& fileName)
{
    std::vector<std::string> header;
    std::string bytes;
    std::uintmax_t size = 0;
    if (fileName.empty() || readWholeFile(fileName, bytes, size) != ReadResult::ok)
        return header;
    LineReader lines(bytes);
    for (std::string_view line; lines.next(line);) {
        if (isStartLine(line))
            break;
        header.emplace_back(line);
    }
    return header;
}

// Frequencies and thrusts: general format, 7 significant digits, a point, at most 20 characters.
std::string fileNumber(double x)
{
    std::string s = formatGeneral(x, 7, '.');
    for (char& c : s)
        if (c == ',')
            c = '.';
    if (s.size() > 20)
        s.resize(20);
    return s;
}

// A name as it goes into the file: code page 1251, at most 30 characters, and no line breaks that would
// split the sensor line.
std::string fileName1251(const std::string& name)
{
    std::string text = utf8ToCp1251(utf8Left(name, SensorLibrary::MaxNameLength));
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

bool writesFirstPointAgain(const TSegmentFormula& formula)
{
    const TFormulaType type = NormalizedFormulaType(formula.type);
    return static_cast<int>(type) >= static_cast<int>(TFormulaType::linear) ||
           formula.colour != TSegmentFormula::NoColour;
}

} // namespace

std::string FormulaFields(const TSegmentFormula& formula)
{
    const TFormulaType type = NormalizedFormulaType(formula.type);
    if (type == TFormulaType::none && formula.colour == TSegmentFormula::NoColour)
        return {};
    char colour[16];
    std::snprintf(colour, sizeof colour, "%08X", static_cast<unsigned>(formula.colour));
    std::string text = std::to_string(static_cast<int>(type)) + '\t' + colour;
    const int count = FormulaCoefficientCount(type);
    for (int i = 0; i < count; ++i) {
        text += '\t';
        text += formatGeneral(static_cast<double>(formula.c[static_cast<std::size_t>(i)]), 15, '.');
    }
    return text;
}

bool ParseFormulaFields(std::string_view text, TSegmentFormula& formula)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = text.find('\t', start);
        fields.push_back(
            text.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (fields.size() < 2)
        return false;

    std::int64_t code = 0;
    if (!parseInt(fields[0], code) || code < 0 || code >= FormulaTypeCount)
        return false;
    const TFormulaType type = FormulaTypeFromCode(static_cast<int>(code));

    const std::string_view hex = fields[1];
    if (hex.size() != 8)
        return false;
    std::uint32_t colour = 0;
    for (char ch : hex) {
        int digit = 0;
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        else if (ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        else
            return false;
        colour = (colour << 4) | static_cast<std::uint32_t>(digit);
    }

    const int count = FormulaCoefficientCount(type);
    if (static_cast<int>(fields.size()) != 2 + count)
        return false;
    TSegmentFormula parsed;
    parsed.type = type;
    parsed.colour = colour;
    for (int i = 0; i < count; ++i) {
        // Older files carry the writer's locale separator; both read the same.
        std::string number(fields[static_cast<std::size_t>(2 + i)]);
        for (char& ch : number)
            if (ch == ',')
                ch = '.';
        double v = 0;
        if (!parseFiniteDouble(number, v) ||
            std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max()))
            return false;
        parsed.c[static_cast<std::size_t>(i)] = static_cast<float>(v);
    }
    formula = parsed;
    return true;
}

std::string LineErrorMessage(const std::vector<long long>& firstLines, long long count)
{
    if (count <= 0 || firstLines.empty())
        return {};
    if (count == 1)
        return "Ошибка в строке " + std::to_string(firstLines.front());
    std::string text = "Ошибки в строках ";
    for (std::size_t i = 0; i < firstLines.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += std::to_string(firstLines[i]);
    }
    const long long more = count - static_cast<long long>(firstLines.size());
    if (more > 0) {
        // "в 1 строке", "в 21 строке", but "в 11 строках", "в 2 строках"
        const bool singular = more % 10 == 1 && more % 100 != 11;
        text += " и ещё в " + std::to_string(more) + (singular ? " строке" : " строках");
    }
    return text;
}

void LoadSensorText(SensorLibrary& library, std::string_view bytes, bool reportErrors,
                    const UserPrompts& prompts)
{
    LineReader lines(bytes);
    std::string_view line;
    long long counter = 0;
    while (lines.next(line)) {
        ++counter;
        if (isStartLine(line))
            break;
    }

    library.ResetSensorLibrary();

    // Lookups by sensor number and by frequency keep a load linear in the file size. They mirror
    // AddSensor and AddCalibPoint, which search linearly. A sensor's points are searched linearly while
    // they are few and through a table of their own once they are many, so that a library of many small
    // sensors does not spend its time building tables.
    std::unordered_map<std::int32_t, std::uint32_t> sensorIndex;
    // A sensor takes at least two lines of some ten bytes: enough room for most files at once.
    sensorIndex.reserve(library.sensors.size() + lines.remaining() / 64);
    for (std::size_t i = 0; i < library.sensors.size(); ++i)
        sensorIndex.emplace(library.sensors[i].number, static_cast<std::uint32_t>(i));
    std::vector<bool> seen(library.sensors.size()); // sensors whose first line was read from this file
    std::vector<std::unique_ptr<PointTable>> pointTables(library.sensors.size());

    // Lines that cannot be read: the first few are named, the rest counted, all in one message at the
    // end (a damaged file of thousands of lines must not become thousands of message boxes).
    std::vector<long long> badLines;
    long long badCount = 0;

    while (lines.next(line)) {
        if (trimBlanks(line).empty())
            continue;
        DataLine data;
        if (!parseDataLine(line, data)) {
            if (badLines.size() < MaxLinesNamed)
                badLines.push_back(counter);
            ++badCount;
            ++counter;
            continue;
        }
        ++counter;
        if (data.number < 0)
            continue;

        auto found = sensorIndex.find(data.number);
        if (found == sensorIndex.end()) {
            TSensor sensor;
            sensor.number = data.number;
            library.sensors.push_back(std::move(sensor));
            seen.push_back(false);
            pointTables.emplace_back();
            found = sensorIndex.emplace(data.number, static_cast<std::uint32_t>(library.sensors.size() - 1))
                        .first;
        }
        const std::uint32_t index = found->second;
        const bool firstLine = !seen[index];
        seen[index] = true;
        TSensor& sensor = library.sensors[index];
        if (firstLine) {
            // The sensor line names the sensor (an existing name is kept, as AddSensor does).
            if (sensor.name.empty()) {
                // Cut to 30 characters, then trimmed again: a name cut after a blank would otherwise
                // lose that blank only at its next reading.
                const std::string name =
                    std::string(trimBlanks(utf8Left(cp1251ToUtf8(data.rest), SensorLibrary::MaxNameLength)));
                sensor.name = name.empty() ? "Sensor " + std::to_string(sensor.number) : name;
            }
            // The file's points of the default sensor replace the two points the reset gave it,
            // instead of adding to them (the reset's points were never entered in pointIndex).
            if (sensor.number == 0) {
                sensor.calibration.points.clear();
                pointTables[index].reset();
            }
        }

        TCalibPoint point{data.frequency, data.thrust, {}};
        // On the lines after the sensor line the text after the thrust is the point's formula; a
        // malformed one leaves the point without formula.
        if (!firstLine && !data.rest.empty())
            ParseFormulaFields(data.rest, point.formula);

        storePoint(sensor.calibration.points, pointTables[index], point);
        sensor.calibration.lowIndex = -1;
        sensor.calibration.highIndex = -1;
    }

    if (library.ActiveSensorIndex >= library.SensorCount())
        library.ActiveSensorIndex = 0;
    // The reset activated the default sensor before its points were read from the file: activate it
    // again so that the calibration table and zero-thrust frequency match the loaded points.
    library.SelectActiveSensor(library.ActiveSensorIndex);

    if (reportErrors && badCount > 0)
        prompts.tell(LineErrorMessage(badLines, badCount));
}

bool LoadSensorFile(SensorLibrary& library, const std::string& fileName, bool reportErrors,
                    const UserPrompts& prompts)
{
    std::string bytes;
    std::uintmax_t size = 0;
    const ReadResult read = readWholeFile(fileName, bytes, size);
    if (read != ReadResult::ok) {
        if (reportErrors) {
            prompts.tell(unreadableMessage(fileName, read, size));
            return false;
        }
        // At start a missing library is normal: the name is kept for the next save. A file that exists but
        // cannot be read is not taken over as the library file.
        if (read != ReadResult::missing)
            return false;
    } else {
        LoadSensorText(library, bytes, reportErrors, prompts);
    }

    library.FillSensorCombo();
    library.SensorsModified = false;
    const fs::path path(fileName);
    if (path.has_parent_path()) {
        library.SensorFileName = fileName;
    } else {
        std::error_code ec;
        const fs::path current = fs::current_path(ec);
        library.SensorFileName = ec ? fileName : (current / path).string();
    }
    return true;
}

std::string SensorFileText(const SensorLibrary& library, const std::vector<std::string>& header)
{
    std::string out;
    for (const std::string& line : header) {
        out += line;
        out += "\r\n";
    }
    out += "START\r\n";
    for (const TSensor& sensor : library.sensors) {
        const std::string number = std::to_string(sensor.number);
        const auto& points = sensor.calibration.points;
        // A sensor without points (created and not yet given any) still keeps its number and name: its
        // line carries 0 Hz, 0 N, which reads back as one reset point.
        const double firstFrequency = points.empty() ? 0.0 : points.front().frequency;
        const double firstThrust = points.empty() ? 0.0 : points.front().thrust;
        out += number + '\t' + fileNumber(firstFrequency) + '\t' + fileNumber(firstThrust) + '\t' +
               fileName1251(sensor.name) + "\r\n";
        for (std::size_t i = 0; i < points.size(); ++i) {
            const TCalibPoint& p = points[i];
            if (i == 0 && !writesFirstPointAgain(p.formula))
                continue;
            out += number + '\t' + fileNumber(p.frequency) + '\t' + fileNumber(p.thrust) + '\t' +
                   FormulaFields(p.formula) + "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

bool SaveSensorFile(SensorLibrary& library, const std::string& fileName, const UserPrompts& prompts)
{
    const auto refuse = [&](const std::string& why) {
        prompts.tell("Невозможно записать файл " + fileName + ": " + why);
        return false;
    };
    // What cannot be replaced is said before anyone is asked whether to replace it.
    const SaveTarget target = inspectSaveTarget(fileName);
    if (target.kind == SaveTarget::NotRegular || target.kind == SaveTarget::Unusable)
        return refuse(target.refusal);
    if (library.saveTargetInUse) {
        const std::string why = library.saveTargetInUse(fileName);
        if (!why.empty())
            return refuse(why);
    }
    SaveOptions options;
    if (target.kind == SaveTarget::Regular) {
        // A read-only file takes the read-only question in place of the overwrite question; nobody to ask
        // (the command-line tool) means no.
        if (target.readOnly) {
            if (!prompts.confirmReadOnly)
                return refuse("файл только для чтения");
            if (!prompts.confirmReadOnly(readOnlyQuestion(fileName)))
                return false;
            options.confirmReadOnly = [](const std::string&) { return true; };
        } else if (!prompts.ask("Переписать существующий файл " + fileName + "?")) {
            return false;
        }
    }

    // Header lines of the current library file come first. They are read before anything is written, so
    // a save onto the current file itself keeps them too (the file is replaced only at the end).
    const std::string out = SensorFileText(library, headerLinesOf(library.SensorFileName));

    std::string error;
    if (!writeFileAtomically(fileName, out, &error, options))
        return refuse(error);
    library.SensorsModified = false;
    return true;
}

bool SensorLibrary::LoadSensorFile(const std::string& fileName, bool reportErrors, const UserPrompts& prompts)
{
    return selva::LoadSensorFile(*this, fileName, reportErrors, prompts);
}

bool SensorLibrary::SaveSensorFile(const std::string& fileName, const UserPrompts& prompts)
{
    return selva::SaveSensorFile(*this, fileName, prompts);
}

} // namespace selva
