#include "sensors/SensorLibrary.h"

#include "common/Cp1251.h"

#include <cmath>
#include <set>

namespace selva {

SensorLibrary::SensorLibrary()
{
    ResetSensorLibrary();
}

void SensorLibrary::AppendDefaultPoints(TCalibration& calibration)
{
    calibration.points.push_back(TCalibPoint{8460, 80, {}});
    calibration.points.push_back(TCalibPoint{8700, 0, {}});
    calibration.lowIndex = -1;
    calibration.highIndex = -1;
}

void SensorLibrary::ResetSensorLibrary()
{
    sensors.clear();
    TSensor defaultSensor;
    defaultSensor.number = 0;
    defaultSensor.name = DefaultSensorName;
    AppendDefaultPoints(defaultSensor.calibration);
    sensors.push_back(std::move(defaultSensor));
    ActiveSensorId = 0;
    FillSensorCombo();
    SelectActiveSensor(0);
}

int SensorLibrary::AddSensor(std::int32_t number, const std::string& name)
{
    int index = -1;
    if (number >= 0) {
        for (int i = 0; i < SensorCount(); ++i) {
            if (sensors[static_cast<std::size_t>(i)].number == number) {
                index = i;
                break;
            }
        }
    }
    if (index < 0) {
        if (number < 0) {
            std::set<std::int32_t> used;
            for (const TSensor& s : sensors)
                used.insert(s.number);
            number = 1;
            while (used.count(number) != 0)
                ++number;
        }
        TSensor sensor;
        sensor.number = number;
        sensors.push_back(std::move(sensor));
        index = SensorCount() - 1;
    }
    TSensor& sensor = sensors[static_cast<std::size_t>(index)];
    if (sensor.name.empty())
        sensor.name =
            name.empty() ? "Sensor " + std::to_string(sensor.number) : utf8Left(name, MaxNameLength);
    return index;
}

bool SensorLibrary::DeleteSensor(int index)
{
    if (index < 1 || index >= SensorCount())
        return false;
    const bool wasActive = index == ActiveSensorIndex;
    sensors.erase(sensors.begin() + index);
    SensorsModified = true;
    if (ActiveSensorIndex >= index)
        --ActiveSensorIndex;
    // The thrust computation converts through the sensor at ActiveSensorIndex: the rest of the active
    // state must follow it, not stay with the removed sensor.
    return wasActive && SelectActiveSensor(ActiveSensorIndex);
}

bool SensorLibrary::EnsureDefaultPoints(int index)
{
    if (index < 0 || index >= SensorCount())
        return false;
    TCalibration& calibration = sensors[static_cast<std::size_t>(index)].calibration;
    if (calibration.points.size() >= 2)
        return false;
    calibration.points.clear();
    AppendDefaultPoints(calibration);
    return true;
}

namespace {

// Frequency where the active calibration reaches zero thrust: the point of least thrust (the first of equal
// minima below 1e7), its own frequency when that thrust is exactly 0, otherwise where the line through it
// and its list neighbour (the next point, or the previous for the last) crosses zero. 0 when there is no
// such point, no neighbour (a single point), or the line never crosses (equal thrusts).
double zeroThrustFrequency(const std::vector<TCalibPoint>& points)
{
    int minIndex = -1;
    double minThrust = 1e7;
    for (int i = 0; i < static_cast<int>(points.size()); ++i) {
        if (points[static_cast<std::size_t>(i)].thrust < minThrust) {
            minThrust = points[static_cast<std::size_t>(i)].thrust;
            minIndex = i;
        }
    }
    if (minIndex < 0)
        return 0;
    const TCalibPoint& pi = points[static_cast<std::size_t>(minIndex)];
    if (pi.thrust == 0)
        return pi.frequency;
    if (points.size() < 2)
        return 0;
    const int j = minIndex + 1 < static_cast<int>(points.size()) ? minIndex + 1 : minIndex - 1;
    const TCalibPoint& pj = points[static_cast<std::size_t>(j)];
    const double result = pi.frequency - pi.thrust * (pj.frequency - pi.frequency) / (pj.thrust - pi.thrust);
    return std::isfinite(result) ? result : 0;
}

} // namespace

int SensorLibrary::SetActiveSensor(std::int32_t number)
{
    for (int i = 0; i < SensorCount(); ++i) {
        if (sensors[static_cast<std::size_t>(i)].number == number) {
            activate(i);
            return i;
        }
    }
    return 0;
}

bool SensorLibrary::SelectActiveSensor(int index)
{
    if (index < 0 || index >= SensorCount())
        return false;
    activate(index);
    return true;
}

bool SensorLibrary::RefreshActiveSensor(int index)
{
    if (index != ActiveSensorIndex || index < 0 || index >= SensorCount() ||
        sensors[static_cast<std::size_t>(index)].number != ActiveSensorId)
        return false;
    activate(index);
    return true;
}

void SensorLibrary::activate(int index)
{
    const TSensor& sensor = sensors[static_cast<std::size_t>(index)];
    ActiveCalibTable.clear();
    ActiveCalibTable.reserve(sensor.calibration.points.size());
    for (const TCalibPoint& p : sensor.calibration.points)
        ActiveCalibTable.push_back(TCalibTableEntry{p.frequency, p.thrust});
    ZeroThrustFrequency = zeroThrustFrequency(sensor.calibration.points);
    ActiveSensorId = sensor.number;
    ActiveSensorIndex = index;
}

void SensorLibrary::FillSensorCombo() const
{
    if (onFillSensorCombo)
        onFillSensorCombo();
}

TCalibration* SensorLibrary::ActiveCalibration()
{
    if (ActiveSensorIndex < 0 || ActiveSensorIndex >= SensorCount())
        return nullptr;
    return &sensors[static_cast<std::size_t>(ActiveSensorIndex)].calibration;
}

const TCalibration* SensorLibrary::ActiveCalibration() const
{
    return const_cast<SensorLibrary*>(this)->ActiveCalibration();
}

} // namespace selva
