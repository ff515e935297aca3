#include "sensors/SensorEditor.h"

#include <gtest/gtest.h>

namespace selva {
namespace {

// A library whose sensor 1 (index 1) has the default points, sorted as the editor shows them.
struct Fixture {
    SensorLibrary library;
    int index = library.AddSensor(1, "One");
    SensorEditor editor{library, index};
    int notified = 0;

    Fixture()
    {
        library.EnsureDefaultPoints(index);
        editor.onActiveSensorChanged = [this] { ++notified; };
        editor.Activate();
    }
};

TEST(SensorEditor, ChoosingAFormulaType)
{
    Fixture f;
    ASSERT_EQ(8700, f.editor.point(0).frequency);
    ASSERT_EQ(80, f.editor.point(1).thrust);

    // A blank formula starts at its point: A becomes the point's thrust.
    EXPECT_EQ(SensorEditor::TypeChange::constantSet, f.editor.SetFormulaType(1, TFormulaType::linear));
    EXPECT_EQ(TFormulaType::linear, f.editor.point(1).formula.type);
    EXPECT_EQ(80, f.editor.point(1).formula.c[0]);
    EXPECT_TRUE(f.library.SensorsModified);
    EXPECT_EQ(SensorEditor::TypeChange::unchanged, f.editor.SetFormulaType(1, TFormulaType::linear));

    // A formula that is not blank keeps its coefficients.
    f.editor.SetCoefficient(1, 1, -0.25f);
    EXPECT_EQ(SensorEditor::TypeChange::changed, f.editor.SetFormulaType(1, TFormulaType::polynom));
    EXPECT_EQ(80, f.editor.point(1).formula.c[0]);
    EXPECT_EQ(-0.25f, f.editor.point(1).formula.c[1]);

    // The first point has no preceding one: previos stays none there.
    EXPECT_EQ(SensorEditor::TypeChange::unchanged, f.editor.SetFormulaType(0, TFormulaType::previos));
    EXPECT_EQ(TFormulaType::none, f.editor.point(0).formula.type);
    EXPECT_EQ(SensorEditor::TypeChange::changed, f.editor.SetFormulaType(1, TFormulaType::previos));
    EXPECT_EQ(0, f.notified) << "sensor 1 is not the active one";
}

TEST(SensorEditor, ChangesOfTheActiveSensorReachTheAnalysis)
{
    Fixture f;
    ASSERT_TRUE(f.library.SelectActiveSensor(f.index));
    ASSERT_EQ(8700, f.library.ZeroThrustFrequency);

    f.editor.SetThrust(0, 5);
    EXPECT_EQ(1, f.notified);
    EXPECT_NEAR(8716, f.library.ZeroThrustFrequency, 1e-9);

    // A new frequency sorts the list again; the table follows the new order.
    EXPECT_EQ(0, f.editor.SetFrequency(1, 8800));
    EXPECT_EQ(2, f.notified);
    EXPECT_EQ((std::vector<TCalibTableEntry>{{8800, 80}, {8700, 5}}), f.library.ActiveCalibTable);

    // A colour changes nothing the computation sees.
    EXPECT_TRUE(f.editor.SetColour(0, 0x000000FF));
    EXPECT_FALSE(f.editor.SetColour(0, 0x000000FF));
    EXPECT_TRUE(f.editor.ClearColour(0));
    EXPECT_EQ(2, f.notified);
}

TEST(SensorEditor, AddingAndDeletingPoints)
{
    Fixture f;
    f.library.SensorsModified = false;
    const int added = f.editor.AddPoint();
    EXPECT_EQ(2, added) << "appended at the end of the list";
    EXPECT_EQ((TCalibPoint{1, 0, {}}), f.editor.point(added));
    EXPECT_TRUE(f.library.SensorsModified) << "an added point is a change to save";

    // A second Insert before the first point got its frequency keeps what was typed into it.
    f.editor.SetThrust(added, 33);
    EXPECT_EQ(added, f.editor.AddPoint());
    EXPECT_EQ(33, f.editor.point(added).thrust);
    EXPECT_EQ(3, f.editor.PointCount());

    // Typing a frequency sorts the point into place and reports where it went.
    EXPECT_EQ(1, f.editor.SetFrequency(added, 8600));
    EXPECT_EQ(8600, f.editor.point(1).frequency);

    f.library.SensorsModified = false;
    EXPECT_EQ(-1, f.editor.DeletePoint(5));
    EXPECT_FALSE(f.library.SensorsModified);
    EXPECT_EQ(1, f.editor.DeletePoint(1));
    EXPECT_TRUE(f.library.SensorsModified);
    EXPECT_EQ(0, f.editor.DeletePoint(1)) << "the last row goes: the new last row is selected";
    EXPECT_EQ(0, f.editor.DeletePoint(0)) << "the only point is reset, not removed";
    EXPECT_EQ((TCalibPoint{0, 0, {}}), f.editor.point(0));
}

TEST(SensorEditor, NameAndActivation)
{
    SensorLibrary library;
    const int index = library.AddSensor(2, "Two");
    library.sensors[static_cast<std::size_t>(index)].calibration.points = {{8460, 80, {}}, {8700, 0, {}}};
    ASSERT_TRUE(library.SelectActiveSensor(index));
    int fills = 0, notified = 0;
    library.onFillSensorCombo = [&] { ++fills; };
    SensorEditor editor(library, index);
    editor.onActiveSensorChanged = [&] { ++notified; };

    // Opening the editor sorts the points; the active table follows the new order.
    editor.Activate();
    EXPECT_EQ((std::vector<TCalibTableEntry>{{8700, 0}, {8460, 80}}), library.ActiveCalibTable);
    EXPECT_EQ(1, notified);
    editor.Activate();
    EXPECT_EQ(1, notified) << "already sorted: nothing changed";
    EXPECT_FALSE(library.SensorsModified);

    editor.SetName("Тензодатчик стенда номер один, левый");
    EXPECT_EQ("Тензодатчик стенда номер один,", library.sensors[static_cast<std::size_t>(index)].name);
    EXPECT_TRUE(library.SensorsModified);
    EXPECT_EQ(1, fills) << "the main window's list shows the new name";
}

} // namespace
} // namespace selva
