#include "sensors/SensorEditor.h"

#include "common/Cp1251.h"

namespace selva {

SensorEditor::SensorEditor(SensorLibrary& library, int sensorIndex) : library_(library), index_(sensorIndex)
{
}

void SensorEditor::changed(bool thrustChanged)
{
    library_.SensorsModified = true;
    calibration().lowIndex = -1;
    calibration().highIndex = -1;
    if (thrustChanged && library_.RefreshActiveSensor(index_) && onActiveSensorChanged)
        onActiveSensorChanged();
}

void SensorEditor::Activate()
{
    const auto before = calibration().points;
    SortCalibPoints(calibration());
    // Sorting changes nothing the user typed, but the active table follows the list order.
    if (before != calibration().points && library_.RefreshActiveSensor(index_) && onActiveSensorChanged)
        onActiveSensorChanged();
}

void SensorEditor::SetName(std::string_view name)
{
    sensor().name = utf8Left(name, SensorLibrary::MaxNameLength);
    library_.SensorsModified = true;
    library_.FillSensorCombo();
}

int SensorEditor::SetFrequency(int p, double frequency)
{
    point(p).frequency = frequency;
    SortCalibPoints(calibration());
    changed(true);
    const auto& points = calibration().points;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (points[i].frequency == frequency)
            return static_cast<int>(i);
    return p;
}

void SensorEditor::SetThrust(int p, double thrust)
{
    point(p).thrust = thrust;
    changed(true);
}

void SensorEditor::SetCoefficient(int p, int k, float value)
{
    point(p).formula.c[static_cast<std::size_t>(k)] = value;
    changed(true);
}

SensorEditor::TypeChange SensorEditor::SetFormulaType(int p, TFormulaType type)
{
    type = NormalizedFormulaType(type);
    if (p == 0 && type == TFormulaType::previos)
        type = TFormulaType::none;
    TCalibPoint& pt = point(p);
    if (NormalizedFormulaType(pt.formula.type) == type)
        return TypeChange::unchanged;
    pt.formula.type = type;
    TypeChange result = TypeChange::changed;
    if (static_cast<int>(type) >= static_cast<int>(TFormulaType::linear) &&
        EvalFormulaAt(pt.formula, pt.frequency) == 0.0f) {
        pt.formula.c[0] = static_cast<float>(pt.thrust);
        result = TypeChange::constantSet;
    }
    changed(true);
    return result;
}

bool SensorEditor::SetColour(int p, std::uint32_t colour)
{
    if (point(p).formula.colour == colour)
        return false;
    point(p).formula.colour = colour;
    changed(false);
    return true;
}

int SensorEditor::AddPoint()
{
    const auto& points = calibration().points;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (points[i].frequency == 1.0)
            return static_cast<int>(i);
    const int index = AddCalibPoint(calibration(), TCalibPoint{1.0, 0.0, {}});
    changed(true);
    return index;
}

int SensorEditor::DeletePoint(int p)
{
    if (DeleteCalibPoint(calibration(), p) < 0)
        return -1;
    SortCalibPoints(calibration());
    changed(true);
    return p < PointCount() ? p : PointCount() - 1;
}

} // namespace selva
