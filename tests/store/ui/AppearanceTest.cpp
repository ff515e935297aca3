// The image settings and chart series options windows: working copies, what confirming and cancelling
// store, the face name limit, schemes loaded and saved.

#include "controls/EditInt.h"
#include "store/SettingsStore.h"
#include "store/StoreFiles.h"
#include "store/ui/ColorSample.h"
#include "store/ui/TfrmImageSet.h"
#include "store/ui/TfrmSeriesOpt.h"
#include "support/FindControl.h"
#include "support/Modal.h"
#include "support/QtFiles.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace selva;

namespace {

// Settings unlike the defaults, with a system colour and a style outside its list.
TSettingsRecord unusualSettings()
{
    TSettingsRecord s;
    s.chart.dataLineColor = 0x00123456;
    s.chart.dataLineStyle = 9;
    s.chart.dataLineWidth = 14;
    s.chart.backColor = 0xFF000001;
    s.chart.dataDotsVisible = true;
    s.grid = {false, true, true, false};
    s.formColor = 0x00E0F0FF;
    s.formFont.name = "DejaVu Serif";
    s.formFont.size = 11;
    s.authorName = "Петров";
    return s;
}

} // namespace

class AppearanceTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        store_.Initialise();
        store_.settings = unusualSettings();
        store_.CopySettingsToProject();
        nextColor_ = QColor(10, 20, 30);
    }

    void seriesOptionsCancelStoresNothing()
    {
        const TSettingsRecord before = store_.settings;
        TfrmSeriesOpt w(store_, &mainWindow_, fakeDialogs());
        w.show();
        QTest::mouseClick(test::control<ColorSample>(&w, "shpAxis"), Qt::LeftButton);
        test::control<QComboBox>(&w, "cbxDotStyle")->setCurrentIndex(2);
        test::control<QSpinBox>(&w, "spnBaseLineWidth")->setValue(7);
        QCOMPARE(test::control<ColorSample>(&w, "shpAxis")->color(), nextColor_);
        QTest::mouseClick(test::control<QPushButton>(&w, "btnCancel"), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QVERIFY(store_.settings == before);
    }

    void seriesOptionsStoreTheWorkingCopy()
    {
        TfrmSeriesOpt w(store_, &mainWindow_, fakeDialogs());
        // The stored colours are offered again in the custom slots; the desktop colour of the background
        // as the black it shows.
        QCOMPARE(QColorDialog::customColor(0), QColor(0x56, 0x34, 0x12));
        QCOMPARE(QColorDialog::customColor(8), QColor(Qt::black));
        // A style outside its list shows the first entry, a width beyond 10 shows 10.
        QCOMPARE(test::control<QComboBox>(&w, "cbxDataLineStyle")->currentIndex(), 0);
        QCOMPARE(test::control<QSpinBox>(&w, "spnDataLineWidth")->value(), 10);

        w.show();
        QTest::mouseClick(test::control<ColorSample>(&w, "shpGrid"), Qt::LeftButton);
        test::control<QComboBox>(&w, "cbxDeltaLineStyle")->setCurrentIndex(3);
        test::control<QSpinBox>(&w, "spnDotHeight")->setValue(6);
        test::control<QCheckBox>(&w, "cbxDotsVisible")->setChecked(false);
        QTest::mouseClick(test::control<QPushButton>(&w, "btnOk"), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Accepted));

        TChartAppearance expected = unusualSettings().chart;
        expected.gridColor = 0x001E140A; // 10, 20, 30 as 0x00BBGGRR
        expected.deltaLineStyle = 3;
        expected.dataDotHeight = 6;
        expected.dataDotsVisible = false;
        expected.dataLineStyle = 0;
        expected.dataLineWidth = 10;
        QVERIFY(store_.settings.chart == expected);
        // The untouched system colour is kept as it was stored (in `expected`); the project's twin follows.
        QVERIFY(store_.project.chart == expected);
    }

    void imageSettingsStoreOnConfirmationOnly()
    {
        for (const bool confirm : {false, true}) {
            store_.settings = unusualSettings();
            TfrmImageSet w(store_, &mainWindow_, fakeDialogs());
            w.show();
            QVERIFY(!test::control<QCheckBox>(&w, "cbxGridX1")->isChecked());
            QVERIFY(test::control<QCheckBox>(&w, "cbxGridY1")->isChecked());
            QCOMPARE(test::control<QLabel>(&w, "lblFontSample")->text(), QString("DejaVu Serif"));
            test::control<QCheckBox>(&w, "cbxGridX1")->setChecked(true);
            test::control<QCheckBox>(&w, "cbxGridY2")->setChecked(true);
            QTest::mouseClick(test::control<QPushButton>(&w, "btnFormFon"), Qt::LeftButton);
            auto* author = test::control<TEditStr>(&w, "edtAutorName");
            author->setFocus();
            author->selectAll();
            test::typeChars(author, QString::fromUtf8("Сидоров-Ковалевский Александр"));
            QVERIFY(!w.chartOptionsStored());
            if (confirm) {
                QTest::mouseClick(test::control<QPushButton>(&w, "btnFon"), Qt::LeftButton);
                QVERIFY(w.chartOptionsStored());
            }
            QTest::mouseClick(test::control<QPushButton>(&w, confirm ? "btnOk" : "btnCancel"),
                              Qt::LeftButton);
            if (!confirm) {
                QVERIFY(store_.settings == unusualSettings());
                continue;
            }
            const TSettingsRecord& s = store_.settings;
            QVERIFY((s.grid == TGridFlags{true, true, true, true}));
            QCOMPARE(s.formColor, TColor(0x001E140A));
            QVERIFY(s.formFont == unusualSettings().formFont); // no font chosen: kept as stored
            QCOMPARE(QString::fromStdString(s.authorName), QString::fromUtf8("Сидоров-Ковалевский "));
            QVERIFY(store_.project.grid == s.grid);
            QCOMPARE(store_.project.authorName, s.authorName);
        }
    }

    void longFaceNameIsCut()
    {
        nextFont_ = QFont(QStringLiteral("An Extraordinarily Long Font Family Name"));
        nextFont_.setPointSize(12);
        nextFont_.setBold(true);
        TfrmImageSet w(store_, &mainWindow_, fakeDialogs());
        w.show();
        QTest::mouseClick(test::control<QPushButton>(&w, "btnFormFont"), Qt::LeftButton);
        QCOMPARE(test::control<QLabel>(&w, "lblFontSample")->text(), nextFont_.family());
        QTest::mouseClick(test::control<QPushButton>(&w, "btnOk"), Qt::LeftButton);
        const TFontRecord& f = store_.settings.formFont;
        QCOMPARE(QString::fromStdString(f.name), QString("An Extraordinarily Long Font F"));
        QCOMPARE(f.size, 12);
        QCOMPARE(f.height, -16);
        QCOMPARE(f.style, fsBold);
        QCOMPARE(f.charset, unusualSettings().formFont.charset);
    }

    void loadedSchemeIsShownAndStays()
    {
        QTemporaryDir dir;
        TSettingsRecord scheme;
        scheme.grid = {true, false, false, true};
        scheme.formColor = 0x00336699;
        scheme.authorName = "Кузнецова";
        scheme.formFont.name = "DejaVu Sans Mono";
        scheme.chart.textColor = 0x0000FF00;
        QVERIFY(test::writeBytes(dir.filePath("scheme.rsr"),
                                 QByteArray::fromStdString(encodeSettingsFile(scheme))));
        store_.settingsFileName = dir.filePath("current.rsr").toStdString();

        {
            TfrmImageSet w(store_, &mainWindow_, fakeDialogs());
            w.show();
            nextFile_ = dir.filePath("scheme.txt"); // the extension becomes ".rsr"
            QTest::mouseClick(test::control<QPushButton>(&w, "btnLoadRes"), Qt::LeftButton);
            QCOMPARE(askedFile_, dir.filePath("current.rsr"));
            QVERIFY(store_.settings == scheme);
            QVERIFY(store_.project.chart == scheme.chart);
            QVERIFY(test::control<QCheckBox>(&w, "cbxGridY2")->isChecked());
            QCOMPARE(test::control<TEditStr>(&w, "edtAutorName")->text(), QString::fromUtf8("Кузнецова"));
            QTest::mouseClick(test::control<QPushButton>(&w, "btnCancel"), Qt::LeftButton);
        }
        TfrmImageSet again(store_, &mainWindow_, fakeDialogs());
        again.show();
        QString grid;
        for (const char* box : {"cbxGridX1", "cbxGridY1", "cbxGridX2", "cbxGridY2"})
            grid += test::control<QCheckBox>(&again, box)->isChecked() ? '1' : '0';
        QCOMPARE(grid, QString("1001"));
        QCOMPARE(test::control<ColorSample>(&again, "shpFormFon")->color(), QColor(0x99, 0x66, 0x33));
        QCOMPARE(test::control<QLabel>(&again, "lblFontSample")->text(), QString("DejaVu Sans Mono"));
        QCOMPARE(test::control<TEditStr>(&again, "edtAutorName")->text(), QString::fromUtf8("Кузнецова"));
    }

    void savedSchemeCarriesTheAuthor()
    {
        QTemporaryDir dir;
        TfrmImageSet w(store_, &mainWindow_, fakeDialogs());
        w.show();
        auto* author = test::control<TEditStr>(&w, "edtAutorName");
        author->setFocus();
        author->selectAll();
        test::typeChars(author, QString::fromUtf8("Орлов"));
        // A grid ticked but not confirmed is not part of the saved scheme.
        test::control<QCheckBox>(&w, "cbxGridX1")->setChecked(true);
        nextFile_ = dir.filePath("mine");
        QTest::mouseClick(test::control<QPushButton>(&w, "btnSaveRes"), Qt::LeftButton);
        const std::optional<TSettingsRecord> saved =
            decodeSettingsFile(test::readBytes(dir.filePath("mine.rsr")).toStdString());
        QVERIFY(saved);
        QCOMPARE(QString::fromStdString(saved->authorName), QString::fromUtf8("Орлов"));
        QVERIFY(!saved->grid.horizontal);
        QCOMPARE(store_.settingsFileName, dir.filePath("mine.rsr").toStdString());
    }

private:
    AppearanceDialogs fakeDialogs()
    {
        AppearanceDialogs d;
        d.chooseColor = [this](QWidget*, const QColor&) { return std::optional<QColor>(nextColor_); };
        d.chooseFont = [this](QWidget*, const QFont&) { return std::optional<QFont>(nextFont_); };
        d.chooseFile = [this](QWidget*, const QString&, const QString&, const QString& initial, bool) {
            askedFile_ = initial;
            return nextFile_;
        };
        d.exec = [](QDialog& dialog) {
            dialog.show();
            QTest::mouseClick(test::control<QPushButton>(&dialog, "btnOk"), Qt::LeftButton);
            return dialog.result();
        };
        return d;
    }

    SettingsStore store_;
    QWidget mainWindow_;
    QColor nextColor_;
    QFont nextFont_;
    QString nextFile_;
    QString askedFile_;
};

QTEST_MAIN(AppearanceTest)
#include "AppearanceTest.moc"
