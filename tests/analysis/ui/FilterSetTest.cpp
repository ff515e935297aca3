// The filter settings window driven as a user drives it, found by object names.
#include "analysis/ui/TfrmFilterSet.h"

#include "analysis/AnalysisState.h"
#include "controls/EditInt.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include "support/FindControl.h"

#include <QTest>

#include <memory>

using namespace selva;

class FilterSetTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsTheWindowAndTheWidth();
    void aCommittedWidthIsStoredAtOnce();
    void widthIsLimitedToThreeCharacters();
    void exitAndEscapeClose();
    void escapeFirstRestoresATypedWidth();
    void aTypedWidthCountsOnExit();
    void aTextThatIsNoNumberKeepsTheWindowOpen();

private:
    void open();
    template <class T> T* get(const char* name) { return test::control<T>(dialog_.get(), name); }
    TEditInt* frameLen() { return get<TEditInt>("edtFrameLen"); }
    void typeInto(TEditInt* edit, const QString& text)
    {
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, text);
    }

    AnalysisState state_;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<TfrmFilterSet> dialog_;
    QStringList errors_;
    EditErrorReporter previous_;
};

void FilterSetTest::init()
{
    state_ = AnalysisState();
    errors_.clear();
    previous_ = setEditErrorReporter([this](QWidget*, const QString& message) { errors_ << message; });
    mainWindow_ = std::make_unique<QWidget>();
}

void FilterSetTest::cleanup()
{
    dialog_.reset();
    mainWindow_.reset();
    setEditErrorReporter(previous_);
}

void FilterSetTest::open()
{
    dialog_ = std::make_unique<TfrmFilterSet>(state_, mainWindow_.get());
    dialog_->show();
    dialog_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
}

void FilterSetTest::showsTheWindowAndTheWidth()
{
    state_.FilterWindow = 11;
    QFont font(QStringLiteral("DejaVu Sans"), 14);
    mainWindow_->setFont(font);
    open();
    QCOMPARE(dialog_->windowTitle(), QString("Selvarondine-filter settings"));
    auto* type = get<QComboBox>("cbxFilterType");
    QCOMPARE(type->count(), 1);
    QCOMPARE(type->currentText(), QString::fromUtf8("Скользящее среднее"));
    QCOMPARE(get<QLabel>("lblFrameLen")->text(), QString::fromUtf8("Ширина окна"));
    QCOMPARE(get<QPushButton>("btnExit")->text(), QString::fromUtf8("Выход"));
    QCOMPARE(frameLen()->text(), QString("11"));
    QCOMPARE(dialog_->font().pointSize(), 14);
    QCOMPARE(dialog_->size(), dialog_->maximumSize()); // fixed size
    for (QWidget* w : dialog_->findChildren<QWidget*>())
        if (qobject_cast<QLabel*>(w) || qobject_cast<QPushButton*>(w) || qobject_cast<QComboBox*>(w))
            QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
}

void FilterSetTest::aCommittedWidthIsStoredAtOnce()
{
    open();
    QSignalSpy stored(dialog_.get(), &TfrmFilterSet::filterWindowStored);
    typeInto(frameLen(), "15");
    QTest::keyClick(frameLen(), Qt::Key_Return);
    QCOMPARE(state_.FilterWindow, 15);
    QVERIFY(dialog_->isVisible()); // Enter commits, it does not close the window
    QCOMPARE(stored.count(), 1);
    QVERIFY(dialog_->filterWindowChanged());

    // Widths below 1 are taken as typed; the moving average then leaves the series as it is.
    typeInto(frameLen(), "-5");
    QTest::keyClick(frameLen(), Qt::Key_Tab); // leaving the field commits
    QVERIFY(get<QPushButton>("btnExit")->hasFocus());
    QCOMPARE(state_.FilterWindow, -5);
}

void FilterSetTest::widthIsLimitedToThreeCharacters()
{
    open();
    typeInto(frameLen(), "12345");
    QCOMPARE(frameLen()->text(), QString("123"));
}

void FilterSetTest::exitAndEscapeClose()
{
    open();
    QTest::mouseClick(get<QPushButton>("btnExit"), Qt::LeftButton);
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(state_.FilterWindow, 7);
    QVERIFY(!dialog_->filterWindowChanged());

    open();
    frameLen()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(frameLen(), Qt::Key_Escape);
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(state_.FilterWindow, 7);
}

void FilterSetTest::escapeFirstRestoresATypedWidth()
{
    open();
    typeInto(frameLen(), "99");
    QTest::keyClick(frameLen(), Qt::Key_Escape);
    QVERIFY(dialog_->isVisible());
    QCOMPARE(frameLen()->text(), QString("7"));
    QTest::keyClick(frameLen(), Qt::Key_Escape);
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(state_.FilterWindow, 7);
}

void FilterSetTest::aTypedWidthCountsOnExit()
{
    open();
    typeInto(frameLen(), "21");
    get<QPushButton>("btnExit")->click(); // from the keyboard: the field keeps the focus
    QVERIFY(!dialog_->isVisible());
    QCOMPARE(state_.FilterWindow, 21);
}

void FilterSetTest::aTextThatIsNoNumberKeepsTheWindowOpen()
{
    open();
    typeInto(frameLen(), "-");
    get<QPushButton>("btnExit")->click();
    QVERIFY(dialog_->isVisible());
    QCOMPARE(errors_.size(), 1);
    QCOMPARE(state_.FilterWindow, 7);
}

QTEST_MAIN(FilterSetTest)
#include "FilterSetTest.moc"
