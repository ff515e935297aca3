// "Экспорт результатов" and "Сохранить картинку" as the window runs them, with the save dialog answered
// by the test.

#include "analysis/ui/ChartOutput.h"
#include "analysis/AnalysisState.h"
#include "support/QtFiles.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace selva;

namespace {

AnalysisState threePoints()
{
    AnalysisState s;
    s.PointCount = 3;
    s.AnalysisStep = 0.004;
    s.FreqData = {8460, 8461.25, 8700};
    s.ThrustData = {80, 0, -1.5};
    s.ThrustNet = {80, 0, -1.5};
    return s;
}

void fillBlue(QPainter& p, const QRectF& r)
{
    p.fillRect(r, Qt::blue);
}

} // namespace

class ChartOutputTest : public QObject {
    Q_OBJECT
private slots:
    void exportFollowsTheUnitsWhateverTheFilter()
    {
        QTemporaryDir dir;
        const QString source = QString::fromUtf8("C:\\test\\run1.wav");

        // Hertz: a frequency record, named without extension in the dialog.
        QString written =
            exportResults(nullptr, threePoints(), false, source, answering(dir.filePath("out")));
        QCOMPARE(asked_.initialName, QString("run1.frq"));
        QCOMPARE(asked_.filterIndex, 1);
        QCOMPARE(asked_.defaultSuffix, QString("frq"));
        QVERIFY(!asked_.confirmOverwrite);
        QCOMPARE(written, dir.filePath("out.frq"));
        QVERIFY(test::readBytes(written).startsWith("FREQ\r\nC:\\test\\run1.wav\r\n3\r\n")); // layout: core

        // Newtons: a thrust file even under a ".frq" name chosen with the other filter.
        written = exportResults(nullptr, threePoints(), true, source, answering(dir.filePath("other.frq")));
        QCOMPARE(asked_.initialName, QString("run1.trt"));
        QCOMPARE(asked_.filterIndex, 2);
        QVERIFY(test::readBytes(written).startsWith("Thrust\r\n"));
        QVERIFY(test::readBytes(written).endsWith("  80.000\r\n   0.000\r\n  -1.500\r\n"));

        // A source whose folder exists gets the proposal beside it.
        exportResults(nullptr, threePoints(), false, dir.filePath("rec.wav"), answering(QString()));
        QCOMPARE(asked_.initialName, dir.filePath("rec.frq"));
    }

    // Without points nothing is asked; a file that cannot be written is reported.
    void exportWithoutPointsOrFolderWritesNothing()
    {
        QTemporaryDir dir;
        QVERIFY(exportResults(nullptr, AnalysisState(), false, "a.wav", answering("x.frq")).isEmpty());
        QCOMPARE(asks_, 0);
        QVERIFY(
            exportResults(nullptr, threePoints(), false, "a.wav", answering(dir.filePath("no/such/a.frq")))
                .isEmpty());
        QCOMPARE(errors_.size(), 1);
    }

    void savePictureProposesJpegAndWritesTheChosenFormat()
    {
        QTemporaryDir dir;
        const QString written = savePicture(nullptr, fillBlue, QSize(120, 80), dir.filePath("firing.frq"),
                                            answering(dir.filePath("shot")));
        QCOMPARE(asked_.title, QString::fromUtf8("Сохранение графика в файле"));
        QCOMPARE(asked_.initialName, dir.filePath("firing.jpg"));
        QCOMPARE(asked_.filterIndex, 1);
        QVERIFY(asked_.confirmOverwrite);
        QCOMPARE(written, dir.filePath("shot.jpg"));
        QVERIFY(test::readBytes(written).startsWith("\xFF\xD8"));

        // Cancelled: nothing written, nothing reported.
        QVERIFY(savePicture(nullptr, fillBlue, QSize(120, 80), QString(), answering(QString())).isEmpty());
        QVERIFY(errors_.isEmpty());
    }

private:
    OutputDialogs answering(const QString& name)
    {
        asks_ = 0;
        errors_.clear();
        OutputDialogs d;
        d.chooseFile = [this, name](QWidget*, const SaveDialogRequest& r) {
            asked_ = r;
            ++asks_;
            return name;
        };
        d.error = [this](QWidget*, const QString& text) { errors_ << text; };
        return d;
    }

    SaveDialogRequest asked_;
    int asks_ = 0;
    QStringList errors_;
};

QTEST_MAIN(ChartOutputTest)
#include "ChartOutputTest.moc"
