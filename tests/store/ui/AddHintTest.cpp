// The project notes window: what it shows, what "OK" and "Cancel" do with the notes, and the lines of
// its memo.
#include "store/ui/TfrmAddHint.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include "support/FindControl.h"

#include <QTest>

#include <memory>

using namespace selva;

using Lines = std::vector<std::string>;
Q_DECLARE_METATYPE(Lines)

namespace {

void typeChars(QWidget* w, const QString& text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            QTest::keyClick(w, Qt::Key_Return);
            continue;
        }
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

} // namespace

class AddHintTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void showsTheNotesAndTheSource();
    void okReplacesTheNotesWithTheMemoLines();
    void cancelAndEscapeKeepTheNotes();
    void linesSurviveTheMemo_data();
    void linesSurviveTheMemo();
    void memoTextsBecomeLines_data();
    void memoTextsBecomeLines();

private:
    void open(const QString& source = QString());
    template <class T> T* get(const char* name) { return test::control<T>(dialog_.get(), name); }

    Lines notes_;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<TfrmAddHint> dialog_;
};

void AddHintTest::init()
{
    notes_ = {"Двигатель РД-1", "", "Заряд 120 г"};
    mainWindow_ = std::make_unique<QWidget>();
}

void AddHintTest::cleanup()
{
    dialog_.reset();
    mainWindow_.reset();
}

void AddHintTest::open(const QString& source)
{
    dialog_ = std::make_unique<TfrmAddHint>(notes_, source, mainWindow_.get());
    dialog_->show();
    dialog_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
}

void AddHintTest::showsTheNotesAndTheSource()
{
    open(QString::fromUtf8("/испытания/firing.frq"));
    QCOMPARE(dialog_->windowTitle(), QString::fromUtf8("Selvarondine - ввод пояснений"));
    QCOMPARE(get<QLabel>("lblSource")->text(), QString::fromUtf8("Источник данных:"));
    QCOMPARE(get<QLabel>("lblFileName")->text(), QString::fromUtf8("/испытания/firing.frq"));
    QCOMPARE(get<QPushButton>("OKBtn")->text(), QString("OK"));
    QCOMPARE(get<QPushButton>("CancelBtn")->text(), QString("Cancel"));
    auto* memo = get<QPlainTextEdit>("memHint");
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(memo->toPlainText(), QString::fromUtf8("Двигатель РД-1\n\nЗаряд 120 г\n"));
}

void AddHintTest::okReplacesTheNotesWithTheMemoLines()
{
    open();
    QSignalSpy stored(dialog_.get(), &TfrmAddHint::notesStored);
    auto* memo = get<QPlainTextEdit>("memHint");
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    typeChars(memo, QString::fromUtf8("Тяга 15 Н\nокончание"));
    // Typing alone changes nothing yet.
    QCOMPARE(notes_.size(), std::size_t(3));
    QTest::mouseClick(get<QPushButton>("OKBtn"), Qt::LeftButton);
    QCOMPARE(dialog_->result(), int(QDialog::Accepted));
    QCOMPARE(stored.count(), 1);
    const Lines expected = {"Двигатель РД-1", "", "Заряд 120 г", "Тяга 15 Н", "окончание"};
    QCOMPARE(notes_, expected);

    // An emptied memo leaves no notes.
    open();
    get<QPlainTextEdit>("memHint")->clear();
    QTest::mouseClick(get<QPushButton>("OKBtn"), Qt::LeftButton);
    QVERIFY(notes_.empty());
}

void AddHintTest::cancelAndEscapeKeepTheNotes()
{
    const Lines before = notes_;
    for (const bool byEscape : {false, true}) {
        open();
        QSignalSpy stored(dialog_.get(), &TfrmAddHint::notesStored);
        auto* memo = get<QPlainTextEdit>("memHint");
        memo->setFocus();
        typeChars(memo, QString::fromUtf8("лишнее\n"));
        if (byEscape)
            QTest::keyClick(memo, Qt::Key_Escape);
        else
            QTest::mouseClick(get<QPushButton>("CancelBtn"), Qt::LeftButton);
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(dialog_->result(), int(QDialog::Rejected));
        QCOMPARE(stored.count(), 0);
        QCOMPARE(notes_, before);
    }
}

void AddHintTest::linesSurviveTheMemo_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::newRow("none") << Lines{};
    QTest::newRow("one empty line") << Lines{""};
    QTest::newRow("empty line last") << Lines{"a", ""};
    QTest::newRow("cyrillic and blanks") << Lines{"  отступ", "конец  "};
}

// Lines put into the memo and taken back unchanged come back exactly, through the window.
void AddHintTest::linesSurviveTheMemo()
{
    QFETCH(Lines, lines);
    notes_ = lines;
    open();
    QTest::mouseClick(get<QPushButton>("OKBtn"), Qt::LeftButton);
    QCOMPARE(notes_, lines);
}

void AddHintTest::memoTextsBecomeLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Lines>("lines");
    QTest::newRow("empty") << QString() << Lines{};
    QTest::newRow("no final break") << QString("a\nb") << Lines{"a", "b"};
    QTest::newRow("final break") << QString("a\nb\n") << Lines{"a", "b"};
    QTest::newRow("empty line kept") << QString("a\n\n") << Lines{"a", ""};
    QTest::newRow("lone break") << QString("\n") << Lines{""};
    QTest::newRow("CR LF and CR") << QString("a\r\nb\rc") << Lines{"a", "b", "c"};
    QTest::newRow("line separator") << (QString("a") + QChar::LineSeparator + "b") << Lines{"a", "b"};
}

void AddHintTest::memoTextsBecomeLines()
{
    QFETCH(QString, text);
    QFETCH(Lines, lines);
    QCOMPARE(TfrmAddHint::linesOfText(text), lines);
}

QTEST_MAIN(AddHintTest)
#include "AddHintTest.moc"
