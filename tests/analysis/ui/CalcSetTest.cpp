// The calculation settings window driven as a user drives it: found by object names, clicked and typed
// into. The program runs once under the default locale and once under a Russian one.
#include "analysis/ui/TfrmCalcSet.h"

#include "analysis/AnalysisState.h"
#include "controls/EditInt.h"
#include "support/FindControl.h"
#include "support/Modal.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>

#include <memory>
#include <tuple>

using namespace selva;

namespace {

// Clicks a radio button or check box on its mark (a click beyond its text is not a click on it).
void clickOption(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

QString sep()
{
    return QLocale().decimalPoint();
}

// The parts of the state the window edits, to compare before and after: position, charge and rig weight,
// include charge, include rig, rigid mount, net thrust, hysteresis.
using Settings = std::tuple<int, float, float, bool, bool, bool, bool, bool>;
Settings settingsOf(const AnalysisState& s)
{
    return {s.MotorPosition,    s.ChargeWeight, s.RigWeight, s.IncludeChargeWeight,
            s.IncludeRigWeight, s.RigidMount,   s.NetThrust, s.Hysteresis};
}

} // namespace

class CalcSetTest : public QObject {
    Q_OBJECT

    AnalysisState state_;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<TfrmCalcSet> dialog_;

    void open()
    {
        dialog_ = std::make_unique<TfrmCalcSet>(state_, mainWindow_.get());
        QVERIFY(test::showActive(dialog_.get()));
    }
    template <class T> T* get(const char* name) { return test::control<T>(dialog_.get(), name); }
    void typeWeight(const char* edit, const QString& text) { test::typeInto(get<TEditFloat>(edit), text); }
    // The controls that depend on the position and the weights which are enabled, by their names: the rig
    // weight's caption and field, and the three options.
    QString enabled()
    {
        QStringList on;
        for (const char* name : {"s2", "edtDeadWeight", "cbxGrainWeight", "cbxDeadWeight", "cbxSoed"})
            if (get<QWidget>(name)->isEnabled())
                on << QString::fromLatin1(name);
        return on.join(QLatin1Char(' '));
    }

private slots:
    void init()
    {
        state_ = AnalysisState();
        mainWindow_ = std::make_unique<QWidget>();
        dialog_.reset();
    }
    void cleanup()
    {
        dialog_.reset();
        mainWindow_.reset();
    }

    void showsTheState()
    {
        state_.MotorPosition = MotorNozzleDown;
        state_.ChargeWeight = 12.34567f;
        state_.RigWeight = 0.5f;
        state_.IncludeChargeWeight = false;
        state_.IncludeRigWeight = true;
        state_.RigidMount = true;
        state_.NetThrust = false;
        state_.Hysteresis = true;
        open();
        QStringList checked;
        for (const char* name : {"rbHoriz", "rbUp", "rbDown", "cbxGrainWeight", "cbxDeadWeight", "cbxSoed",
                                 "cbxClearThrust", "cbxHist"})
            if (get<QAbstractButton>(name)->isChecked())
                checked << QString::fromLatin1(name);
        QCOMPARE(checked.join(' '), QString("rbDown cbxDeadWeight cbxSoed cbxHist"));
        QCOMPARE(get<TEditFloat>("edtWeight")->text(), "12" + sep() + "35"); // 4 significant digits
        QCOMPARE(get<TEditFloat>("edtDeadWeight")->text(), "0" + sep() + "5");
        QCOMPARE(enabled(), QString("s2 edtDeadWeight cbxGrainWeight cbxDeadWeight cbxSoed"));
        // The hysteresis option is kept but neither shown nor editable.
        QVERIFY(!get<QCheckBox>("cbxHist")->isVisible());
        QVERIFY(!get<QCheckBox>("cbxHist")->isEnabled());
    }

    // The window takes the analysis window's font and colour, and every caption gets the room its text
    // needs in a small and in a large font (the window is fixed in size, so it must grow with its font).
    void textsAreNotClipped()
    {
        QPalette palette = mainWindow_->palette();
        palette.setColor(QPalette::Window, QColor(0x20, 0x80, 0x40));
        mainWindow_->setPalette(palette);
        for (int points : {9, 16}) {
            mainWindow_->setFont(QFont(QStringLiteral("DejaVu Sans"), points));
            open();
            QCOMPARE(dialog_->font().pointSize(), points);
            QCOMPARE(dialog_->palette().color(QPalette::Window), QColor(0x20, 0x80, 0x40));
            for (QWidget* w : dialog_->findChildren<QWidget*>())
                if (w->isVisible() && (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w)))
                    QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
            QCOMPARE(dialog_->size(), dialog_->minimumSize()); // fixed dialog border
            QCOMPARE(dialog_->size(), dialog_->maximumSize());
            dialog_.reset();
        }
    }

    void enablingFollowsClicksAndCommittedWeights()
    {
        open();
        QVERIFY(get<QRadioButton>("rbHoriz")->isChecked());
        QCOMPARE(enabled(), QString());
        clickOption(get<QRadioButton>("rbDown"));
        QVERIFY(get<QRadioButton>("rbDown")->isChecked());
        QCOMPARE(enabled(), QString("s2 edtDeadWeight")); // no weights yet
        typeWeight("edtDeadWeight", "2" + sep() + "5");
        QCOMPARE(dialog_->workingRigWeight(), 2.5f);
        QCOMPARE(enabled(), QString("s2 edtDeadWeight cbxDeadWeight cbxSoed"));
        clickOption(get<QRadioButton>("rbUp"));
        QCOMPARE(enabled(), QString("s2 edtDeadWeight cbxDeadWeight"));
        typeWeight("edtWeight", "0" + sep() + "75");
        QCOMPARE(enabled(), QString("s2 edtDeadWeight cbxGrainWeight cbxDeadWeight"));
        typeWeight("edtWeight", "0");
        QCOMPARE(enabled(), QString("s2 edtDeadWeight cbxDeadWeight"));
        typeWeight("edtWeight", "1");
        clickOption(get<QRadioButton>("rbHoriz"));
        QCOMPARE(enabled(), QString());
        // A charge committed while horizontal leaves its option disabled.
        typeWeight("edtWeight", "3");
        QCOMPARE(enabled(), QString());
        clickOption(get<QRadioButton>("rbDown"));
        typeWeight("edtDeadWeight", "0");
        QCOMPARE(enabled(), QString("s2 edtDeadWeight cbxGrainWeight"));
    }

    void onlySetStoresTheWorkingCopies_data()
    {
        QTest::addColumn<QString>("closeWith");
        QTest::newRow("set") << "btnSet";
        QTest::newRow("cancel") << "btnCancel";
        QTest::newRow("escape") << "escape";
    }
    void onlySetStoresTheWorkingCopies()
    {
        QFETCH(QString, closeWith);
        state_.ChargeWeight = 0.3f;
        state_.RigWeight = 0.2f;
        state_.MotorPosition = MotorNozzleUp;
        const Settings before = settingsOf(state_);
        open();
        QSignalSpy stored(dialog_.get(), &TfrmCalcSet::settingsStored);
        clickOption(get<QRadioButton>("rbDown"));
        typeWeight("edtWeight", "1" + sep() + "2345");
        typeWeight("edtDeadWeight", "0" + sep() + "5");
        for (const char* option : {"cbxSoed", "cbxGrainWeight", "cbxClearThrust"})
            clickOption(get<QCheckBox>(option));
        QCOMPARE(dialog_->workingChargeWeight(), 1.2345f);
        QVERIFY(settingsOf(state_) == before); // nothing reaches the analysis before "Установить"

        if (closeWith == "escape")
            QTest::keyClick(get<TEditFloat>("edtDeadWeight"), Qt::Key_Escape);
        else
            QTest::mouseClick(get<QPushButton>(qPrintable(closeWith)), Qt::LeftButton);
        QVERIFY(!dialog_->isVisible());
        const bool set = closeWith == "btnSet";
        QCOMPARE(dialog_->result(), int(set ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(stored.count(), set ? 1 : 0);
        const Settings edited{MotorNozzleDown, 1.2345f, 0.5f, false, true, true, false, false};
        QVERIFY(settingsOf(state_) == (set ? edited : before));
    }

    void aWeightTypedButNotCommittedCountsOnSet()
    {
        open();
        auto* edit = get<TEditFloat>("edtWeight");
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(edit, "4" + sep() + "5");
        get<QPushButton>("btnSet")->click(); // reached from the keyboard: the field keeps the focus
        QCOMPARE(state_.ChargeWeight, 4.5f);
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    }

    void negativeWeightsAreRefused()
    {
        state_.ChargeWeight = 1;
        state_.MotorPosition = MotorNozzleUp;
        open();
        typeWeight("edtWeight", "-2");
        QCOMPARE(dialog_->workingChargeWeight(), 1.0f);
        QCOMPARE(get<TEditFloat>("edtWeight")->text(), QString("1"));
        typeWeight("edtDeadWeight", "-0" + sep() + "5");
        QCOMPARE(dialog_->workingRigWeight(), 0.0f);
        QTest::mouseClick(get<QPushButton>("btnSet"), Qt::LeftButton);
        QCOMPARE(state_.ChargeWeight, 1.0f);
        QCOMPARE(state_.RigWeight, 0.0f);
    }

    void unknownPositionShowsAndStoresAsHorizontal()
    {
        state_.MotorPosition = 7; // from a damaged project
        open();
        QVERIFY(get<QRadioButton>("rbHoriz")->isChecked());
        QVERIFY(!get<TEditFloat>("edtDeadWeight")->isEnabled());
        QTest::mouseClick(get<QPushButton>("btnSet"), Qt::LeftButton);
        QCOMPARE(state_.MotorPosition, std::uint8_t(MotorHorizontal));
    }
};

QTEST_MAIN(CalcSetTest)
#include "CalcSetTest.moc"
