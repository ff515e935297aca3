// The port settings window and the automatic-recording settings window, driven by their controls, on a
// machine without serial ports and with a pseudo-terminal added by path.
#include "logger/LoggerLink.h"
#include "logger/io/SerialPortTable.h"
#include "logger/ui/TfrmAutoRecSet.h"
#include "logger/ui/TfrmCommPort.h"

#include "controls/EditInt.h"
#include "store/SettingsStore.h"
#include "support/FindControl.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace selva;

namespace {

// A pseudo-terminal whose line runs at 2400 bit/s (a rate the window does not offer).
struct Pty {
    Pty()
    {
        char name[256] = {};
        openpty(&master, &slave, name, nullptr, nullptr);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, B2400);
        tcsetattr(slave, TCSANOW, &t);
        path = QString::fromLocal8Bit(name);
    }
    ~Pty()
    {
        close(master);
        close(slave);
    }
    int master = -1, slave = -1;
    QString path;
};

void retype(TEditInt* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

} // namespace

class CommPortTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        store_ = std::make_unique<SettingsStore>();
        ports_ = std::make_unique<SerialPortTable>([] { return std::vector<SerialPortTable::SystemPort>{}; });
    }
    void cleanup()
    {
        ports_.reset();
        store_.reset();
    }

    void noPortsMeansNoComPortAndNothingToSave()
    {
        TfrmCommPort w(*store_, *ports_);
        auto* ports = test::control<QComboBox>(&w, "cbxPorts");
        QCOMPARE(ports->count(), 1);
        QCOMPARE(ports->currentText(), QStringLiteral("No COM port"));
        QVERIFY(!test::control<QGroupBox>(&w, "pnlSettings")->isEnabled());
        QVERIFY(!test::control<QPushButton>(&w, "btnSave")->isEnabled());
        QVERIFY(test::control<TEditInt>(&w, "edtReadTotalTOConst")->text().isEmpty());
        QVERIFY(test::control<QComboBox>(&w, "cbxBaudRate")->currentText().isEmpty());
    }

    void aRateNotInTheListShowsAndSavesTheFirstEntryAndExitStoresNothing()
    {
        Pty pty;
        store_->settings.logger.portIndex = 5; // a port that is not there
        auto w = std::make_unique<TfrmCommPort>(*store_, *ports_);
        w->showMessage = [](const QString& caption, const QString& text) {
            QFAIL(qPrintable(caption + ": " + text));
        };
        test::control<QLineEdit>(w.get(), "edtPortPath")->setText(pty.path);
        QTest::mouseClick(test::control<QPushButton>(w.get(), "btnAddPort"), Qt::LeftButton);

        auto* ports = test::control<QComboBox>(w.get(), "cbxPorts");
        QCOMPARE(ports->currentText(), pty.path);
        QVERIFY(test::control<QGroupBox>(w.get(), "pnlSettings")->isEnabled());
        QCOMPARE(test::control<QComboBox>(w.get(), "cbxBaudRate")->currentText(), QStringLiteral("115 200"));

        retype(test::control<TEditInt>(w.get(), "edtReadTotalTOConst"), QStringLiteral("45"));
        retype(test::control<TEditInt>(w.get(), "edtWriteTotalTOConst"), QStringLiteral("-3")); // refused
        test::control<QComboBox>(w.get(), "cbxStopBits")->setCurrentIndex(2);
        QTest::mouseClick(test::control<QPushButton>(w.get(), "btnSave"), Qt::LeftButton);

        const TLoggerBlock& b = store_->settings.logger;
        QCOMPARE(int(b.portIndex), 0);
        QCOMPARE(b.dcb.BaudRate, 115200u);
        QCOMPARE(b.dcb.StopBits, 2);
        QCOMPARE(b.dcb.DCBlength, 28u);
        QCOMPARE(b.timeouts.ReadTotalTimeoutConstant, 45u);
        QCOMPARE(b.timeouts.WriteTotalTimeoutConstant, 0u);
        QCOMPARE(store_->project.logger, b);
        // The port now holds what was saved: the window opened again shows it.
        QTest::mouseClick(test::control<QPushButton>(w.get(), "btnExit"), Qt::LeftButton);
        QVERIFY(!ports_->portOpen());
        w = std::make_unique<TfrmCommPort>(*store_, *ports_);
        QCOMPARE(test::control<QComboBox>(w.get(), "cbxPorts")->currentText(), pty.path); // the stored port 0
        QCOMPARE(test::control<QComboBox>(w.get(), "cbxStopBits")->currentText(),
                 QStringLiteral("2 stop bits"));
        QCOMPARE(test::control<TEditInt>(w.get(), "edtReadTotalTOConst")->text(), QStringLiteral("45"));

        // Changes left with Exit store nothing.
        const TSettingsRecord before = store_->settings;
        test::control<QComboBox>(w.get(), "cbxBaudRate")->setCurrentIndex(5);
        retype(test::control<TEditInt>(w.get(), "edtReadIntervalTO"), QStringLiteral("7"));
        QTest::mouseClick(test::control<QPushButton>(w.get(), "btnExit"), Qt::LeftButton);
        QVERIFY(store_->settings == before);
        QVERIFY(!ports_->portOpen());
    }

    void theAcquisitionsPortIsOpenedAgainOnClosing()
    {
        Pty pty;
        ports_->AddPortByPath(pty.path);
        LoggerLink link;
        ports_->OpenExclusive(0, store_->project.logger, link);
        {
            TfrmCommPort w(*store_, *ports_);
            QVERIFY(test::control<QPushButton>(&w, "btnSave")->isEnabled());
            test::control<QComboBox>(&w, "cbxBaudRate")->setCurrentIndex(1);
            QTest::mouseClick(test::control<QPushButton>(&w, "btnSave"), Qt::LeftButton);
            QTest::mouseClick(test::control<QPushButton>(&w, "btnExit"), Qt::LeftButton);
        }
        QVERIFY(ports_->exclusive());
        QVERIFY(ports_->readerRunning());
        QCOMPARE(ports_->currentIndex(), 0);
        QCOMPARE(store_->project.logger.dcb.BaudRate, 57600u);
        ports_->CloseAll(); // before the link goes
    }

    void autoRecordSettingsAreStoredOnlyOnSet()
    {
        for (const char* button : {"btnCancel", "btnOk"}) {
            TfrmAutoRecSet w(*store_);
            QCOMPARE(test::control<TEditFloat>(&w, "edtDeadTime")->text(), QLocale().toString(2));
            auto* excess = test::control<TEditInt>(&w, "edtFreqUp");
            retype(excess, QStringLiteral("12"));
            retype(test::control<TEditInt>(&w, "edtFreqEnd"), QStringLiteral("-1")); // refused
            auto* guard = test::control<TEditFloat>(&w, "edtBufLen");
            guard->setFocus();
            guard->selectAll();
            QTest::keyClicks(guard, QStringLiteral("3") + QLocale().decimalPoint() + QStringLiteral("5"));
            QTest::mouseClick(test::control<QPushButton>(&w, button),
                              Qt::LeftButton); // the typed guard counts
        }
        const TAutoRecordBlock& a = store_->settings.autoRecord;
        QCOMPARE(a.freqUp, 12);
        QCOMPARE(a.freqEnd, 5);
        QCOMPARE(a.bufLen, 3.5f);
        QCOMPARE(a.deadTime, 2.0f);
    }

private:
    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<SerialPortTable> ports_;
};

QTEST_MAIN(CommPortTest)
#include "CommPortTest.moc"
