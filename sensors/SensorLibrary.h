#pragma once

#include "common/UserPrompts.h"
#include "sensors/Calibration.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace selva {

struct TSensor {
    std::int32_t number = 0; // unique in the library; 0 is the default sensor
    std::string name;        // UTF-8, at most 30 characters
    TCalibration calibration;
};

// One (frequency, thrust) pair of the active sensor's calibration, in list order.
struct TCalibTableEntry {
    double frequency = 0;
    double thrust = 0;

    bool operator==(const TCalibTableEntry&) const = default;
};

// The sensor library and the active-sensor state of the whole run. One instance is created at start and
// passed by reference. Not thread-safe: it is changed on the UI thread; a computation that reads it runs
// while nothing edits it.
class SensorLibrary {
public:
    static constexpr const char* DefaultSensorName = "<Без калибровки>";
    static constexpr std::size_t MaxNameLength = 30; // characters

    // Starts reset: the default sensor with its default points, active.
    SensorLibrary();

    // Index 0 always holds the default sensor (number 0). Numbers are unique (AddSensor and the reader
    // keep them so).
    std::vector<TSensor> sensors;
    std::int32_t ActiveSensorId = 0;
    // Index of the active sensor and of the main window's sensor combo item.
    std::int32_t ActiveSensorIndex = 0;
    bool SensorsModified = false;
    std::string SensorFileName = "Selvarondine.sns";
    std::vector<TCalibTableEntry> ActiveCalibTable; // copy of the active sensor's points
    double ZeroThrustFrequency = 0;                 // 0 when it cannot be found

    // Called wherever the sensor list changed as a whole: the main window refills `lbxSensor` from
    // `sensors` and selects ActiveSensorIndex.
    std::function<void()> onFillSensorCombo;
    // Why a save of the library must not replace a file (empty when it may): the workspace that owns the
    // library refuses the files the analysis uses (Workspace::CheckSaveTarget). Unset: no such check.
    std::function<std::string(const std::string& fileName)> saveTargetInUse;

    int SensorCount() const { return static_cast<int>(sensors.size()); }

    // Empties the library, creates the default sensor and activates it.
    void ResetSensorLibrary();
    // Finds the sensor with `number` (>= 0) or appends a new one (a negative number asks for the smallest
    // free number from 1 up). An empty name becomes `name` cut to 30 characters, or "Sensor <number>".
    // Returns the list index.
    int AddSensor(std::int32_t number, const std::string& name);
    // Index 0 and indices outside the list do nothing. Removing the active sensor itself activates the
    // sensor before it (the one ActiveSensorIndex then names), so that the active number, table and
    // zero-thrust frequency never describe a sensor that is gone; returns true in that case.
    bool DeleteSensor(int index);
    // A sensor with fewer than two points gets the default points (8460 Hz -> 80, 8700 Hz -> 0).
    bool EnsureDefaultPoints(int index);
    // Activates the first sensor with `number`: rebuilds ActiveCalibTable and ZeroThrustFrequency. Returns
    // its index, or 0 with nothing changed when no sensor has that number.
    int SetActiveSensor(std::int32_t number);
    // True when the sensor at `index` became active. Numbers are unique in the library, so the sensor is
    // activated by its index without a search: listing a library activates every sensor in turn.
    bool SelectActiveSensor(int index);
    // After the points of the sensor at `index` changed (edited, sorted, loaded): when it is the active
    // sensor, ActiveCalibTable and ZeroThrustFrequency are rebuilt from its points and the result is true,
    // so the caller can have the analysis recomputed.
    bool RefreshActiveSensor(int index);
    void FillSensorCombo() const;

    // The calibration the thrust computation converts with: that of the sensor at ActiveSensorIndex, or
    // nullptr when the index does not name a sensor.
    TCalibration* ActiveCalibration();
    const TCalibration* ActiveCalibration() const;

    // The sensor file (SensorFile.cpp). Messages and the overwrite questions go through `prompts`; a save
    // follows the rules of every save (common/AtomicFile.h), the read-only question going to
    // prompts.confirmReadOnly.
    bool LoadSensorFile(const std::string& fileName, bool reportErrors, const UserPrompts& prompts = {});
    bool SaveSensorFile(const std::string& fileName, const UserPrompts& prompts = {});

    // The default points of a new sensor and of the default sensor after a reset.
    static void AppendDefaultPoints(TCalibration& calibration);

private:
    // Makes the sensor at `index` (in range) the active one.
    void activate(int index);
};

} // namespace selva
