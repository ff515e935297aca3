#pragma once

#include "sensors/SensorLibrary.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace selva {

// The rules of the sensor editor window over one sensor of the library, edited in place. Points are
// addressed by list index (the window's grid shows point p in its row p). Every change that the thrust
// computation can see rebuilds the active sensor's table and zero-thrust frequency when the edited sensor
// is the active one, and then calls onActiveSensorChanged, so the analysis is recomputed at once.
//
// Every change of the data marks the library modified, adding and deleting points and coefficients
// included: otherwise closing the sensor list would not offer to save them and they would be lost.
class SensorEditor {
public:
    SensorEditor(SensorLibrary& library, int sensorIndex);

    std::function<void()> onActiveSensorChanged;

    TSensor& sensor() { return library_.sensors[static_cast<std::size_t>(index_)]; }
    TCalibration& calibration() { return sensor().calibration; }
    int PointCount() const
    {
        return static_cast<int>(library_.sensors[static_cast<std::size_t>(index_)].calibration.points.size());
    }
    TCalibPoint& point(int p) { return calibration().points[static_cast<std::size_t>(p)]; }

    // When the window opens: the points sorted by descending frequency.
    void Activate();

    // The name cut to 30 characters; the main window's sensor list is refilled.
    void SetName(std::string_view name);
    // Sorts the points again; returns the index of the first point that has the new frequency.
    int SetFrequency(int p, double frequency);
    void SetThrust(int p, double thrust);
    void SetCoefficient(int p, int k, float value);

    enum class TypeChange {
        unchanged,   // the point already had that type
        changed,     // the type was set
        constantSet, // the type was set and c0 became the point's thrust
    };
    // A `previos` on the first point becomes `none`. For a type with a formula whose value at X equal to
    // the point's frequency is exactly 0 (a blank formula), c0 becomes the point's thrust, so the segment
    // starts at the point. The type actually set is point(p).formula.type.
    TypeChange SetFormulaType(int p, TFormulaType type);

    // False when the colour was already that.
    bool SetColour(int p, std::uint32_t colour);
    bool ClearColour(int p) { return SetColour(p, TSegmentFormula::NoColour); }

    // A point at 1 Hz, thrust 0, no formula, appended; returns its index. When a point at 1 Hz exists
    // already it is kept as it is and its index returned (a second Insert must not wipe what was typed
    // into the first).
    int AddPoint();
    // Deletes point p (the only point is reset to 0 Hz instead) and sorts; returns the index to select
    // afterwards (p, or the last point when p no longer exists), −1 when nothing was deleted.
    int DeletePoint(int p);

private:
    // After a change of the data: modified, range invalid, active sensor refreshed.
    void changed(bool thrustChanged);

    SensorLibrary& library_;
    int index_;
};

} // namespace selva
