#pragma once

#include <string>
#include <vector>

namespace selva {

// A thrust-time profile: thrust in newtons at increasing times in seconds, linear in between and 0
// outside. The synthesiser turns it into what the sensor would deliver, so every analysis of the
// result has a known truth.
class ThrustProfile {
public:
    struct Point {
        double time;
        double thrust;
    };

    // A small motor: 2 s of rest, a 60 ms rise to about 62 N, a slightly regressive burn of 1.6 s,
    // a 0.25 s tail-off and 2 s of rest after it.
    static ThrustProfile builtin();
    // Two columns per line, time and thrust, separated by blanks, TABs, a comma or a semicolon (decimal
    // point); lines starting with '#' and blank lines are skipped. Throws selva::Error on bad lines.
    static ThrustProfile fromFile(const std::string& fileName);
    // A firing inside a quiet recording of `duration` seconds: rest until `burnStart`, a rise over 3 % of
    // the burn time to `peak` newtons, a slightly regressive burn to 80 % of the peak, a tail-off over the
    // last 10 % of `burnTime`, rest to the end. Throws selva::Error when the burn does not fit.
    static ThrustProfile shaped(double duration, double burnStart, double burnTime, double peak);
    // A profile from points of increasing time (throws selva::Error otherwise).
    static ThrustProfile fromPoints(std::vector<Point> points);

    double thrustAt(double t) const;
    double duration() const { return points_.empty() ? 0 : points_.back().time; }
    // Exact integral of the piecewise-linear thrust over the whole profile, N·s.
    double impulse() const;
    const std::vector<Point>& points() const { return points_; }

private:
    std::vector<Point> points_;
};

} // namespace selva
