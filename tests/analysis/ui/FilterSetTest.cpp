// The filter settings window driven as a user drives it, found by object names.
#include "analysis/ui/TfrmFilterSet.h"

#include "analysis/AnalysisState.h"
#include "controls/EditInt.h"
#include "support/FindControl.h"
#include "support/Modal.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using namespace selva;

class FilterSetTest : public QObject {
    Q_OBJECT

    AnalysisState state_; // FilterWindow 7
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<TfrmFilterSet> dialog_;
    QStringList errors_;
    EditErrorReporter previous_;

    // Opens the window over the main window, with the focus in the width field and `typed` typed there
    // (not committed); returns the field.
    TEditInt* open(const QString& typed = QString())
    {
        dialog_ = std::make_unique<TfrmFilterSet>(state_, mainWindow_.get());
        if (!test::showActive(dialog_.get()))
            qWarning("window did not become active");
        auto* edit = test::control<TEditInt>(dialog_.get(), "edtFrameLen");
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, typed);
        return edit;
    }
    QPushButton* exitButton() { return test::control<QPushButton>(dialog_.get(), "btnExit"); }

private slots:
    void init()
    {
        state_ = AnalysisState();
        errors_.clear();
        previous_ = setEditErrorReporter([this](QWidget*, const QString& message) { errors_ << message; });
        mainWindow_ = std::make_unique<QWidget>();
    }
    void cleanup()
    {
        dialog_.reset();
        mainWindow_.reset();
        setEditErrorReporter(previous_);
    }

    // The window takes the main window's font, keeps its size, and gives every caption the room it needs.
    void showsTheWidthInTheMainWindowsFont()
    {
        state_.FilterWindow = 11;
        mainWindow_->setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
        QCOMPARE(open()->text(), QString("11"));
        QCOMPARE(dialog_->font().pointSize(), 14);
        QCOMPARE(dialog_->size(), dialog_->maximumSize());
        for (QWidget* w : dialog_->findChildren<QWidget*>())
            if (qobject_cast<QLabel*>(w) || qobject_cast<QPushButton*>(w) || qobject_cast<QComboBox*>(w))
                QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
    }

    void aCommittedWidthIsStoredAtOnce()
    {
        TEditInt* edit = open("12345");
        QCOMPARE(edit->text(), QString("123")); // three characters at most
        QSignalSpy stored(dialog_.get(), &TfrmFilterSet::filterWindowStored);
        test::typeInto(edit, "15");
        QCOMPARE(state_.FilterWindow, 15);
        QVERIFY(dialog_->isVisible()); // Enter commits, it does not close the window
        QCOMPARE(stored.count(), 1);
        QVERIFY(dialog_->filterWindowChanged());

        // Widths below 1 are taken as typed; the moving average then leaves the series as it is.
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, "-5");
        QTest::keyClick(edit, Qt::Key_Tab); // leaving the field commits
        QVERIFY(exitButton()->hasFocus());
        QCOMPARE(state_.FilterWindow, -5);
    }

    // "key click": the button reached from the keyboard, the field keeps the focus.
    void closing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("closed");
        QTest::newRow("Exit") << QString() << 7 << "mouse click" << true;
        QTest::newRow("Escape") << QString() << 7 << "escape" << true;
        QTest::newRow("Escape first puts a typed width back") << "99" << 7 << "escape twice" << true;
        QTest::newRow("a typed width counts on Exit") << "21" << 21 << "key click" << true;
        QTest::newRow("a text that is no number keeps it open") << "-" << 7 << "key click" << false;
    }
    void closing()
    {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(int, stored);
        QFETCH(bool, closed);
        TEditInt* edit = open(typed);
        if (how == "mouse click") {
            QTest::mouseClick(exitButton(), Qt::LeftButton);
        } else if (how == "key click") {
            exitButton()->click();
        } else {
            if (how == "escape twice") {
                QTest::keyClick(edit, Qt::Key_Escape);
                QVERIFY(dialog_->isVisible());
                QCOMPARE(edit->text(), QString("7"));
            }
            QTest::keyClick(edit, Qt::Key_Escape);
        }
        QCOMPARE(!dialog_->isVisible(), closed);
        QCOMPARE(state_.FilterWindow, stored);
        QCOMPARE(dialog_->filterWindowChanged(), stored != 7);
        QCOMPARE(errors_.size(), closed ? 0 : 1);
    }
};

QTEST_MAIN(FilterSetTest)
#include "FilterSetTest.moc"
