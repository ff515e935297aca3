// The value edit controls driven with real key and focus events, as a user drives them. The program runs
// once under the default locale and once under a Russian one; typed numbers use the locale's separator.
#include "controls/EditInt.h"

#include "support/Modal.h"

#include <QDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace selva;

namespace {

QString sep()
{
    return QLocale().decimalPoint();
}

void selectAllAndErase(QWidget* w)
{
    QTest::keyClick(w, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w, Qt::Key_Backspace);
}

// Replaces the field's text by typing and ends with `key`.
void retype(QWidget* w, const QString& text, Qt::Key key = Qt::Key_Return)
{
    selectAllAndErase(w);
    QTest::keyClicks(w, text);
    QTest::keyClick(w, key);
}

} // namespace

class EditControlsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> host_;
    QLineEdit* other_ = nullptr;
    QStringList errors_;
    int onCommit_ = 0, postCommit_ = 0; // handler calls of the controls made by makeEdit

    // Puts a fresh control in the window, gives it the focus and counts its handler calls (a test that sets
    // its own OnCommit counts there if it needs to). The first control is followed by a plain field to
    // move the focus to, and the window is shown and made active.
    template <class E> E* makeEdit()
    {
        auto* edit = new E(host_.get());
        host_->layout()->addWidget(edit);
        if (!other_) {
            other_ = new QLineEdit(host_.get());
            host_->layout()->addWidget(other_);
            if (!test::showActive(host_.get()))
                qWarning("window did not become active");
        }
        edit->OnCommit = [this](auto*, auto, bool&) { ++onCommit_; };
        edit->PostCommit = [this](auto*) { ++postCommit_; };
        edit->setFocus(Qt::TabFocusReason);
        return edit;
    }
    void leave() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); }

private slots:
    void initTestCase()
    {
        setEditErrorReporter([this](QWidget*, const QString& message) { errors_ << message; });
    }
    void init()
    {
        errors_.clear();
        onCommit_ = postCommit_ = 0;
        other_ = nullptr;
        host_ = std::make_unique<QWidget>();
        new QVBoxLayout(host_.get());
    }
    void cleanup() { host_.reset(); }

    void intEmptiedAndLeftStoresZero()
    {
        std::int32_t var = 42;
        auto* edit = makeEdit<TEditInt>();
        edit->Value(&var);
        QCOMPARE(edit->text(), QString("42"));
        selectAllAndErase(edit);
        leave();
        QVERIFY(other_->hasFocus());
        QCOMPARE(edit->text(), QString("0"));
        QCOMPARE(var, 0);
        QCOMPARE(postCommit_, 1);
        QVERIFY(edit->Committed());

        // Leaving an integer field always commits, typed in or not.
        edit->setFocus(Qt::TabFocusReason);
        leave();
        QCOMPARE(postCommit_, 2);
        QVERIFY(errors_.isEmpty());
    }

    // Which texts are numbers is the parser's matter (EditFormatTest); here what a field does with one that
    // is not: it says so, stores and sends nothing, and keeps what was typed for the user to mend.
    void aTextThatIsNoNumberIsReportedAndKept()
    {
        const auto check = [this](auto* edit, const QString& typed) {
            errors_.clear();
            retype(edit, typed);
            QCOMPARE(errors_.size(), 1);
            QVERIFY(errors_[0].contains(typed));
            QCOMPARE(edit->text(), typed);
            QVERIFY(!edit->Committed());
        };
        std::int32_t i = 5;
        auto* intEdit = makeEdit<TEditInt>();
        intEdit->Value(&i);
        check(intEdit, "12-3");
        double d = 2;
        auto* floatEdit = makeEdit<TEditFloat>();
        floatEdit->Value(&d);
        check(floatEdit, sep() == "," ? "3.5" : "3,5"); // the other separator
        QCOMPARE(i, 5);
        QCOMPARE(d, 2.0);
        QCOMPARE(onCommit_, 0);
        QCOMPARE(postCommit_, 0);
    }

    void intHandlerMayRefuseOrSetTheText()
    {
        std::int32_t var = 7;
        auto* edit = makeEdit<TEditInt>();
        edit->Value(&var);
        edit->OnCommit = [&](TEditInt*, std::int32_t* value, bool& canCommit) {
            ++onCommit_;
            canCommit = *value <= 100;
        };
        retype(edit, "500", Qt::Key_Enter);
        QCOMPARE(onCommit_, 1);
        QCOMPARE(postCommit_, 0);
        QCOMPARE(var, 7);
        QCOMPARE(edit->text(), QString("7"));
        QVERIFY(!edit->isModified());
        QVERIFY(!edit->Committed());
        QVERIFY(edit->hasFocus()); // Enter commits and stays

        retype(edit, "-12");
        QCOMPARE(var, -12);
        QCOMPARE(postCommit_, 1);
        QVERIFY(edit->Committed());

        // A handler changes what is stored through the text, not through the candidate.
        edit->OnCommit = [](TEditInt* sender, std::int32_t* value, bool&) {
            *value = 1000;         // has no effect
            sender->setText("33"); // this does
        };
        retype(edit, "9");
        QCOMPARE(var, 33);
    }

    void typedCharactersAreFiltered()
    {
        auto* intEdit = makeEdit<TEditInt>();
        intEdit->Value(nullptr);
        selectAllAndErase(intEdit);
        QTest::keyClicks(intEdit, "1a2.3,x- e");
        test::typeChars(intEdit, QString::fromUtf8("жЁ"));
        QCOMPARE(intEdit->text(), QString("123-"));

        auto* floatEdit = makeEdit<TEditFloat>();
        selectAllAndErase(floatEdit);
        QTest::keyClicks(floatEdit, "1a2.3,x- eE+");
        test::typeChars(floatEdit, QString::fromUtf8("ж"));
        QCOMPARE(floatEdit->text(), QString("12.3,-"));

        auto* strEdit = makeEdit<TEditStr>();
        QTest::keyClicks(strEdit, "a1.,- ");
        test::typeChars(strEdit, QString::fromUtf8("жЁ№"));
        QCOMPARE(strEdit->text(), QString::fromUtf8("a1.,- жЁ№"));

        // Shortcuts are not typed characters: select all still works in a number field.
        QTest::keyClick(intEdit, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(intEdit->selectedText(), QString("123-"));
    }

    void inputLimitStopsTypingButNeverCutsAShownValue()
    {
        std::int32_t var = 123456789; // nine characters, one more than can be typed
        auto* edit = makeEdit<TEditInt>();
        edit->Value(&var);
        QCOMPARE(edit->text(), QString("123456789"));
        leave(); // commits, as leaving an integer field always does
        QCOMPARE(postCommit_, 1);
        QCOMPARE(var, 123456789);

        // The long value can be shortened but not lengthened.
        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, "12");
        QCOMPARE(edit->text(), QString("12345678"));
        selectAllAndErase(edit);
        QTest::keyClicks(edit, "1234567890");
        QCOMPARE(edit->text(), QString("12345678"));

        auto* floatEdit = makeEdit<TEditFloat>();
        QTest::keyClicks(floatEdit, "12345678901234567890");
        QCOMPARE(floatEdit->text().size(), 16);
    }

    void floatStoresTypedValueAndShowsItRounded()
    {
        float var = 1.5f;
        auto* edit = makeEdit<TEditFloat>();
        edit->setPrecision(4);
        edit->setDigits(2);
        edit->Value(&var);
        QCOMPARE(edit->text(), "1" + sep() + "5");
        long double candidate = 0;
        edit->OnCommit = [&](TEditFloat*, long double* value, bool&) {
            ++onCommit_;
            candidate = *value;
        };
        retype(edit, "12" + sep() + "3456");
        QCOMPARE(var, 12.3456f);
        QCOMPARE(double(candidate), double(12.3456f)); // the candidate already has single precision
        QCOMPARE(edit->text(), "12" + sep() + "35");
        QCOMPARE(onCommit_, 1);
        QCOMPARE(postCommit_, 1);
        QVERIFY(edit->Committed());
        QVERIFY(!edit->isModified());

        // An emptied field stores 0, on leaving.
        selectAllAndErase(edit);
        leave();
        QCOMPARE(var, 0.0f);
        QCOMPARE(edit->text(), QString("0"));
        QCOMPARE(postCommit_, 2);
        QVERIFY(errors_.isEmpty());
    }

    void floatLeftUntouchedSendsNothing()
    {
        double var = 0.25;
        auto* edit = makeEdit<TEditFloat>();
        edit->Value(&var);
        leave();
        QTest::keyClick(edit, Qt::Key_Return); // Enter on an untouched field does nothing either
        QCOMPARE(onCommit_, 0);
        QCOMPARE(postCommit_, 0);

        edit->setFocus(Qt::TabFocusReason);
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, "5");
        leave();
        QCOMPARE(onCommit_, 1);
        QCOMPARE(postCommit_, 1);
        QCOMPARE(var, 0.255);

        // Called directly, a commit runs whether or not anything was typed.
        QVERIFY(edit->Commit());
        QCOMPARE(postCommit_, 2);
    }

    void floatHandlerMayRefuseOrChangeTheCandidateWithinItsWidth()
    {
        float var = 1;
        auto* edit = makeEdit<TEditFloat>();
        edit->Value(&var);
        edit->OnCommit = [](TEditFloat*, long double* value, bool& canCommit) {
            canCommit = *value > 0;
            *value = *value > 1000 ? 1e300L : std::min(*value, 100.0L);
        };
        retype(edit, "-4");
        QCOMPARE(var, 1.0f);
        QCOMPARE(edit->text(), QString("1"));
        QCOMPARE(postCommit_, 1);   // a refused commit still sends it,
        QVERIFY(edit->Committed()); // and a float field counts it as committed too
        QVERIFY(!edit->isModified());

        retype(edit, "250");
        QCOMPARE(var, 100.0f);
        QCOMPARE(edit->text(), QString("100"));
        QCOMPARE(postCommit_, 2);

        // A candidate beyond the range of a single is refused, not stored as an infinity.
        retype(edit, "5000");
        QCOMPARE(errors_.size(), 1);
        QCOMPARE(var, 100.0f);
        QCOMPARE(postCommit_, 2);
        QVERIFY(edit->hasFocus());
    }

    void floatBindsEveryWidth()
    {
        auto* edit = makeEdit<TEditFloat>();
        edit->setPrecision(18);
        edit->setDigits(18);
        long double ext = 0;
        edit->Value(&ext);
        retype(edit, "0" + sep() + "1");
        QVERIFY(ext == 0.1L); // read at full 10-byte width, not through a double
        QVERIFY(ext != static_cast<long double>(0.1));

        double real = 0;
        edit->setEditType(etReal);
        edit->Value(&real);
        retype(edit, "0" + sep() + "1");
        QCOMPARE(real, 0.1);

        // Another width unbinds: the variable is not written through the wrong type.
        edit->setEditType(etSingle);
        retype(edit, "7");
        QCOMPARE(real, 0.1);
        QCOMPARE(double(edit->storedValue()), 7.0);
    }

    void escapeRestoresAndSendsNothing()
    {
        float f = 2.5f;
        std::string s = "abc";
        auto* floatEdit = makeEdit<TEditFloat>();
        floatEdit->Value(&f);
        QTest::keyClicks(floatEdit, "99");
        QTest::keyClick(floatEdit, Qt::Key_Escape);
        QCOMPARE(floatEdit->text(), "2" + sep() + "5");
        QVERIFY(!floatEdit->isModified());
        leave();
        QCOMPARE(f, 2.5f);

        auto* strEdit = makeEdit<TEditStr>();
        strEdit->Value(&s);
        QTest::keyClicks(strEdit, "def");
        QTest::keyClick(strEdit, Qt::Key_Escape);
        QCOMPARE(strEdit->text(), QString("abc"));
        QCOMPARE(s, std::string("abc"));
        QCOMPARE(onCommit_, 0);
        QCOMPARE(postCommit_, 0);
    }

    void refreshShowsTheVariableAndKeepsTheModifiedMark()
    {
        double var = 1;
        auto* edit = makeEdit<TEditFloat>();
        edit->Value(&var);
        QTest::keyClicks(edit, "2");
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(edit->Committed());

        var = 8;
        QTest::keyClicks(edit, "1");
        edit->Refresh();
        QCOMPARE(edit->text(), QString("8"));
        QVERIFY(edit->isModified());
        QVERIFY(!edit->Committed());
        edit->Value(&var);
        QVERIFY(!edit->isModified());
    }

    // In a dialog, Enter in a value field commits without pressing the default button; Escape in a field
    // with typed text puts the value back, and Escape in an untouched field cancels the dialog.
    void enterAndEscapeInADialog()
    {
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* edit = new TEditInt(&dialog);
        auto* ok = new QPushButton("OK", &dialog);
        layout->addWidget(edit);
        layout->addWidget(ok);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        std::int32_t var = 1;
        edit->Value(&var);
        QVERIFY(test::showActive(&dialog));
        edit->setFocus(Qt::TabFocusReason);

        QTest::keyClicks(edit, "5");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(var, 15);
        QVERIFY(dialog.isVisible());
        QTest::keyClicks(edit, "7");
        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QCOMPARE(edit->text(), QString("15"));
        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(var, 15);
    }

    void strCommitsCyrillicCutsTo255AndMayBeRefused()
    {
        std::string var;
        auto* edit = makeEdit<TEditStr>();
        edit->Value(&var);
        test::typeChars(edit, QString::fromUtf8("Тяга №1"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(var, std::string("Тяга №1"));
        QCOMPARE(postCommit_, 1);

        selectAllAndErase(edit);
        const QString longText = QString(250, QLatin1Char('x')) + QString::fromUtf8("жжжжжжжжжж");
        test::typeChars(edit, longText);
        leave();
        QCOMPARE(QString::fromStdString(var), longText.left(255));
        QCOMPARE(edit->text(), longText); // the field keeps what was typed
        QCOMPARE(postCommit_, 2);

        // A refused commit puts the variable's text back and still sends PostCommit.
        var = "old";
        edit->Value(&var);
        edit->setFocus(Qt::TabFocusReason);
        edit->OnCommit = [&](TEditStr*, std::string* value, bool& canCommit) {
            if (value->empty())
                canCommit = false;
            else
                *value = "<" + *value + ">"; // a handler may rewrite the candidate
        };
        selectAllAndErase(edit);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(var, std::string("old"));
        QCOMPARE(edit->text(), QString("old"));
        QCOMPARE(postCommit_, 3);

        QTest::keyClicks(edit, "!");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(var, std::string("<old!>"));
        QCOMPARE(edit->text(), QString("<old!>"));
        QCOMPARE(postCommit_, 4);
    }

    void pcharNeverOverrunsItsBufferAndKeepsARefusedText()
    {
        // Eight bytes, and a guard after them that must survive.
        char storage[12];
        std::memset(storage, '#', sizeof storage);
        std::strcpy(storage, "ab");
        auto* edit = makeEdit<TEditPchar>();
        edit->Value(storage, 8);
        QCOMPARE(edit->text(), QString("ab"));

        // Not modified: no commit at all.
        QVERIFY(!edit->Commit());
        leave();
        QCOMPARE(postCommit_, 0);

        edit->setFocus(Qt::TabFocusReason);
        selectAllAndErase(edit);
        test::typeChars(edit, QString::fromUtf8("абвгдеж")); // 14 bytes
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(postCommit_, 1);
        QVERIFY(edit->Committed());
        // 6 bytes and the terminator fit, a half character not.
        QCOMPARE(std::string(storage), std::string("абв"));
        QCOMPARE(storage[8], '#');
        QCOMPARE(storage[11], '#');

        // A refused commit keeps the typed text, still modified, and counts as no commit.
        edit->Value(storage, 8);
        edit->OnCommit = [&](TEditPchar*, const char* value, bool& canCommit) {
            ++onCommit_;
            canCommit = std::strlen(value) > 0;
        };
        onCommit_ = 0;
        selectAllAndErase(edit);
        leave();
        QCOMPARE(onCommit_, 1);
        QCOMPARE(postCommit_, 1);
        QCOMPARE(std::string(storage), std::string("абв"));
        QCOMPARE(edit->text(), QString());
        QVERIFY(edit->isModified());
        QVERIFY(!edit->Committed());
    }
};

QTEST_MAIN(EditControlsTest)
#include "EditControlsTest.moc"
