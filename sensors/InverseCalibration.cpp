#include "sensors/InverseCalibration.h"

#include "common/Error.h"
#include "common/Format.h"

#include <algorithm>
#include <cmath>

namespace selva {

InverseCalibration::InverseCalibration(TCalibration& calibration) : c_(calibration)
{
    if (!PrepareSensorRange(c_))
        throw Error("The sensor's calibration has no range: it needs two points of different frequency");
    lo_ = c_.lowFrequency;
    hi_ = c_.highFrequency;
    // Widen the bracket well beyond the calibrated range; extrapolation is linear there.
    const double span = std::max(hi_ - lo_, 1.0);
    lo_ = std::max(1.0, lo_ - 4 * span);
    hi_ = hi_ + 4 * span;
}

double InverseCalibration::frequencyAt(double thrust) const
{
    double a = lo_, b = hi_;
    double ta = SensorThrust(c_, a) - thrust;
    const double tb = SensorThrust(c_, b) - thrust;
    if (ta == 0)
        return a;
    if (tb == 0)
        return b;
    if ((ta > 0) == (tb > 0))
        throw Error("Thrust " + formatShortest(thrust) + " N lies outside what the sensor can deliver");
    for (int i = 0; i < 200 && b - a > 1e-9 * std::max(1.0, std::fabs(a)); ++i) {
        const double m = 0.5 * (a + b);
        const double tm = SensorThrust(c_, m) - thrust;
        if ((tm > 0) == (ta > 0)) {
            a = m;
            ta = tm;
        } else {
            b = m;
        }
    }
    return 0.5 * (a + b);
}

FrequencyTable::FrequencyTable(const InverseCalibration& inverse, double lowestThrust, double highestThrust)
    : lo_(std::min(lowestThrust, highestThrust)), hi_(std::max(lowestThrust, highestThrust))
{
    const std::size_t n = hi_ > lo_ ? kLevels : 1;
    table_.resize(n + 1);
    for (std::size_t i = 0; i <= n; ++i)
        table_[i] = inverse.frequencyAt(n == 1 ? lo_ : lo_ + (hi_ - lo_) * double(i) / double(n));
}

double FrequencyTable::frequencyAt(double thrust) const
{
    if (table_.size() <= 2 || hi_ <= lo_)
        return table_.front();
    const double x = std::clamp((thrust - lo_) / (hi_ - lo_), 0.0, 1.0) * double(table_.size() - 1);
    const std::size_t i = std::min(static_cast<std::size_t>(x), table_.size() - 2);
    const double f = x - double(i);
    return table_[i] + (table_[i + 1] - table_[i]) * f;
}

} // namespace selva
