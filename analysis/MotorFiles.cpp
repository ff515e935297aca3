#include "analysis/MotorFiles.h"

#include "common/AtomicFile.h"
#include "common/Error.h"
#include "common/Format.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <queue>
#include <sstream>

namespace selva {

namespace {

constexpr int kTimeDecimals = 6;   // 1 µs
constexpr int kThrustDecimals = 3; // 1 mN
constexpr double kSmallestThrust = 0.001;
constexpr double kRescaleBeyond = 0.004; // relative impulse miss that makes the thinned curve rescaled
constexpr std::size_t kLongestEngFile = 64u << 20;
constexpr const char* kProgram = "Selvarondine";

// Fixed decimals with the trailing zeros dropped ("1.5", "80", never "-0").
std::string decimalText(double v, int decimals)
{
    std::string s = formatFixed(v, decimals);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return s;
}

// The value a number comes back as from its text.
double asWritten(double v, int decimals)
{
    double r = 0;
    parseDouble(decimalText(v, decimals), r);
    return r;
}

bool isWord(std::string_view s)
{
    if (s.empty())
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 0x20 && u < 0x7F && c != ';' && c != '"' && c != '<' && c != '>' && c != '&';
    });
}

bool isPositive(double v)
{
    return v > 0 && std::isfinite(v);
}

std::string xmlEscaped(std::string_view s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            // Control characters other than TAB, CR and LF are not allowed in XML at all.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out += c;
        }
    }
    return out;
}

// Visvalingam's thinning by impulse: the triangle a point makes with its neighbours is exactly the
// impulse its removal takes away, so the smallest goes first. First and last points stay.
std::vector<CurvePoint> thinned(const std::vector<CurvePoint>& p, std::size_t keep)
{
    const std::size_t n = p.size();
    if (n <= keep || n < 3)
        return p;
    std::vector<std::size_t> prev(n), next(n);
    for (std::size_t i = 0; i < n; ++i) {
        prev[i] = i == 0 ? 0 : i - 1;
        next[i] = i + 1;
    }
    std::vector<double> area(n, std::numeric_limits<double>::infinity());
    std::vector<char> gone(n, 0);
    const auto triangle = [&](std::size_t i) {
        const CurvePoint &a = p[prev[i]], &b = p[i], &c = p[next[i]];
        return 0.5 * std::abs((b.time - a.time) * (c.thrust - a.thrust) -
                              (c.time - a.time) * (b.thrust - a.thrust));
    };
    using Entry = std::pair<double, std::size_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        area[i] = triangle(i);
        queue.push({area[i], i});
    }
    std::size_t left = n;
    while (left > keep && !queue.empty()) {
        const auto [a, i] = queue.top();
        queue.pop();
        if (gone[i] || a != area[i])
            continue; // an entry made stale by a neighbour's removal
        gone[i] = 1;
        --left;
        next[prev[i]] = next[i];
        prev[next[i]] = prev[i];
        for (std::size_t j : {prev[i], next[i]}) {
            if (j != 0 && j != n - 1) {
                area[j] = triangle(j);
                queue.push({area[j], j});
            }
        }
    }
    std::vector<CurvePoint> out;
    out.reserve(left);
    for (std::size_t i = 0; i < n; ++i)
        if (!gone[i])
            out.push_back(p[i]);
    return out;
}

std::string joinedDelays(std::string delays, char separator)
{
    std::replace(delays.begin(), delays.end(), '-', separator);
    return delays;
}

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t from = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > from)
            out.push_back(line.substr(from, i - from));
    }
    return out;
}

[[noreturn]] void lineError(const std::string& fileName, std::size_t line, const std::string& what)
{
    throw Error("Ошибка в строке " + std::to_string(line) + " файла " + fileName + ": " + what);
}

} // namespace

std::string CheckMotorData(const MotorData& m)
{
    if (!m.code.empty() && !isWord(m.code))
        return "Обозначение двигателя должно быть одним словом из латинских букв, цифр и знаков";
    if (!isPositive(m.diameterMm))
        return "Укажите диаметр двигателя в миллиметрах";
    if (!isPositive(m.lengthMm))
        return "Укажите длину двигателя в миллиметрах";
    if (!isWord(m.delays))
        return "Задержки пишутся одним словом без пробелов: например 4-6-8, 0 или P";
    if (!isPositive(m.propellantKg))
        return "Масса топлива (вес заряда) должна быть больше нуля";
    if (!std::isfinite(m.totalKg) || m.totalKg < m.propellantKg)
        return "Полная масса двигателя должна быть не меньше массы топлива";
    if (!isWord(m.manufacturer))
        return "Изготовитель пишется одним словом из латинских букв, цифр и знаков";
    if (m.type != "single-use" && m.type != "reloadable" && m.type != "hybrid")
        return "Тип двигателя: single-use, reloadable или hybrid";
    return {};
}

double MotorFileImpulse(const std::vector<CurvePoint>& points)
{
    if (points.empty())
        return 0;
    double sum = 0.5 * points.front().thrust * points.front().time;
    return sum + CurveImpulse(points);
}

std::vector<CurvePoint> MotorFilePoints(const std::vector<CurvePoint>& burn,
                                        const CurveExportOptions& options)
{
    if (burn.size() < 2)
        return {};
    // The implied (0, 0) is not written; a curve that starts above zero keeps its first point at t = 0.
    std::vector<CurvePoint> p(burn.begin() + (burn.front().thrust <= 0 ? 1 : 0), burn.end());
    p.back().thrust = 0;
    const double whole = MotorFileImpulse(p);
    if (!options.fullResolution) {
        p = thinned(p, std::max<std::size_t>(options.maxPoints, 3));
        const double kept = MotorFileImpulse(p);
        if (kept > 0 && std::abs(kept - whole) > kRescaleBeyond * std::abs(whole)) {
            const double factor = whole / kept;
            for (CurvePoint& q : p)
                q.thrust *= factor;
        }
    }
    std::vector<CurvePoint> out;
    out.reserve(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        const bool last = i + 1 == p.size();
        CurvePoint q{asWritten(p[i].time, kTimeDecimals), asWritten(p[i].thrust, kThrustDecimals)};
        if (last)
            q.thrust = 0;
        else if (q.thrust < kSmallestThrust)
            q.thrust = kSmallestThrust; // zero thrust would end the curve for every reader
        while (!out.empty() && out.back().time >= q.time)
            out.pop_back(); // points closer than 1 µs: the later one stays
        out.push_back(q);
    }
    return out;
}

std::string TestDateText(double days)
{
    if (!(days > 0) || days > 2958466) // beyond 31 December 9999
        return {};
    using namespace std::chrono;
    const sys_days base = year{1899} / December / 30;
    const year_month_day d{base + std::chrono::days(static_cast<long>(std::floor(days)))};
    const auto two = [](unsigned v) { return std::string(v < 10 ? "0" : "") + std::to_string(v); };
    return std::to_string(static_cast<int>(d.year())) + "-" + two(static_cast<unsigned>(d.month())) + "-" +
           two(static_cast<unsigned>(d.day()));
}

MotorExport PrepareMotorExport(const AnalysisState& state, bool calibrated, const MotorData& motor,
                               const CurveExportOptions& options)
{
    MotorExport e;
    e.motor = motor;
    if (!(e.motor.propellantKg > 0))
        e.motor.propellantKg = widenSingle(state.ChargeWeight);
    if (const std::string problem = CheckMotorData(e.motor); !problem.empty())
        throw Error(problem);
    if (!calibrated)
        throw Error("Тяга не в ньютонах: выберите датчик с тарировкой");
    const std::vector<CurvePoint> curve = ThrustCurveOf(state);
    e.figures = ComputeStandardFigures(curve);
    e.points = MotorFilePoints(BurnCurve(curve, e.figures), options);
    if (!e.figures.found || e.points.size() < 2 || !(e.figures.totalImpulse > 0))
        throw Error("В анализе нет тяги, которую можно записать");
    if (e.motor.code.empty())
        e.motor.code = e.figures.designation.empty() ? std::string("Motor") : e.figures.designation;
    return e;
}

std::string EngText(const MotorExport& e, const MotorExportInfo& info)
{
    const StandardFigures& f = e.figures;
    const MotorData& m = e.motor;
    std::string t;
    const auto line = [&t](const std::string& s) { t += s + "\r\n"; };
    line("; " + m.code + " " + m.manufacturer);
    line("; Source: " + (info.sourceName.empty() ? std::string("-") : info.sourceName));
    const std::string date = TestDateText(info.testDate);
    line("; Test date: " + (date.empty() ? std::string("unknown") : date));
    line("; Exported by " + std::string(kProgram));
    line("; Total impulse " + decimalText(f.totalImpulse, 3) + " N-s, burn time " +
         decimalText(f.burnTime, 3) + " s, average thrust " + decimalText(f.averageThrust, 3) + " N, peak " +
         decimalText(f.peakThrust, 3) + " N, " + f.impulseClass.letter + " " +
         decimalText(f.impulseClass.percent, 0) + "%");
    line(m.code + " " + decimalText(m.diameterMm, 3) + " " + decimalText(m.lengthMm, 3) + " " + m.delays +
         " " + decimalText(m.propellantKg, 6) + " " + decimalText(m.totalKg, 6) + " " + m.manufacturer);
    for (const CurvePoint& p : e.points)
        line("   " + decimalText(p.time, kTimeDecimals) + " " + decimalText(p.thrust, kThrustDecimals));
    return t;
}

std::string RseText(const MotorExport& e, const MotorExportInfo& info)
{
    const StandardFigures& f = e.figures;
    const MotorData& m = e.motor;
    const double propG = m.propellantKg * 1000;
    const double isp = f.totalImpulse / (m.propellantKg * GravityConstant);
    const auto attr = [](const char* name, const std::string& value) {
        return std::string(" ") + name + "=\"" + xmlEscaped(value) + "\"";
    };
    std::string t =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<engine-database>\n  <engine-list>\n    <engine";
    t += attr("code", m.code) + attr("mfg", m.manufacturer) + attr("Type", m.type);
    t += attr("dia", decimalText(m.diameterMm, 3)) + attr("len", decimalText(m.lengthMm, 3));
    t += attr("initWt", decimalText(m.totalKg * 1000, 3)) + attr("propWt", decimalText(propG, 3));
    t += attr("delays", joinedDelays(m.delays, ','));
    t += attr("Itot", decimalText(f.totalImpulse, 3)) + attr("avgThrust", decimalText(f.averageThrust, 3));
    t += attr("peakThrust", decimalText(f.peakThrust, 3)) + attr("burn-time", decimalText(f.burnTime, 4));
    t += attr("Isp", decimalText(isp, 2)) + ">\n";
    std::string comment = "Source: " + (info.sourceName.empty() ? std::string("-") : info.sourceName);
    if (const std::string date = TestDateText(info.testDate); !date.empty())
        comment += "; test date " + date;
    comment += "; exported by " + std::string(kProgram);
    t += "      <comments>" + xmlEscaped(comment) + "</comments>\n      <data>\n";

    // The propellant left at each point, by the impulse delivered so far along the written curve.
    const double whole = MotorFileImpulse(e.points);
    const std::string cg = decimalText(m.lengthMm / 2, 3);
    const auto point = [&](double time, double thrust, double delivered) {
        const double left = whole > 0 ? propG * std::max(0.0, 1 - delivered / whole) : 0;
        t += "        <eng-data" + attr("t", decimalText(time, kTimeDecimals)) +
             attr("f", decimalText(thrust, kThrustDecimals)) + attr("m", decimalText(left, 4)) +
             attr("cg", cg) + "/>\n";
    };
    double delivered = 0;
    CurvePoint before{0, 0};
    if (e.points.front().time > 0)
        point(0, 0, 0);
    for (std::size_t i = 0; i < e.points.size(); ++i) {
        const CurvePoint& p = e.points[i];
        delivered += 0.5 * (before.thrust + p.thrust) * (p.time - before.time);
        before = p;
        point(p.time, p.thrust, i + 1 == e.points.size() ? whole : delivered);
    }
    t += "      </data>\n    </engine>\n  </engine-list>\n</engine-database>\n";
    return t;
}

namespace {

bool writeMotorFile(const std::string& fileName, const AnalysisState& state, bool calibrated,
                    const MotorData& motor, const CurveExportOptions& options, const MotorExportInfo& info,
                    std::string* error, const SaveOptions& saveOptions,
                    std::string (*text)(const MotorExport&, const MotorExportInfo&))
{
    std::string bytes;
    try {
        bytes = text(PrepareMotorExport(state, calibrated, motor, options), info);
    } catch (const Error& e) {
        if (error)
            *error = e.what();
        return false;
    }
    std::string why;
    if (!writeFileAtomically(fileName, bytes, &why, saveOptions)) {
        if (error)
            *error = "Невозможно записать файл " + fileName + ": " + why;
        return false;
    }
    return true;
}

} // namespace

bool WriteEngFile(const std::string& fileName, const AnalysisState& state, bool calibrated,
                  const MotorData& motor, const CurveExportOptions& options, const MotorExportInfo& info,
                  std::string* error, const SaveOptions& saveOptions)
{
    return writeMotorFile(fileName, state, calibrated, motor, options, info, error, saveOptions, &EngText);
}

bool WriteRseFile(const std::string& fileName, const AnalysisState& state, bool calibrated,
                  const MotorData& motor, const CurveExportOptions& options, const MotorExportInfo& info,
                  std::string* error, const SaveOptions& saveOptions)
{
    return writeMotorFile(fileName, state, calibrated, motor, options, info, error, saveOptions, &RseText);
}

std::vector<EngMotor> ParseEng(std::string_view text, const std::string& fileName)
{
    std::vector<EngMotor> motors;
    bool inCurve = false;        // reading the points of motors.back()
    std::size_t endedAtLine = 0; // the line of the zero-thrust point that ended the last curve
    std::size_t lineNo = 0;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find('\n', from);
        if (to == std::string_view::npos)
            to = text.size();
        std::string_view line = text.substr(from, to - from);
        from = to + 1;
        ++lineNo;
        if (const auto semicolon = line.find(';'); semicolon != std::string_view::npos)
            line = line.substr(0, semicolon);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::vector<std::string_view> f = fields(line);
        if (f.empty())
            continue;

        if (!inCurve) {
            double a = 0, b = 0;
            if (endedAtLine != 0 && f.size() == 2 && parseDouble(f[0], a) && parseDouble(f[1], b))
                lineError(fileName, endedAtLine, "нулевая тяга до конца кривой тяги");
            if (f.size() < 7)
                lineError(
                    fileName, lineNo,
                    "ожидается заголовок двигателя: обозначение, диаметр, длина, задержки, масса топлива, "
                    "полная масса, изготовитель");
            EngMotor m;
            m.motor.code = std::string(f[0]);
            m.motor.delays = std::string(f[3]);
            double* numbers[] = {&m.motor.diameterMm, &m.motor.lengthMm, &m.motor.propellantKg,
                                 &m.motor.totalKg};
            const std::size_t at[] = {1, 2, 4, 5};
            for (int k = 0; k < 4; ++k) {
                if (!parseDouble(f[at[k]], *numbers[k]) || !std::isfinite(*numbers[k]) || *numbers[k] < 0)
                    lineError(fileName, lineNo,
                              "в заголовке ожидается число не меньше нуля вместо \"" + std::string(f[at[k]]) +
                                  "\"");
            }
            m.motor.manufacturer = std::string(f[6]);
            for (std::size_t k = 7; k < f.size(); ++k)
                m.motor.manufacturer += " " + std::string(f[k]);
            motors.push_back(std::move(m));
            inCurve = true;
            endedAtLine = 0;
            continue;
        }

        CurvePoint p;
        if (f.size() != 2 || !parseDouble(f[0], p.time) || !parseDouble(f[1], p.thrust) ||
            !std::isfinite(p.time) || !std::isfinite(p.thrust))
            lineError(fileName, lineNo, "ожидаются два числа: время и тяга");
        if (p.time < 0)
            lineError(fileName, lineNo, "отрицательное время");
        if (p.thrust < 0)
            lineError(fileName, lineNo, "отрицательная тяга");
        std::vector<CurvePoint>& points = motors.back().points;
        if (!points.empty() && p.time == points.back().time)
            lineError(fileName, lineNo, "время " + std::string(f[0]) + " повторяется");
        if (!points.empty() && p.time < points.back().time)
            lineError(fileName, lineNo, "время " + std::string(f[0]) + " меньше предыдущего");
        const bool leadingZero = points.empty() && p.time == 0; // (0, thrust) written out
        points.push_back(p);
        if (p.thrust == 0 && !leadingZero) {
            inCurve = false;
            endedAtLine = lineNo;
        }
    }
    if (motors.empty())
        throw Error("В файле " + fileName + " нет двигателя");
    if (inCurve) {
        if (motors.back().points.empty())
            throw Error("В файле " + fileName + " у двигателя " + motors.back().motor.code +
                        " нет кривой тяги");
        throw Error("Кривая тяги в файле " + fileName + " не кончается нулевой тягой (файл обрезан?)");
    }
    return motors;
}

std::vector<EngMotor> ReadEngFile(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw Error("Ошибка открытия файла " + fileName);
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kLongestEngFile)
            throw Error("Файл " + fileName + " слишком длинный");
    }
    if (in.bad())
        throw Error("Невозможно прочитать файл " + fileName);
    return ParseEng(text, fileName);
}

std::vector<CurvePoint> EngCurve(const EngMotor& motor)
{
    std::vector<CurvePoint> c;
    if (motor.points.empty() || motor.points.front().time > 0)
        c.push_back({0, 0});
    c.insert(c.end(), motor.points.begin(), motor.points.end());
    return c;
}

MotorData LoadMotorData(const std::string& fileName)
{
    MotorData m;
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    while (in && std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key(trimBlanks(std::string_view(line).substr(0, eq)));
        const std::string value(trimBlanks(std::string_view(line).substr(eq + 1)));
        double v = 0;
        const bool number = parseDouble(value, v) && std::isfinite(v) && v >= 0;
        if (key == "code")
            m.code = value;
        else if (key == "diameter" && number)
            m.diameterMm = v;
        else if (key == "length" && number)
            m.lengthMm = v;
        else if (key == "total" && number)
            m.totalKg = v;
        else if (key == "delays" && !value.empty())
            m.delays = value;
        else if (key == "manufacturer" && !value.empty())
            m.manufacturer = value;
        else if (key == "type" && !value.empty())
            m.type = value;
    }
    return m;
}

bool SaveMotorData(const std::string& fileName, const MotorData& m, std::string* error)
{
    const auto oneLine = [](std::string s) {
        std::replace_if(
            s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        return s;
    };
    std::string t;
    t += "code=" + oneLine(m.code) + "\n";
    t += "diameter=" + formatShortest(m.diameterMm) + "\n";
    t += "length=" + formatShortest(m.lengthMm) + "\n";
    t += "total=" + formatShortest(m.totalKg) + "\n";
    t += "delays=" + oneLine(m.delays) + "\n";
    t += "manufacturer=" + oneLine(m.manufacturer) + "\n";
    t += "type=" + oneLine(m.type) + "\n";
    return writeFileAtomically(fileName, t, error);
}

} // namespace selva
