// The calculation settings window driven as a user drives it: found by object names, clicked and typed
// into. The program runs once under the default locale and once under a Russian one.
#include "analysis/ui/TfrmCalcSet.h"

#include "analysis/AnalysisState.h"
#include "controls/EditInt.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include "support/FindControl.h"

#include <QTest>

#include <memory>

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

// The parts of the state the window edits, to compare before and after.
struct Settings {
    std::uint8_t position;
    float charge, rig;
    bool includeCharge, includeRig, rigid, net, hysteresis;

    static Settings of(const AnalysisState& s)
    {
        return {s.MotorPosition,    s.ChargeWeight, s.RigWeight, s.IncludeChargeWeight,
                s.IncludeRigWeight, s.RigidMount,   s.NetThrust, s.Hysteresis};
    }
    bool operator==(const Settings&) const = default;
};

} // namespace

class CalcSetTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsTheStateWithTheWindowsTexts();
    void textsAreNotClipped();
    void enablingWhenTheWindowOpens_data();
    void enablingWhenTheWindowOpens();
    void enablingFollowsClicksAndCommittedWeights();
    void setStoresTheWorkingCopies();
    void cancelKeepsEverySetting();
    void aWeightTypedButNotCommittedCountsOnSet();
    void negativeWeightsAreRefused();
    void unknownPositionShowsAndStoresAsHorizontal();

private:
    void open();
    template <class T> T* get(const char* name) { return test::control<T>(dialog_.get(), name); }
    void typeWeight(const char* edit, const QString& text);

    AnalysisState state_;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<TfrmCalcSet> dialog_;
};

void CalcSetTest::init()
{
    state_ = AnalysisState();
    mainWindow_ = std::make_unique<QWidget>();
    dialog_.reset();
}

void CalcSetTest::cleanup()
{
    dialog_.reset();
    mainWindow_.reset();
}

void CalcSetTest::open()
{
    dialog_ = std::make_unique<TfrmCalcSet>(state_, mainWindow_.get());
    dialog_->show();
    dialog_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
}

void CalcSetTest::typeWeight(const char* edit, const QString& text)
{
    auto* field = get<TEditFloat>(edit);
    field->setFocus(Qt::TabFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier); // typing replaces the whole text
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
}

void CalcSetTest::showsTheStateWithTheWindowsTexts()
{
    state_.MotorPosition = MotorNozzleDown;
    state_.ChargeWeight = 1.25f;
    state_.RigWeight = 0.5f;
    state_.IncludeChargeWeight = false;
    state_.IncludeRigWeight = true;
    state_.RigidMount = true;
    state_.NetThrust = false;
    state_.Hysteresis = true;
    open();

    QCOMPARE(dialog_->windowTitle(), QString::fromUtf8("Параметры расчета"));
    QCOMPARE(get<QGroupBox>("gbxPosition")->title(), QString::fromUtf8(" Расположение заряда "));
    QCOMPARE(get<QRadioButton>("rbHoriz")->text(), QString::fromUtf8("Горизонтально"));
    QCOMPARE(get<QRadioButton>("rbUp")->text(), QString::fromUtf8("Соплом вверх"));
    QCOMPARE(get<QRadioButton>("rbDown")->text(), QString::fromUtf8("Соплом вниз"));
    QCOMPARE(get<QLabel>("s2")->text(), QString::fromUtf8("Вес оснастки (кг)"));
    QCOMPARE(get<QLabel>("s1")->text(), QString::fromUtf8("Вес заряда (кг)"));
    QCOMPARE(get<QCheckBox>("cbxGrainWeight")->text(), QString::fromUtf8("Учитывать изменение веса заряда"));
    QCOMPARE(get<QCheckBox>("cbxGrainWeight")->toolTip(),
             QString::fromUtf8("При вертикальном расположении двигателя будет учитывать вес топливной шашки "
                               "и его изменение"));
    QCOMPARE(get<QCheckBox>("cbxDeadWeight")->text(), QString::fromUtf8("Учитывать вес оснастки"));
    QCOMPARE(get<QCheckBox>("cbxSoed")->text(), QString::fromUtf8("Оснастка жестко соединена с датчиком"));
    QCOMPARE(get<QCheckBox>("cbxClearThrust")->text(),
             QString::fromUtf8("Выводить тягу за вычетом веса оснастки и топлива"));
    QCOMPARE(
        get<QCheckBox>("cbxClearThrust")->toolTip(),
        QString::fromUtf8("Вычесть из графика тяги усилие, создаваемое оснасткой и текущим весом топлива"));
    QCOMPARE(get<QCheckBox>("cbxHist")->text(), QString::fromUtf8("Учесть гистерезис датчика"));
    QCOMPARE(get<QPushButton>("btnSet")->text(), QString::fromUtf8("Установить"));
    QCOMPARE(get<QPushButton>("btnCancel")->text(), QString::fromUtf8("Отказ"));

    QVERIFY(get<QRadioButton>("rbDown")->isChecked());
    QCOMPARE(get<TEditFloat>("edtWeight")->text(), "1" + sep() + "25");
    QCOMPARE(get<TEditFloat>("edtDeadWeight")->text(), "0" + sep() + "5");
    QVERIFY(!get<QCheckBox>("cbxGrainWeight")->isChecked());
    QVERIFY(get<QCheckBox>("cbxDeadWeight")->isChecked());
    QVERIFY(get<QCheckBox>("cbxSoed")->isChecked());
    QVERIFY(!get<QCheckBox>("cbxClearThrust")->isChecked());
    QVERIFY(get<QCheckBox>("cbxHist")->isChecked());
    // The hysteresis option is kept but neither shown nor editable.
    QVERIFY(!get<QCheckBox>("cbxHist")->isVisible());
    QVERIFY(!get<QCheckBox>("cbxHist")->isEnabled());
    // Weights: 4 significant digits, 4 decimals.
    QCOMPARE(get<TEditFloat>("edtWeight")->Precision(), 4);
    QCOMPARE(get<TEditFloat>("edtWeight")->Digits(), 4);
    QCOMPARE(get<TEditFloat>("edtDeadWeight")->EditType(), etSingle);
}

// The window takes the analysis window's font and colour, and every caption gets the room its text needs in
// a small and in a large font (the window is fixed in size, so it must grow with its font).
void CalcSetTest::textsAreNotClipped()
{
    QPalette palette = mainWindow_->palette();
    palette.setColor(QPalette::Window, QColor(0x20, 0x80, 0x40));
    mainWindow_->setPalette(palette);
    for (int points : {9, 16}) {
        mainWindow_->setFont(QFont(QStringLiteral("DejaVu Sans"), points));
        open();
        QCOMPARE(dialog_->font().pointSize(), points);
        QCOMPARE(dialog_->palette().color(QPalette::Window), QColor(0x20, 0x80, 0x40));
        const auto widgets = dialog_->findChildren<QWidget*>();
        for (QWidget* w : widgets) {
            if (!w->isVisible() || qobject_cast<TEditFloat*>(w))
                continue;
            if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w))
                QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
        }
        QCOMPARE(dialog_->size(), dialog_->minimumSize()); // fixed dialog border
        QCOMPARE(dialog_->size(), dialog_->maximumSize());
        dialog_.reset();
    }
}

void CalcSetTest::enablingWhenTheWindowOpens_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<float>("charge");
    QTest::addColumn<float>("rig");
    // Enabled: "Вес оснастки (кг)" with its edit, cbxGrainWeight, cbxDeadWeight, cbxSoed.
    QTest::addColumn<bool>("rigWeight");
    QTest::addColumn<bool>("grain");
    QTest::addColumn<bool>("dead");
    QTest::addColumn<bool>("soed");

    QTest::newRow("horizontal with both weights") << 0 << 1.0f << 2.0f << false << false << false << false;
    QTest::newRow("nozzle up, charge only") << 1 << 1.0f << 0.0f << true << true << false << false;
    QTest::newRow("nozzle up, rig only") << 1 << 0.0f << 2.0f << true << false << true << false;
    QTest::newRow("nozzle down, rig only") << 2 << 0.0f << 2.0f << true << false << true << true;
    QTest::newRow("nozzle down, no weights") << 2 << 0.0f << 0.0f << true << false << false << false;
}

void CalcSetTest::enablingWhenTheWindowOpens()
{
    QFETCH(int, position);
    QFETCH(float, charge);
    QFETCH(float, rig);
    QFETCH(bool, rigWeight);
    QFETCH(bool, grain);
    QFETCH(bool, dead);
    QFETCH(bool, soed);

    state_.MotorPosition = static_cast<std::uint8_t>(position);
    state_.ChargeWeight = charge;
    state_.RigWeight = rig;
    open();
    QCOMPARE(get<QLabel>("s2")->isEnabled(), rigWeight);
    QCOMPARE(get<TEditFloat>("edtDeadWeight")->isEnabled(), rigWeight);
    QCOMPARE(get<QCheckBox>("cbxGrainWeight")->isEnabled(), grain);
    QCOMPARE(get<QCheckBox>("cbxDeadWeight")->isEnabled(), dead);
    QCOMPARE(get<QCheckBox>("cbxSoed")->isEnabled(), soed);
    QVERIFY(get<TEditFloat>("edtWeight")->isEnabled());
}

void CalcSetTest::enablingFollowsClicksAndCommittedWeights()
{
    open();
    auto* rigEdit = get<TEditFloat>("edtDeadWeight");
    auto* grain = get<QCheckBox>("cbxGrainWeight");
    auto* dead = get<QCheckBox>("cbxDeadWeight");
    auto* soed = get<QCheckBox>("cbxSoed");
    QVERIFY(get<QRadioButton>("rbHoriz")->isChecked());
    QVERIFY(!rigEdit->isEnabled());

    clickOption(get<QRadioButton>("rbDown"));
    QVERIFY(get<QRadioButton>("rbDown")->isChecked());
    QVERIFY(rigEdit->isEnabled());
    QVERIFY(get<QLabel>("s2")->isEnabled());
    QVERIFY(!grain->isEnabled());
    QVERIFY(!dead->isEnabled());
    QVERIFY(!soed->isEnabled()); // no rig weight yet

    typeWeight("edtDeadWeight", "2" + sep() + "5");
    QCOMPARE(dialog_->workingRigWeight(), 2.5f);
    QVERIFY(dead->isEnabled());
    QVERIFY(soed->isEnabled());

    clickOption(get<QRadioButton>("rbUp"));
    QVERIFY(dead->isEnabled());
    QVERIFY(!soed->isEnabled()); // nozzle up

    typeWeight("edtWeight", "0" + sep() + "75");
    QVERIFY(grain->isEnabled());
    typeWeight("edtWeight", "0");
    QVERIFY(!grain->isEnabled());
    typeWeight("edtWeight", "1");

    clickOption(get<QRadioButton>("rbHoriz"));
    QVERIFY(!rigEdit->isEnabled());
    QVERIFY(!get<QLabel>("s2")->isEnabled());
    QVERIFY(!grain->isEnabled());
    QVERIFY(!dead->isEnabled());
    QVERIFY(!soed->isEnabled());

    // A charge committed while horizontal leaves its option disabled.
    typeWeight("edtWeight", "3");
    QVERIFY(!grain->isEnabled());

    clickOption(get<QRadioButton>("rbDown"));
    typeWeight("edtDeadWeight", "0");
    QVERIFY(!dead->isEnabled());
    QVERIFY(!soed->isEnabled());
    QVERIFY(grain->isEnabled());
}

void CalcSetTest::setStoresTheWorkingCopies()
{
    open();
    QSignalSpy stored(dialog_.get(), &TfrmCalcSet::settingsStored);
    clickOption(get<QRadioButton>("rbDown"));
    typeWeight("edtWeight", "1" + sep() + "2345");
    typeWeight("edtDeadWeight", "0" + sep() + "5");
    clickOption(get<QCheckBox>("cbxSoed"));
    clickOption(get<QCheckBox>("cbxGrainWeight"));
    clickOption(get<QCheckBox>("cbxClearThrust"));

    // Nothing reaches the analysis before "Установить".
    QCOMPARE(Settings::of(state_), Settings::of(AnalysisState()));

    QTest::mouseClick(get<QPushButton>("btnSet"), Qt::LeftButton);
    QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(stored.count(), 1);
    QCOMPARE(state_.MotorPosition, std::uint8_t(MotorNozzleDown));
    QCOMPARE(state_.ChargeWeight, 1.2345f);
    QCOMPARE(state_.RigWeight, 0.5f);
    QVERIFY(state_.RigidMount);
    QVERIFY(!state_.IncludeChargeWeight);
    QVERIFY(state_.IncludeRigWeight);
    QVERIFY(!state_.NetThrust);
    QVERIFY(!state_.Hysteresis);
}

void CalcSetTest::cancelKeepsEverySetting()
{
    state_.ChargeWeight = 0.3f;
    state_.RigWeight = 0.2f;
    state_.MotorPosition = MotorNozzleUp;
    const Settings before = Settings::of(state_);

    for (const bool byEscape : {false, true}) {
        open();
        QSignalSpy stored(dialog_.get(), &TfrmCalcSet::settingsStored);
        clickOption(get<QRadioButton>("rbDown"));
        typeWeight("edtWeight", "9");
        typeWeight("edtDeadWeight", "8");
        clickOption(get<QCheckBox>("cbxSoed"));
        clickOption(get<QCheckBox>("cbxClearThrust"));
        QCOMPARE(dialog_->workingChargeWeight(), 9.0f);
        if (byEscape)
            QTest::keyClick(get<TEditFloat>("edtDeadWeight"), Qt::Key_Escape);
        else
            QTest::mouseClick(get<QPushButton>("btnCancel"), Qt::LeftButton);
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(dialog_->result(), int(QDialog::Rejected));
        QCOMPARE(stored.count(), 0);
        QVERIFY(Settings::of(state_) == before);
    }
}

void CalcSetTest::aWeightTypedButNotCommittedCountsOnSet()
{
    open();
    auto* edit = get<TEditFloat>("edtWeight");
    edit->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(edit, "4" + sep() + "5");
    get<QPushButton>("btnSet")->click(); // reached from the keyboard: the field keeps the focus
    QCOMPARE(state_.ChargeWeight, 4.5f);
    QCOMPARE(dialog_->result(), int(QDialog::Accepted));
}

void CalcSetTest::negativeWeightsAreRefused()
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

void CalcSetTest::unknownPositionShowsAndStoresAsHorizontal()
{
    state_.MotorPosition = 7; // from a damaged project
    open();
    QVERIFY(get<QRadioButton>("rbHoriz")->isChecked());
    QVERIFY(!get<TEditFloat>("edtDeadWeight")->isEnabled());
    QTest::mouseClick(get<QPushButton>("btnSet"), Qt::LeftButton);
    QCOMPARE(state_.MotorPosition, std::uint8_t(MotorHorizontal));
}

QTEST_MAIN(CalcSetTest)
#include "CalcSetTest.moc"
