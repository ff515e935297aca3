// The acquisition window against the simulated logger on a pseudo-terminal: the status bar, the command
// buttons, an automatic recording that ends in the analysis window, and a logger that goes away while
// recording.
#include "logger/io/SerialPortTable.h"
#include "logger/ui/LoggerWidgets.h"
#include "logger/ui/RecordingDialogs.h"
#include "logger/ui/TfrmData.h"

#include "controls/EditInt.h"
#include "store/SettingsStore.h"
#include "support/FindControl.h"
#include "support/QtFiles.h"
#include "support/SimulatedLogger.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace selva;

class AcquisitionWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        window_.reset();
        ports_.reset();
        logger_.reset();
        dir_.reset();
    }

    void statusBarAndCommandsFollowTheLogger()
    {
        LoggerSimulatorOptions o;
        o.battery = 2368 * 12.5 / 4096; // 7.2265625 V, exactly what the logger can report
        open(o);
        QCOMPARE(window_->panelText(0),
                 QString::fromStdString(logger_->sim.path()) + QStringLiteral(" 115200"));
        QCOMPARE(window_->panelText(1), QStringLiteral("diconnected"));
        QVERIFY(!get<QPushButton>("btnFire")->isEnabled());
        QVERIFY(!get<QToolButton>("sbtnAS")->isEnabled());

        click("cbxShow");
        QVERIFY(get<QCheckBox>("cbxShow")->isChecked());
        QVERIFY(!get<QPushButton>("btnTune")->isEnabled());
        QCOMPARE(window_->panelText(1), QStringLiteral("connected"));
        // Status, temperature, status, battery: four polls.
        QTRY_COMPARE_WITH_TIMEOUT(window_->panelText(2), decimal(7.23, 2) + QStringLiteral(" V"), 3000);
        QCOMPARE(window_->panelText(3), QStringLiteral("t ") + decimal(21.5, 2) + QStringLiteral("°C"));
        QCOMPARE(window_->panelText(4), QStringLiteral("Бат. подкл."));
        QCOMPARE(window_->panelText(5), QStringLiteral("Восп. подкл."));
        // Between 7.0 and 7.5 V: red 255, green 255 - round((7.5 - v) * 255 / 0.5).
        QCOMPARE(window_->panel(2)->batteryColour(), QColor(0xFF, 255 - 139, 0x00));
        QTRY_COMPARE_WITH_TIMEOUT(get<QLabel>("lblFreq")->text(), decimal(8702.0, 1), 2000);

        click("btnReady");
        QTRY_VERIFY_WITH_TIMEOUT(logger_->sim.armed(), 1000);
        QTest::keyClick(window_.get(), Qt::Key_Escape); // "Stop (Esc)", not a close
        QTRY_VERIFY_WITH_TIMEOUT(!logger_->sim.armed(), 1000);
        QVERIFY(window_->isVisible());
        click("btnReady");
        QTRY_VERIFY_WITH_TIMEOUT(logger_->sim.armed(), 1000);
        click("btnFire");
        QTRY_VERIFY_WITH_TIMEOUT(logger_->sim.firing(), 1000);
        // The igniter burns through: the logger reports it gone.
        QTRY_COMPARE_WITH_TIMEOUT(window_->panelText(5), QString(), 2000);

        click("cbxShow");
        QCOMPARE(window_->panelText(1), QStringLiteral("diconnected"));
        QVERIFY(!get<QPushButton>("btnReady")->isEnabled());
        QVERIFY(get<QPushButton>("btnTune")->isEnabled());
        QVERIFY(told_.isEmpty());
    }

    void automaticRecordingEndsInTheAnalysisWindow()
    {
        LoggerSimulatorOptions o;
        o.counted = true;
        o.speed = 4;
        open(o);
        click("cbxShow");
        click("sbtnAS");
        QVERIFY(!get<QToolButton>("sbtnRec")->isEnabled());
        QCOMPARE(get<QLabel>("sBaseLine")->text(), QStringLiteral("Замер линии покоя"));
        QTRY_COMPARE_WITH_TIMEOUT(get<QLabel>("sBaseLine")->text(), QStringLiteral("Ожидание старта"), 5000);
        click("btnReady");
        QTRY_VERIFY_WITH_TIMEOUT(logger_->sim.armed(), 1000);
        click("btnFire");
        QTRY_COMPARE_WITH_TIMEOUT(get<QLabel>("sBaseLine")->text(), QStringLiteral("Ожидание окончание тяги"),
                                  5000);
        QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), 1, 10000);
        QCOMPARE(get<QLabel>("sBaseLine")->text(), QString());
        QVERIFY(get<QToolButton>("sbtnRec")->isEnabled());

        // No output name was given and the dialog was cancelled: the record is kept under a default name.
        QCOMPARE(opened_[0], dir_->filePath("data.frq"));
        QCOMPARE(told_.size(), 1);
        QVERIFY(told_[0].contains(opened_[0]));
        QVERIFY(std::abs(logger_->impulseOf(opened_[0].toStdString()) - logger_->sim.profileImpulse()) <
                0.01 * logger_->sim.profileImpulse());
        QCOMPARE(QDir(dir_->path()).entryList(QDir::Files).size(), 1); // no temporary file left
    }

    void aLostLoggerEndsTheRecordingWithEverythingSaved()
    {
        open();
        get<TEditStr>("edtFile")->setText(QStringLiteral("cut"));
        get<TEditStr>("edtFile")->setModified(true);
        get<TEditStr>("edtFile")->Commit();
        QCOMPARE(get<TEditStr>("edtFile")->text(), QStringLiteral("cut.frq"));
        click("cbxShow");
        click("sbtnRec");
        QVERIFY(!get<QToolButton>("sbtnAS")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(window_->recorder().recordedCount() > 50, 3000);
        logger_->sim.stop();
        QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), 1, 3000);
        QVERIFY(!get<QCheckBox>("cbxShow")->isChecked());
        QCOMPARE(window_->panelText(1), QStringLiteral("diconnected"));
        QCOMPARE(told_.size(), 1);
        QVERIFY(told_[0].contains(QStringLiteral("потеряна")));

        QCOMPARE(opened_[0], dir_->filePath("cut.frq"));
        TFreq freq;
        QVERIFY(freq.LoadFromFile(opened_[0].toStdString()));
        QVERIFY(freq.RecordCount > 50);
        float last = freq.First();
        while (!freq.AtEnd())
            last = freq.Next();
        QCOMPARE(last, logger_->sim.lastReading());
    }

    void aRefusedOverwriteKeepsTheFileAndSavesBesideIt()
    {
        open();
        get<TEditStr>("edtFile")->setText(QStringLiteral("run.frq"));
        get<TEditStr>("edtFile")->Commit();
        QVERIFY(test::writeBytes(dir_->filePath("run.frq"), "kept"));
        overwrite_ = false;
        click("cbxShow");
        click("sbtnRec");
        QTRY_VERIFY_WITH_TIMEOUT(window_->recorder().recordedCount() > 10, 3000);
        // Closing the window ends the recording and writes it.
        window_->close();
        QCOMPARE(opened_, QStringList{dir_->filePath("run_1.frq")});
        QCOMPARE(test::readBytes(dir_->filePath("run.frq")), QByteArray("kept"));
        QCOMPARE(told_.size(), 1);
        QVERIFY(told_[0].contains(QStringLiteral("run_1.frq")));
        QCOMPARE(store_.settings.logger.displayFlag, 0);
    }

    // A run that ended while recording left two temporary files: the empty one goes without a question, the
    // other is offered; "Да", a cancelled save dialog, and the record is written under the default name.
    void leftoverRecordingsAreOfferedAtStart()
    {
        QTemporaryDir dir;
        for (const auto& [name, bytes] :
             {std::pair{"data_tmp_3.bin", QByteArray("\0\0\xfa\x45\0\x20\xfa\x45", 8)},
              std::pair{"data_tmp_4.bin", QByteArray()}}) {
            QVERIFY(test::writeBytes(dir.filePath(QString::fromLatin1(name)), bytes));
        }
        QStringList asked;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&asked] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                asked << box->text();
                box->button(box->button(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok)->click();
            } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                files->reject();
            }
        });
        answer.start(20);
        QStringList opened;
        offerLeftoverRecordings(
            nullptr, 0.01, [&opened](const QString& f) { opened << f; }, dir.path());
        QCOMPARE(asked.size(), 2);
        QVERIFY(asked[0].contains(QStringLiteral("data_tmp_3.bin")));
        QVERIFY(asked[1].contains(dir.filePath(QStringLiteral("data.frq"))));
        QCOMPARE(opened, QStringList{dir.filePath(QStringLiteral("data.frq"))});
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("data.frq")});
        TFreq freq;
        QVERIFY(freq.LoadFromFile(opened[0].toStdString()));
        QCOMPARE(freq.RecordCount, 2);
        QCOMPARE(freq.First(), 8000.0f);
        QCOMPARE(freq.Next(), 8004.0f);
    }

private:
    // The window on the simulated logger's terminal, with the store's port pointing at it and every question
    // answered by the test.
    void open(LoggerSimulatorOptions options = {})
    {
        dir_ = std::make_unique<QTemporaryDir>();
        logger_ = std::make_unique<test::SimulatedLogger>(options);
        ports_ = std::make_unique<SerialPortTable>([] { return std::vector<SerialPortTable::SystemPort>{}; });
        store_ = SettingsStore();
        store_.settings.logger.portIndex =
            static_cast<std::int8_t>(ports_->AddPortByPath(QString::fromStdString(logger_->sim.path())));
        store_.CopySettingsToProject();
        told_.clear();
        opened_.clear();
        window_ = std::make_unique<TfrmData>(store_, *ports_, [this](const QString& f) { opened_ << f; });
        window_->setRecordingFolder(dir_->path());
        window_->prompts.tell = [this](const std::string& text) { told_ << QString::fromStdString(text); };
        window_->prompts.confirm = [this](const std::string&) { return overwrite_; };
        window_->prompts.chooseName = [](const std::string&) { return std::optional<std::string>(); };
        // A status poll every 100 ms instead of every second.
        window_->findChild<QTimer*>(QStringLiteral("tmrInfo"))->setInterval(100);
        window_->show();
    }
    template <class T> T* get(const char* name) { return test::control<T>(window_.get(), name); }
    void click(const char* name) { QTest::mouseClick(get<QAbstractButton>(name), Qt::LeftButton); }
    QString decimal(double v, int decimals) const { return QLocale().toString(v, 'f', decimals); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<test::SimulatedLogger> logger_;
    SettingsStore store_;
    std::unique_ptr<SerialPortTable> ports_;
    std::unique_ptr<TfrmData> window_;
    QStringList told_;
    QStringList opened_;
    bool overwrite_ = true;
};

QTEST_MAIN(AcquisitionWindowTest)
#include "AcquisitionWindowTest.moc"
