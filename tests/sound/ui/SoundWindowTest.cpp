// The sound window driven as a user drives it, with its devices real: the simulated input (always there)
// and, for playback, whatever the machine's sound server offers. Dialogs and message boxes are answered
// from the test.
#include "sound/ui/TfrmSound.h"

#include "sensors/SensorLibrary.h"
#include "sound/SoundModule.h"
#include "sound/Wave.h"
#include "sound/WaveSynth.h"
#include "sound/io/SoundEngine.h"
#include "store/SettingsStore.h"
#include "support/FindControl.h"
#include "support/QtFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace selva;

class SoundWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        oldDir_ = QDir::currentPath();
        QDir::setCurrent(dir_->path()); // temporary recordings go to the current folder
        store_.Initialise();
        module_ = std::make_unique<SoundModule>();
        messages_.clear();
        questions_.clear();
        picks_.clear();
    }

    void cleanup()
    {
        if (window_)
            window_->close();
        window_.reset();
        module_.reset();
        QDir::setCurrent(oldDir_);
        dir_.reset();
    }

    void liveMeanOfTheDefaultsInTheReadout()
    {
        open();
        SoundRingState& ring = module_->ring;
        QCOMPARE(ring.FreqRingLength.load(), 500);
        // 60 values behind the write index: 10 old ones, then 50 around 1234.5.
        for (int i = 0; i < 60; ++i)
            ring.FreqRing[std::size_t(i)] = i < 10 ? 100.0f : (i % 2 ? 1234.48f : 1234.56f);
        ring.FreqRingIndex = 60;
        get<QCheckBox>("cbxShow")->click();
        const QString expected = "1234" + QLocale().decimalPoint() + "5";
        QTRY_COMPARE_WITH_TIMEOUT(get<QLabel>("lblFreq")->text(), expected, 3000);
    }

    // A file that is not there only becomes the target; a recording chosen then plays, and stops the capture.
    void playbackWhileListeningStopsTheCapture()
    {
        open();
        const QString missing = dir_->filePath("nothing-here.wav");
        picks_ << missing;
        get<QPushButton>("btnFile")->click();
        QCOMPARE(get<QLineEdit>("edtFile")->text(), QString("nothing-here.wav"));
        QCOMPARE(QString::fromStdString(module_->target.path), missing);
        QVERIFY(!get<QToolButton>("sbtnPlay")->isEnabled());
        QVERIFY(!window_->FileLoaded());
        QVERIFY(messages_.isEmpty());

        const QString file = dir_->filePath("tone.wav");
        WriteSynthWave(file.toStdString(), {.durationSeconds = 0.6}, [](double) { return 700.0; });
        picks_ << file;
        get<QPushButton>("btnFile")->click();
        QVERIFY(window_->FileLoaded());
        QVERIFY(get<QToolButton>("sbtnPlay")->isEnabled());
        listenToTheSimulator();

        get<QToolButton>("sbtnPlay")->click();
        QVERIFY(!window_->Engine().Capturing());
        QVERIFY(!get<QCheckBox>("cbxDoIn")->isChecked());
        if (window_->Playing()) {
            // A sound server is there: the recording plays to its end, and the window hears of it.
            QVERIFY(!get<QCheckBox>("cbxDoIn")->isEnabled());
            QTRY_VERIFY_WITH_TIMEOUT(!window_->Playing(), 5000);
            QVERIFY(!get<QToolButton>("sbtnPlay")->isChecked());
            qInfo("played through the sound server");
        } else {
            QCOMPARE(messages_.size(), 1); // no output device here: said so
        }
        QVERIFY(get<QCheckBox>("cbxDoIn")->isEnabled());
        QVERIFY(get<QComboBox>("cbxRegim")->isEnabled());
    }

    void aRecordingIsKeptSavedOrSavedOnTheWayOut()
    {
        // The target exists; the user answers No to overwriting it and cancels the dialog.
        const QString target = dir_->filePath("firing.wav");
        WriteSynthWave(target.toStdString(), {.durationSeconds = 0.1}, [](double) { return 300.0; });
        const QByteArray before = test::readBytes(target);
        module_->target.set(target.toStdString());
        QString saved;
        open();
        window_->onRecordingSaved = [&](const QString& p) { saved = p; };
        listenToTheSimulator();
        get<QToolButton>("sbtnRec")->click();
        QVERIFY(get<QToolButton>("sbtnRec")->isChecked());
        QVERIFY(!get<QToolButton>("sbtnAS")->isEnabled());
        QTest::qWait(700);
        get<QToolButton>("sbtnStop")->click();

        QCOMPARE(questions_.size(), 1);
        QCOMPARE(questions_[0], QString::fromUtf8("Файл firing.wav уже сущесвтует. Перезаписать его ?"));
        QCOMPARE(messages_.size(), 1);
        const QStringList temps = QDir(dir_->path()).entryList({"wave_tmp_*.wav"});
        QCOMPARE(temps.size(), 1);
        QVERIFY2(messages_[0].contains(temps[0]), qPrintable(messages_[0]));
        QVERIFY(saved.isEmpty());
        QCOMPARE(test::readBytes(target), before);
        TWave kept;
        QVERIFY(kept.Open(dir_->filePath(temps[0]).toStdString()));
        QVERIFY(kept.GetDuration() > 0.3);
        QVERIFY(get<QToolButton>("sbtnAS")->isEnabled());

        // Next time with a new name: saved there and handed on.
        picks_ << dir_->filePath("second.wav");
        module_->target.clear();
        get<QToolButton>("sbtnRec")->click();
        QTest::qWait(400);
        get<QToolButton>("sbtnRec")->click();
        QCOMPARE(saved, dir_->filePath("second.wav"));
        QCOMPARE(get<QLineEdit>("edtFile")->text(), QString("second.wav"));
        QVERIFY(window_->FileLoaded());

        // Esc while recording: the window closes, the capture stops and the recording is saved.
        module_->target.set(dir_->filePath("esc.wav").toStdString());
        get<QToolButton>("sbtnRec")->click();
        QTest::qWait(500);
        QTest::keyClick(window_.get(), Qt::Key_Escape);
        QVERIFY(!window_->isVisible());
        QVERIFY(!window_->Engine().Capturing());
        QVERIFY(QFile::exists(dir_->filePath("esc.wav"))); // before Open, which throws without it
        QVERIFY(kept.Open(dir_->filePath("esc.wav").toStdString()));
        QVERIFY(kept.GetDuration() > 0.2);
        QCOMPARE(QDir(dir_->path()).entryList({"wave_tmp_*.wav"}), temps); // only the one kept before
    }

    void automaticRecordingWithoutAFiringLeavesNothing()
    {
        open();
        listenToTheSimulator();
        auto* autoButton = get<QToolButton>("sbtnAS");
        autoButton->click();
        QCOMPARE(window_->AutoState(), 1);
        QVERIFY(autoButton->isChecked());
        QVERIFY(!get<QToolButton>("sbtnRec")->isEnabled());
        QVERIFY(window_->Engine().Transport().AutoActive.load());
        QTRY_COMPARE_WITH_TIMEOUT(window_->AutoState(), 2, 5000); // rest line measured after 2 s
        autoButton->click();
        QCOMPARE(window_->AutoState(), 0);
        QVERIFY(!autoButton->isChecked());
        QVERIFY(get<QToolButton>("sbtnRec")->isEnabled());
        // No firing, no recording: nothing saved, asked or left behind.
        QVERIFY(QDir(dir_->path()).entryList({"*.wav"}).isEmpty());
        QVERIFY(questions_.isEmpty());
        QVERIFY(messages_.isEmpty());
    }

    void aFormatEntryStandsForItsRow()
    {
        open();
        choose("cbxSource", -1);
        auto* regim = get<QComboBox>("cbxRegim");
        QCOMPARE(regim->count(), 16); // the simulated input takes every row
        QCOMPARE(regim->currentIndex(), 15);
        choose("cbxRegim", 0);
        QCOMPARE(module_->ring.FrameSize(), 1u);   // 8-bit mono
        QCOMPARE(module_->ring.RingFrames, 22050); // 11025 Hz over the stored wave length, 2 s
        QVERIFY(!get<QRadioButton>("rbtnChannelL")->isEnabled());
        QVERIFY(get<QRadioButton>("rbtnChannelR")->isChecked());
        QCOMPARE(store_.project.sound.formatIndex, 0);
        choose("cbxRegim", 7);
        QCOMPARE(module_->ring.SampleRate, 22050u);
        QCOMPARE(module_->ring.Channels, std::uint16_t(2));
        QVERIFY(get<QRadioButton>("rbtnChannelL")->isEnabled());
    }

private:
    void open()
    {
        window_ = std::make_unique<TfrmSound>(store_, sensors_, *module_);
        window_->showMessage = [this](const QString& t) { messages_ << t; };
        window_->askOverwrite = [this](const QString& q) {
            questions_ << q;
            return false;
        };
        window_->chooseFile = [this](bool, const QString&, const QString&) {
            return picks_.isEmpty() ? QString() : picks_.takeFirst();
        };
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    template <class T> T* get(const char* name) { return test::control<T>(window_.get(), name); }
    // Chooses an entry of a combo box as the user does (-1: the last).
    void choose(const char* name, int index)
    {
        auto* box = get<QComboBox>(name);
        box->setCurrentIndex(index < 0 ? box->count() - 1 : index);
        emit box->activated(box->currentIndex());
    }
    // Selects the simulated input and starts listening.
    void listenToTheSimulator()
    {
        choose("cbxSource", -1);
        QCOMPARE(get<QComboBox>("cbxSource")->currentText(), QString::fromUtf8("Имитатор датчика"));
        get<QCheckBox>("cbxDoIn")->click();
        QVERIFY(window_->Engine().Capturing());
        QVERIFY(get<QToolButton>("sbtnRec")->isEnabled());
        QVERIFY(get<QToolButton>("sbtnAS")->isEnabled());
        QVERIFY(!get<QComboBox>("cbxRegim")->isEnabled());
    }

    std::unique_ptr<QTemporaryDir> dir_;
    QString oldDir_;
    SettingsStore store_;
    SensorLibrary sensors_;
    std::unique_ptr<SoundModule> module_;
    std::unique_ptr<TfrmSound> window_;
    QStringList messages_;
    QStringList questions_;
    QStringList picks_; // what the file dialogs answer, in order ("" cancels)
};

QTEST_MAIN(SoundWindowTest)
#include "SoundWindowTest.moc"
