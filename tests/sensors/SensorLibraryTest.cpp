#include "sensors/SensorLibrary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace selva {
namespace {

TEST(SensorLibrary, StartsAndResetsWithTheActiveDefaultSensor)
{
    SensorLibrary lib;
    EXPECT_EQ("Selvarondine.sns", lib.SensorFileName);
    EXPECT_FALSE(lib.SensorsModified);
    int fills = 0;
    lib.onFillSensorCombo = [&] { ++fills; };
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "after a reset" : "new");
        if (reset) {
            lib.AddSensor(5, "x");
            lib.SelectActiveSensor(1);
            lib.ResetSensorLibrary();
        }
        EXPECT_EQ(reset ? 1 : 0, fills);
        ASSERT_EQ(1, lib.SensorCount());
        EXPECT_EQ(0, lib.sensors[0].number);
        EXPECT_EQ("<Без калибровки>", lib.sensors[0].name);
        EXPECT_EQ((std::vector<TCalibPoint>{{8460, 80, {}}, {8700, 0, {}}}),
                  lib.sensors[0].calibration.points);
        EXPECT_EQ(0, lib.ActiveSensorId);
        EXPECT_EQ(0, lib.ActiveSensorIndex);
        EXPECT_EQ((std::vector<TCalibTableEntry>{{8460, 80}, {8700, 0}}), lib.ActiveCalibTable);
        EXPECT_EQ(8700, lib.ZeroThrustFrequency);
        ASSERT_NE(nullptr, lib.ActiveCalibration());
        EXPECT_NEAR(40, SensorThrust(*lib.ActiveCalibration(), 8580), 1e-9);
    }
}

TEST(SensorLibrary, AddSensorFindsOrCreates)
{
    SensorLibrary lib;
    EXPECT_EQ(1, lib.AddSensor(1, ""));
    EXPECT_EQ(2, lib.AddSensor(2, "Stand"));
    EXPECT_EQ(3, lib.AddSensor(4, ""));
    EXPECT_EQ("Sensor 1", lib.sensors[1].name);
    EXPECT_EQ("Stand", lib.sensors[2].name);

    // A negative number asks for the smallest free one; new sensors have no points.
    EXPECT_EQ(4, lib.AddSensor(-1, ""));
    EXPECT_EQ(3, lib.sensors[4].number);
    EXPECT_EQ("Sensor 3", lib.sensors[4].name);
    EXPECT_TRUE(lib.sensors[4].calibration.points.empty());
    EXPECT_EQ(5, lib.AddSensor(-7, "Next"));
    EXPECT_EQ(5, lib.sensors[5].number);

    // An existing number selects its sensor and never renames it.
    EXPECT_EQ(2, lib.AddSensor(2, "Other"));
    EXPECT_EQ("Stand", lib.sensors[2].name);
    EXPECT_EQ(0, lib.AddSensor(0, "Other"));
    EXPECT_EQ("<Без калибровки>", lib.sensors[0].name);
    EXPECT_EQ(6, lib.SensorCount());

    // Names are cut to 30 characters, not bytes.
    const int i = lib.AddSensor(10, "Тензодатчик стенда номер один, левый");
    EXPECT_EQ("Тензодатчик стенда номер один,", lib.sensors[static_cast<std::size_t>(i)].name);

    // Fewer than two points give way to the default ones; two or more are kept; no sensor, nothing done.
    const std::vector<TCalibPoint> defaults = {{8460, 80, {}}, {8700, 0, {}}};
    lib.sensors[2].calibration.points = {{1, 2, {}}};
    EXPECT_TRUE(lib.EnsureDefaultPoints(2));
    EXPECT_TRUE(lib.EnsureDefaultPoints(4));
    EXPECT_EQ(defaults, lib.sensors[2].calibration.points);
    EXPECT_EQ(defaults, lib.sensors[4].calibration.points);
    lib.sensors[2].calibration.points = {{1, 2, {}}, {3, 4, {}}};
    EXPECT_FALSE(lib.EnsureDefaultPoints(2));
    EXPECT_EQ(3, lib.sensors[2].calibration.points[1].frequency);
    EXPECT_FALSE(lib.EnsureDefaultPoints(-1));
    EXPECT_FALSE(lib.EnsureDefaultPoints(99));
}

TEST(SensorLibrary, DeleteSensorKeepsTheDefaultAndActivatesTheSensorBeforeARemovedActiveOne)
{
    SensorLibrary lib;
    lib.AddSensor(1, "A");
    const int b = lib.AddSensor(2, "B");
    lib.sensors[static_cast<std::size_t>(b)].calibration.points = {{9000, 0, {}}, {8000, 100, {}}};
    lib.AddSensor(3, "C");
    ASSERT_TRUE(lib.SelectActiveSensor(b));
    EXPECT_EQ(9000, lib.ZeroThrustFrequency);

    for (int index : {0, -1, 4, 100})
        EXPECT_FALSE(lib.DeleteSensor(index));
    EXPECT_EQ(4, lib.SensorCount());
    EXPECT_FALSE(lib.SensorsModified);

    // Removing a sensor before the active one follows the active sensor.
    EXPECT_FALSE(lib.DeleteSensor(1));
    EXPECT_TRUE(lib.SensorsModified);
    EXPECT_EQ(1, lib.ActiveSensorIndex);
    EXPECT_EQ(2, lib.sensors[1].number);
    EXPECT_EQ(9000, lib.ZeroThrustFrequency);

    // Removing the active sensor itself: the sensor before it becomes active, every active value with it.
    EXPECT_TRUE(lib.DeleteSensor(1));
    EXPECT_EQ(0, lib.ActiveSensorIndex);
    EXPECT_EQ(0, lib.ActiveSensorId);
    EXPECT_EQ(8700, lib.ZeroThrustFrequency);
    EXPECT_EQ((std::vector<TCalibTableEntry>{{8460, 80}, {8700, 0}}), lib.ActiveCalibTable);
    EXPECT_EQ(&lib.sensors[0].calibration, lib.ActiveCalibration());
}

TEST(SensorLibrary, RefreshActiveSensorRebuildsOnlyTheActiveOne)
{
    SensorLibrary lib;
    const int a = lib.AddSensor(1, "A");
    lib.EnsureDefaultPoints(a);
    const int b = lib.AddSensor(2, "B");
    lib.EnsureDefaultPoints(b);
    ASSERT_TRUE(lib.SelectActiveSensor(a));

    // An edit of another sensor leaves the active values alone.
    lib.sensors[static_cast<std::size_t>(b)].calibration.points[1].thrust = 5;
    EXPECT_FALSE(lib.RefreshActiveSensor(b));
    EXPECT_FALSE(lib.RefreshActiveSensor(-1));
    EXPECT_FALSE(lib.RefreshActiveSensor(9));
    EXPECT_EQ(8700, lib.ZeroThrustFrequency);

    // An edit of the active sensor rebuilds its table and zero-thrust frequency (list order counts).
    auto& points = lib.sensors[static_cast<std::size_t>(a)].calibration.points;
    points[1].thrust = 5;
    SortCalibPoints(lib.sensors[static_cast<std::size_t>(a)].calibration);
    EXPECT_TRUE(lib.RefreshActiveSensor(a));
    EXPECT_EQ((std::vector<TCalibTableEntry>{{8700, 5}, {8460, 80}}), lib.ActiveCalibTable);
    EXPECT_NEAR(8716, lib.ZeroThrustFrequency, 1e-9);
    EXPECT_EQ(1, lib.ActiveSensorId);
}

TEST(SensorLibrary, ListingEverySensorOfALargeLibraryStaysLinear)
{
    // Activating each sensor in turn, as the sensor listing does: with a search by number per activation
    // this was quadratic (close to a minute here); by index it takes milliseconds. bench/BenchSensorLibrary
    // measures the growth.
    SensorLibrary lib;
    lib.sensors.reserve(300001);
    for (int i = 1; i <= 300000; ++i) {
        TSensor s;
        s.number = i;
        s.calibration.points = {{8700, 0, {}}, {8460, 80, {}}};
        lib.sensors.push_back(std::move(s));
    }
    double sum = 0;
    for (int i = 0; i < lib.SensorCount(); ++i) {
        ASSERT_TRUE(lib.SelectActiveSensor(i));
        sum += lib.ZeroThrustFrequency;
    }
    EXPECT_EQ(300000, lib.ActiveSensorId);
    EXPECT_EQ(8700.0 * 300001, sum);
}

TEST(SensorLibrary, ActivationAndZeroThrustFrequency)
{
    const struct {
        std::vector<TCalibPoint> points;
        double zero;
        const char* what;
    } cases[] = {
        {{{8700, 0, {}}, {8460, 80, {}}}, 8700, "a point at zero thrust"},
        {{{8700, 5, {}}, {8460, 80, {}}}, 8716, "through the list neighbour"},
        {{{8460, 80, {}}, {8700, 5, {}}}, 8716, "the last point takes the previous one"},
        {{{8700, -3, {}}, {8600, -3, {}}, {8460, 80, {}}}, 0, "equal thrusts never cross zero"},
        {{{8700, 5, {}}}, 0, "single point without zero thrust"},
        {{{8700, 0, {}}}, 8700, "single point at zero thrust"},
        {{{8700, 2e7, {}}, {8460, 3e7, {}}}, 0, "thrusts of 1e7 and more are never a minimum"},
        {{}, 0, "no points"},
    };
    for (const auto& c : cases) {
        SensorLibrary lib;
        const int index = lib.AddSensor(4, "S");
        lib.sensors[static_cast<std::size_t>(index)].calibration.points = c.points;
        EXPECT_EQ(index, lib.SetActiveSensor(4)) << c.what;
        EXPECT_EQ(4, lib.ActiveSensorId);
        EXPECT_EQ(index, lib.ActiveSensorIndex);
        ASSERT_EQ(c.points.size(), lib.ActiveCalibTable.size()) << c.what;
        for (std::size_t i = 0; i < c.points.size(); ++i)
            EXPECT_EQ((TCalibTableEntry{c.points[i].frequency, c.points[i].thrust}), lib.ActiveCalibTable[i]);
        EXPECT_NEAR(c.zero, lib.ZeroThrustFrequency, 1e-9) << c.what;
    }
}

TEST(SensorLibrary, ActivatingUnknownNumbersChangesNothing)
{
    SensorLibrary lib;
    lib.AddSensor(3, "A");
    ASSERT_TRUE(lib.SelectActiveSensor(1));
    const auto table = lib.ActiveCalibTable;
    EXPECT_EQ(0, lib.SetActiveSensor(42));
    EXPECT_EQ(1, lib.ActiveSensorIndex);
    EXPECT_EQ(3, lib.ActiveSensorId);
    EXPECT_EQ(table, lib.ActiveCalibTable);
    EXPECT_FALSE(lib.SelectActiveSensor(2));
    EXPECT_FALSE(lib.SelectActiveSensor(-1));
    EXPECT_EQ(1, lib.ActiveSensorIndex);
    EXPECT_TRUE(lib.SelectActiveSensor(0));
    EXPECT_EQ(0, lib.ActiveSensorId);

    // An active index out of the list has no calibration.
    for (int index : {-1, 2, 50}) {
        lib.ActiveSensorIndex = index;
        EXPECT_EQ(nullptr, lib.ActiveCalibration()) << index;
        EXPECT_EQ(nullptr, static_cast<const SensorLibrary&>(lib).ActiveCalibration()) << index;
    }
}

} // namespace
} // namespace selva
