// The sensor list window driven as a user drives it, with the editor and the file dialogs it opens; a
// library edited through the windows is saved and loaded back through them.
#include "sensors/ui/TfrmNewSensor.h"

#include "controls/EditInt.h"
#include "sensors/SensorLibrary.h"
#include "sensors/ui/DrawSensor.h"
#include "sensors/ui/SensorImage.h"
#include "sensors/ui/TfrmEditSensor.h"
#include "store/SettingsStore.h"
#include "support/FindControl.h"
#include "support/Modal.h"
#include "support/QtFiles.h"

#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace selva;

namespace {

// Arranges what happens in the editor the list opens next, then closes it with "Выход".
void inEditor(std::function<void(TfrmEditSensor*)> act)
{
    test::onModal<TfrmEditSensor>([act](TfrmEditSensor* editor) {
        act(editor);
        QTest::mouseClick(test::control<QPushButton>(editor, "btnExit"), Qt::LeftButton);
    });
}

// Arranges the next file dialog: `path` typed into its name field and accepted, or the dialog cancelled
// when `path` is empty. (selectFile leaves a focused name field alone, so the name is typed as a user
// would.)
void inFileDialog(const QString& path, QString* name = nullptr)
{
    test::onModal<QFileDialog>([path, name](QFileDialog* dialog) {
        if (name)
            *name = dialog->objectName();
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        test::control<QLineEdit>(dialog, "fileNameEdit")->setText(path);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog's own accept checks the name as OK does
    });
}

} // namespace

class NewSensorTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        library_ = SensorLibrary();
        for (int number : {1, 2, 4}) {
            const int i = library_.AddSensor(number, number == 4 ? "Four" : "");
            library_.EnsureDefaultPoints(i);
        }
        // Sensor 2 is told apart by its curve.
        library_.sensors[2].calibration.points = {{8700, 10, {}}, {8600, 30, {}}, {8400, 100, {}}};
        QVERIFY(library_.SelectActiveSensor(2));
        library_.SensorFileName = dir_.filePath(QStringLiteral("start.sns")).toStdString();
        notified_ = 0;
        fills_ = 0;
        library_.onFillSensorCombo = [this] { ++fills_; };
        open();
    }

    void cleanup()
    {
        window_.reset();
        library_.onFillSensorCombo = nullptr;
    }

    // The list opens on the active sensor and draws the selected one; a new sensor takes the smallest free
    // number and the default points; "Сделать активным" tells the analysis.
    void listShowsAddsAndActivates()
    {
        QCOMPARE(get<QLineEdit>("edtSensorFileName")->text(), dir_.filePath(QStringLiteral("start.sns")));
        auto* grid = get<QTableWidget>("sgrdSensors");
        QCOMPARE(grid->currentRow(), 2);
        auto* curve = get<SensorImage>("imgCurve");
        QCOMPARE(curve->image(), expectedCurve(2));
        grid->setCurrentCell(1, 0);
        QCOMPARE(curve->image(), expectedCurve(1));
        QVERIFY(curve->image() != expectedCurve(2));

        QTest::mouseClick(get<QPushButton>("btnAdd"), Qt::LeftButton);
        QCOMPARE(grid->currentRow(), 4);
        QCOMPARE(grid->item(4, 0)->text(), QStringLiteral("Sensor 3"));
        QCOMPARE(library_.sensors[4].calibration.points,
                 (std::vector<TCalibPoint>{{8460, 80, {}}, {8700, 0, {}}}));
        QCOMPARE(curve->image(), expectedCurve(4));
        QVERIFY(library_.SensorsModified);
        QCOMPARE(fills_, 1);

        grid->setCurrentCell(1, 0);
        QTest::mouseClick(get<QPushButton>("btnSetActive"), Qt::LeftButton);
        QCOMPARE(library_.ActiveSensorId, 1);
        QCOMPARE(notified_, 1);
        QCOMPARE(fills_, 2);
    }

    void removingSensors()
    {
        auto* grid = get<QTableWidget>("sgrdSensors");
        auto* del = get<QPushButton>("btnDel");

        // The last row: the new last row is selected.
        grid->setCurrentCell(3, 0);
        QString question;
        test::answerMessage(QMessageBox::Yes, &question);
        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(question, QStringLiteral("Удалить датчик Four ?"));
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->currentRow(), 2);
        QCOMPARE(notified_, 0); // the active sensor is still there

        // Row 0 only beeps: no question, nothing removed.
        grid->setCurrentCell(0, 0);
        QCOMPARE(test::messageDuring([del] { QTest::mouseClick(del, Qt::LeftButton); }), QString());
        QCOMPARE(grid->rowCount(), 3);

        // The active sensor itself: the sensor before it becomes active, and the analysis hears of it.
        grid->setCurrentCell(2, 0);
        test::answerMessage(QMessageBox::Yes);
        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(library_.ActiveSensorId, 1);
        QCOMPARE(notified_, 1);
    }

    void closingAfterARename()
    {
        auto* grid = get<QTableWidget>("sgrdSensors");
        grid->setCurrentCell(1, 0);
        inEditor([](TfrmEditSensor* editor) {
            test::typeInto(test::control<TEditPchar>(editor, "edtName"), "Стенд А");
        });
        QTest::mouseClick(get<QPushButton>("btnEdit"), Qt::LeftButton);
        QCOMPARE(grid->item(1, 0)->text(), QStringLiteral("Стенд А"));
        QCOMPARE(grid->currentRow(), 1);

        // Yes, then Cancel in the save dialog: the window stays open, the library still modified.
        QString question, dialog;
        test::answerMessage(QMessageBox::Yes, &question);
        inFileDialog(QString(), &dialog);
        QTest::mouseClick(get<QPushButton>("btnExit"), Qt::LeftButton);
        QCOMPARE(question, QStringLiteral("Данные датчиков изменены.  Сохранить ?"));
        QCOMPARE(dialog, QStringLiteral("dlgSaveFile"));
        QVERIFY(window_->isVisible());
        QVERIFY(library_.SensorsModified);

        // No: the window closes, the new name stays in memory, and the next opening closes without a
        // question.
        test::answerMessage(QMessageBox::No);
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        QVERIFY(!window_->isVisible());
        QCOMPARE(library_.sensors[1].name, std::string("Стенд А"));
        QVERIFY(!library_.SensorsModified);
        open();
        QCOMPARE(
            test::messageDuring([this] { QTest::mouseClick(get<QPushButton>("btnExit"), Qt::LeftButton); }),
            QString());
        QVERIFY(!window_->isVisible());
    }

    void loadingAsksToSaveUnsavedChanges()
    {
        library_.SensorsModified = true;
        // Cancel: nothing is loaded and the changes stay.
        test::answerMessage(QMessageBox::Cancel);
        QTest::mouseClick(get<QPushButton>("btnLoadSensorFile"), Qt::LeftButton);
        QCOMPARE(library_.SensorCount(), 4);
        QVERIFY(library_.SensorsModified);

        // No: the file is loaded and the default sensor becomes active.
        const QString name = dir_.filePath(QStringLiteral("other.sns"));
        QVERIFY(test::writeBytes(name, "START\r\n7\t8700\t0\tSeven\r\n7\t8400\t90\t\r\n\r\n"));
        test::answerMessage(QMessageBox::No);
        QString dialog;
        inFileDialog(name, &dialog);
        QTest::mouseClick(get<QPushButton>("btnLoadSensorFile"), Qt::LeftButton);
        QCOMPARE(dialog, QStringLiteral("dlgOpenFile"));
        QCOMPARE(get<QTableWidget>("sgrdSensors")->rowCount(), 2);
        QCOMPARE(get<QTableWidget>("sgrdSensors")->currentRow(), 0);
        QCOMPARE(get<QLineEdit>("edtSensorFileName")->text(), name);
        QCOMPARE(store_.project.SensorFileName, name.toStdString());
        QCOMPARE(notified_, 1); // the default sensor is active now
    }

    void libraryEditedInTheWindowsSurvivesSaveAndLoad()
    {
        auto* grid = get<QTableWidget>("sgrdSensors");
        auto* edit = get<QPushButton>("btnEdit");

        // The default sensor's points moved.
        grid->setCurrentCell(0, 0);
        inEditor([](TfrmEditSensor* editor) {
            auto* points = test::control<QTableWidget>(editor, "sgrdData");
            points->setCurrentCell(0, 0);
            test::typeInto(test::control<TEditFloat>(editor, "edtFreq"), "8690");
            points->setCurrentCell(1, 0);
            test::typeInto(test::control<TEditFloat>(editor, "edtFreq"), "8470");
        });
        QTest::mouseClick(edit, Qt::LeftButton);

        // Sensor 1: renamed, a red linear segment, a polynomial on a new point, a previos on another.
        grid->setCurrentCell(1, 0);
        inEditor([](TfrmEditSensor* editor) {
            test::typeInto(test::control<TEditPchar>(editor, "edtName"), "Тяга №1 Ёж");
            auto* points = test::control<QTableWidget>(editor, "sgrdData");
            auto* combo = test::control<QComboBox>(editor, "cbxFormulType");
            auto chooseType = [combo](int downs) {
                combo->setFocus();
                QTest::keyClick(combo, Qt::Key_Home);
                for (int i = 0; i < downs; ++i)
                    QTest::keyClick(combo, Qt::Key_Down);
            };
            points->setCurrentCell(1, 0); // 8460 Hz
            chooseType(2);                // linear, A = 80
            test::typeInto(test::control<TEditFloat>(editor, "edtB"), test::localNumber("-0.25"));
            test::onModal<QColorDialog>([](QColorDialog* dialog) {
                dialog->setCurrentColor(QColor(255, 0, 0));
                dialog->accept();
            });
            QTest::mouseClick(test::control<QPushButton>(editor, "btnColor"), Qt::LeftButton);

            points->setFocus();
            QTest::keyClick(points, Qt::Key_Insert);
            test::typeInto(test::control<TEditFloat>(editor, "edtFreq"), test::localNumber("8580.5"));
            test::typeInto(test::control<TEditFloat>(editor, "edtThrust"), "40");
            test::control<QTabWidget>(editor, "pcFormul")->setCurrentIndex(1); // polynom, A0 = 40
            test::typeInto(test::control<TEditFloat>(editor, "edtA2"), test::localNumber("0.003"));
            test::typeInto(test::control<TEditFloat>(editor, "edtA5"), test::localNumber("-0.5"));

            points->setFocus();
            QTest::keyClick(points, Qt::Key_Insert);
            test::typeInto(test::control<TEditFloat>(editor, "edtFreq"), "8520");
            test::typeInto(test::control<TEditFloat>(editor, "edtThrust"), "60");
            chooseType(1); // previos
        });
        QTest::mouseClick(edit, Qt::LeftButton);
        QCOMPARE(grid->item(1, 0)->text(), QStringLiteral("Тяга №1 Ёж"));

        const QString name = dir_.filePath(QStringLiteral("saved.sns"));
        inFileDialog(name);
        QTest::mouseClick(get<QPushButton>("btnSaveSensorFile"), Qt::LeftButton);
        QVERIFY(QFile::exists(name));
        QVERIFY(!library_.SensorsModified);

        // What the windows stored: checked here so that the comparison below compares real edits.
        const std::vector<TSensor> edited = library_.sensors;
        QCOMPARE(edited[0].calibration.points, (std::vector<TCalibPoint>{{8690, 0, {}}, {8470, 80, {}}}));
        const auto& one = edited[1].calibration.points;
        QCOMPARE(one.size(), std::size_t(4));
        QCOMPARE(one[1].formula.type, TFormulaType::polynom);
        QCOMPARE(one[1].formula.c[2], 0.003f);
        QCOMPARE(one[2].formula.type, TFormulaType::previos);
        QCOMPARE(one[3].formula.colour, 0x000000FFu);
        QCOMPARE(one[3].formula.c[1], -0.25f);

        inFileDialog(name);
        QTest::mouseClick(get<QPushButton>("btnLoadSensorFile"), Qt::LeftButton);
        QCOMPARE(library_.SensorCount(), static_cast<int>(edited.size()));
        for (std::size_t i = 0; i < edited.size(); ++i) {
            QCOMPARE(library_.sensors[i].number, edited[i].number);
            QCOMPARE(library_.sensors[i].name, edited[i].name);
            QVERIFY2(library_.sensors[i].calibration.points == edited[i].calibration.points,
                     qPrintable(QString::number(i)));
        }
    }

private:
    void open()
    {
        window_ = std::make_unique<TfrmNewSensor>(library_, store_, [this] { ++notified_; });
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    template <class T> T* get(const char* name) { return test::control<T>(window_.get(), name); }

    QImage expectedCurve(int index)
    {
        const CurveLook look = CurveLook::from(store_.settings.chart);
        QImage image(209, 161, QImage::Format_RGB32);
        image.fill(look.background);
        QPainter painter(&image);
        painter.setFont(window_->font());
        SensorCurveCache cache;
        DrawSensorCurve(painter, 209, 161, library_.sensors[static_cast<std::size_t>(index)].calibration,
                        true, -1, look, cache);
        return image;
    }

    QTemporaryDir dir_;
    SensorLibrary library_;
    SettingsStore store_;
    int notified_ = 0;
    int fills_ = 0;
    std::unique_ptr<TfrmNewSensor> window_;
};

QTEST_MAIN(NewSensorTest)
#include "NewSensorTest.moc"
