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

TEST(SensorEditor, ChangesOfTheActiveSensorReachTheAnalysis)
{
    Fixture f;
    EXPECT_EQ(0, f.notified) << "sensor 1 is not active yet";
    ASSERT_TRUE(f.library.SelectActiveSensor(f.index));

    // A new frequency sorts the list again; the table follows the new order.
    EXPECT_EQ(0, f.editor.SetFrequency(1, 8800));
    EXPECT_EQ(1, f.notified);
    EXPECT_EQ((std::vector<TCalibTableEntry>{{8800, 80}, {8700, 0}}), f.library.ActiveCalibTable);

    // Coefficients change the thrust and mark the library modified; a colour changes no thrust.
    f.library.SensorsModified = false;
    f.editor.SetCoefficient(0, 1, 2.5f);
    EXPECT_TRUE(f.library.SensorsModified);
    EXPECT_EQ(2, f.notified);
    EXPECT_TRUE(f.editor.SetColour(0, 0x000000FF));
    EXPECT_FALSE(f.editor.SetColour(0, 0x000000FF));
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

TEST(SensorEditor, FormulaTypes)
{
    Fixture f; // 8700 Hz at 0 N, then 8460 Hz at 80 N, no formulas
    using Change = SensorEditor::TypeChange;
    // The first point has no segment before it to follow: a previos there stays none.
    EXPECT_EQ(Change::unchanged, f.editor.SetFormulaType(0, TFormulaType::previos));
    EXPECT_EQ(TFormulaType::none, f.editor.point(0).formula.type);

    // A blank formula starts at its point: the constant becomes the point's thrust.
    f.library.SensorsModified = false;
    EXPECT_EQ(Change::constantSet, f.editor.SetFormulaType(1, TFormulaType::linear));
    EXPECT_EQ(80.0f, f.editor.point(1).formula.c[0]);
    EXPECT_TRUE(f.library.SensorsModified);
    EXPECT_EQ(Change::unchanged, f.editor.SetFormulaType(1, TFormulaType::linear));

    // Another type keeps the coefficients there are (80 - 2 X^0 is not blank at the point).
    f.editor.SetCoefficient(1, 1, -2);
    EXPECT_EQ(Change::changed, f.editor.SetFormulaType(1, TFormulaType::powered));
    EXPECT_EQ(TFormulaType::powered, f.editor.point(1).formula.type);
    EXPECT_EQ(80.0f, f.editor.point(1).formula.c[0]);
    EXPECT_EQ(-2.0f, f.editor.point(1).formula.c[1]);
    EXPECT_EQ(Change::changed, f.editor.SetFormulaType(1, TFormulaType::previos));
}

} // namespace
} // namespace selva
