#include "analysis/ThrustProfile.h"

#include "common/Error.h"
#include "common/Format.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace selva {

ThrustProfile ThrustProfile::builtin()
{
    ThrustProfile p;
    p.points_ = {
        {0.0, 0.0},  {2.0, 0.0},  {2.06, 62.0}, {2.2, 58.0},  {2.6, 55.0}, {3.0, 52.5},
        {3.4, 49.0}, {3.66, 46.0}, {3.78, 20.0}, {3.91, 0.0}, {5.91, 0.0},
    };
    return p;
}

ThrustProfile ThrustProfile::fromFile(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw Error("Cannot read the profile " + fileName);
    ThrustProfile p;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::string_view text = trimBlanks(line);
        if (text.empty() || text.front() == '#')
            continue;
        std::vector<std::string_view> fields;
        while (!text.empty()) {
            const auto sep = text.find_first_of(" \t,;");
            if (sep != 0)
                fields.push_back(text.substr(0, sep));
            if (sep == std::string_view::npos)
                break;
            text.remove_prefix(sep + 1);
        }
        double t = 0, f = 0;
        if (fields.size() != 2 || !parseDouble(fields[0], t) || !parseDouble(fields[1], f))
            throw Error("Profile " + fileName + ", line " + std::to_string(lineNo) +
                        ": expected a time and a thrust");
        if (!p.points_.empty() && t <= p.points_.back().time)
            throw Error("Profile " + fileName + ", line " + std::to_string(lineNo) +
                        ": times must increase");
        if (t < 0)
            throw Error("Profile " + fileName + ", line " + std::to_string(lineNo) + ": negative time");
        p.points_.push_back({t, f});
    }
    if (p.points_.size() < 2)
        throw Error("Profile " + fileName + " needs at least two points");
    return p;
}

ThrustProfile ThrustProfile::shaped(double duration, double burnStart, double burnTime, double peak)
{
    if (!(duration > 0) || !(burnStart >= 0) || !(burnTime > 0) || !std::isfinite(peak) ||
        !(burnStart + burnTime <= duration) || !std::isfinite(duration))
        throw Error("The burn (start " + formatShortest(burnStart) + " s, " + formatShortest(burnTime) +
                    " s long) must lie inside the recording of " + formatShortest(duration) + " s");
    std::vector<Point> pts;
    auto add = [&](double t, double f) {
        if (pts.empty() || t > pts.back().time)
            pts.push_back({t, f});
    };
    add(0, 0);
    add(burnStart, 0);
    add(burnStart + 0.03 * burnTime, peak);
    add(burnStart + 0.9 * burnTime, 0.8 * peak);
    add(burnStart + burnTime, 0);
    add(duration, 0);
    return fromPoints(std::move(pts));
}

ThrustProfile ThrustProfile::fromPoints(std::vector<Point> points)
{
    for (std::size_t i = 0; i < points.size(); ++i)
        if (!std::isfinite(points[i].time) || !std::isfinite(points[i].thrust) || points[i].time < 0 ||
            (i > 0 && !(points[i].time > points[i - 1].time)))
            throw Error("Profile times must be finite, not negative and increasing");
    ThrustProfile p;
    p.points_ = std::move(points);
    return p;
}

double ThrustProfile::thrustAt(double t) const
{
    if (points_.empty() || t < points_.front().time || t > points_.back().time)
        return 0;
    const auto it = std::upper_bound(points_.begin(), points_.end(), t,
                                     [](double v, const Point& pt) { return v < pt.time; });
    if (it == points_.end())
        return points_.back().thrust;
    if (it == points_.begin())
        return it->thrust;
    const Point& b = *it;
    const Point& a = *(it - 1);
    return a.thrust + (b.thrust - a.thrust) * (t - a.time) / (b.time - a.time);
}

double ThrustProfile::impulse() const
{
    double sum = 0;
    for (std::size_t i = 1; i < points_.size(); ++i)
        sum += 0.5 * (points_[i].thrust + points_[i - 1].thrust) * (points_[i].time - points_[i - 1].time);
    return sum;
}

} // namespace selva
