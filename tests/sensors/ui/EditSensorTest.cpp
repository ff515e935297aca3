// The sensor editor driven as a user drives it: controls found by their object names, keys and clicks.
// Runs under the default locale and a Russian one. The editing rules themselves are the core editor's
// (tests/sensors/SensorEditorTest.cpp); here the window's controls are checked to follow them.
#include "sensors/ui/TfrmEditSensor.h"

#include "controls/EditInt.h"
#include "sensors/SensorLibrary.h"
#include "sensors/ui/SensorImage.h"
#include "sensors/ui/TfrmSensorCurve.h"
#include "store/SettingsStore.h"
#include "support/FindControl.h"
#include "support/Modal.h"

#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

#include <memory>

using namespace selva;

class EditSensorTest : public QObject {
    Q_OBJECT

    SensorLibrary library_;
    SettingsStore store_;
    int notified_ = 0;
    std::unique_ptr<TfrmEditSensor> editor_;

    template <class T> T* get(const char* name) { return test::control<T>(editor_.get(), name); }
    TSensor& sensor() { return library_.sensors[1]; }
    // Chooses a formula type in the type list from the keyboard, `downs` entries below the current one.
    void chooseTypeDown(int downs)
    {
        auto* combo = get<QComboBox>("cbxFormulType");
        combo->setFocus();
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(combo, Qt::Key_Down);
    }

private slots:
    void init()
    {
        library_ = SensorLibrary();
        const int i = library_.AddSensor(1, "Stand");
        // Entered out of order: the editor shows them sorted.
        library_.sensors[static_cast<std::size_t>(i)].calibration.points = {{8460, 80, {}}, {8700, 0, {}}};
        notified_ = 0;
        editor_ = std::make_unique<TfrmEditSensor>(library_, 1, store_, [this] { ++notified_; });
        editor_->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor_.get()));
    }
    void cleanup() { editor_.reset(); }

    // The list and the pages show the type in force; the sensor list's test drives the types end to end.
    void formulaTypesFromTheListAndThePages()
    {
        // On the first row a previos shows as none, without formula pages.
        auto* combo = get<QComboBox>("cbxFormulType");
        auto* pages = get<QTabWidget>("pcFormul");
        chooseTypeDown(1);
        QCOMPARE(combo->currentText(), QStringLiteral("none"));
        QVERIFY(!pages->isVisible());

        auto* grid = get<QTableWidget>("sgrdData");
        grid->setCurrentCell(1, 0);
        chooseTypeDown(2); // previos, linear
        QCOMPARE(get<TEditFloat>("edtA")->text(), QStringLiteral("80"));
        QCOMPARE(grid->item(1, 2)->text(), QStringLiteral("linear"));
        QVERIFY(pages->isVisible());

        // Choosing a page chooses its type; the fields show the coefficients kept.
        test::typeInto(get<TEditFloat>("edtB"), QStringLiteral("-2"));
        pages->setCurrentIndex(2);
        QCOMPARE(combo->currentText(), QStringLiteral("powered"));
        QCOMPARE(get<TEditFloat>("edtBp")->text(), QStringLiteral("-2"));
    }

    // Insert, Delete and clicks on the curve select points; the rules behind them are the core editor's.
    void keysAndClicksSelectPoints()
    {
        // Insert adds a point at the end, selected, with the focus in the frequency field.
        auto* grid = get<QTableWidget>("sgrdData");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Insert);
        QCOMPARE(grid->currentRow(), 2);
        QCOMPARE(QApplication::focusWidget(), get<TEditFloat>("edtFreq"));

        // With a shift key Insert does nothing; Delete removes the selected point.
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(grid->rowCount(), 3);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(grid->currentRow(), 1);

        // 8460 Hz is the left edge of the plot (x 17), 8700 Hz the right edge (x 320); beyond the plot
        // nothing is selected.
        auto* curve = get<SensorImage>("imgCurve");
        QTest::mouseClick(curve, Qt::LeftButton, Qt::NoModifier, QPoint(300, 100));
        QCOMPARE(grid->currentRow(), 0);
        QTest::mouseClick(curve, Qt::LeftButton, Qt::NoModifier, QPoint(330, 100));
        QCOMPARE(grid->currentRow(), 0);
        QTest::mouseClick(curve, Qt::LeftButton, Qt::NoModifier, QPoint(30, 100));
        QCOMPARE(grid->currentRow(), 1);
    }

    void coloursSolidOrHatched()
    {
        auto* grid = get<QTableWidget>("sgrdData");
        auto brushAt = [grid](int row) {
            return grid->item(row, 3)->data(Qt::BackgroundRole).value<QBrush>();
        };
        QCOMPARE(brushAt(0).style(), Qt::FDiagPattern);

        test::onModal<QColorDialog>([](QColorDialog* dialog) {
            dialog->setCurrentColor(QColor(255, 0, 0));
            dialog->accept();
        });
        QTest::mouseClick(get<QPushButton>("btnColor"), Qt::LeftButton);
        QCOMPARE(sensor().calibration.points[0].formula.colour, 0x000000FFu);
        QCOMPARE(brushAt(0).color(), QColor(255, 0, 0));
        QCOMPARE(brushAt(0).style(), Qt::SolidPattern);
        QCOMPARE(get<QLabel>("shpColor")->pixmap().toImage().pixelColor(12, 8), QColor(255, 0, 0));

        // The colour column shows the colour in force: a previos point takes the red of the point before.
        grid->setCurrentCell(1, 0);
        chooseTypeDown(1);
        QCOMPARE(brushAt(1).color(), QColor(255, 0, 0));

        grid->setCurrentCell(0, 0);
        QTest::mouseClick(get<QToolButton>("sbtnClearColor"), Qt::LeftButton);
        QCOMPARE(sensor().calibration.points[0].formula.colour, TSegmentFormula::NoColour);
        QCOMPARE(brushAt(1).style(), Qt::FDiagPattern);
    }

    void doubleClickOpensTheCurveWindow()
    {
        QString title;
        QSize shown;
        bool closedByKey = false;
        test::onModal<TfrmSensorCurve>([&](TfrmSensorCurve* window) {
            title = window->windowTitle();
            auto* image = test::control<SensorImage>(window, "imgCurve");
            window->resize(500, 300);
            shown = image->image().size();
            QTest::keyClick(window, Qt::Key_Space);
            closedByKey = !window->isVisible();
        });
        QTest::mouseDClick(get<SensorImage>("imgCurve"), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        QCOMPARE(title, QStringLiteral("Датчик: Stand"));
        QCOMPARE(shown, QSize(500, 300));
        QVERIFY(closedByKey);
    }

    void editsOfTheActiveSensorReachTheAnalysis()
    {
        QCOMPARE(notified_, 0); // sensor 1 is not active
        QVERIFY(library_.SelectActiveSensor(1));
        test::typeInto(get<TEditFloat>("edtThrust"), QStringLiteral("5"));
        QCOMPARE(notified_, 1);
        QCOMPARE(library_.ZeroThrustFrequency, 8716.0);

        // A new name changes no thrust, but the main window's list follows it.
        int fills = 0;
        library_.onFillSensorCombo = [&] { ++fills; };
        test::typeInto(get<TEditPchar>("edtName"), QStringLiteral("Стенд Ё"));
        QCOMPARE(sensor().name, std::string("Стенд Ё"));
        QCOMPARE(editor_->windowTitle(), QStringLiteral("Изменение данных датчика: Стенд Ё"));
        QCOMPARE(fills, 1);
        QCOMPARE(notified_, 1);
        library_.onFillSensorCombo = nullptr;
    }
};

QTEST_MAIN(EditSensorTest)
#include "EditSensorTest.moc"
