// The project notes window: what it shows, what "OK" and "Cancel" do with the notes, and the lines of
// its memo.
#include "store/ui/TfrmAddHint.h"

#include "support/FindControl.h"
#include "support/Modal.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using namespace selva;

using Lines = std::vector<std::string>;
Q_DECLARE_METATYPE(Lines)

class AddHintTest : public QObject {
    Q_OBJECT

    Lines notes_;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<TfrmAddHint> dialog_;

    void open(const QString& source = QString())
    {
        dialog_ = std::make_unique<TfrmAddHint>(notes_, source, mainWindow_.get());
        QVERIFY(test::showActive(dialog_.get()));
    }
    template <class T> T* get(const char* name) { return test::control<T>(dialog_.get(), name); }

private slots:
    void init()
    {
        notes_ = {"Двигатель РД-1", "", "Заряд 120 г"};
        mainWindow_ = std::make_unique<QWidget>();
    }
    void cleanup()
    {
        dialog_.reset();
        mainWindow_.reset();
    }

    void okReplacesTheNotesWithTheMemoLines()
    {
        open();
        QSignalSpy stored(dialog_.get(), &TfrmAddHint::notesStored);
        auto* memo = get<QPlainTextEdit>("memHint");
        memo->setFocus();
        QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
        test::typeChars(memo, QString::fromUtf8("Тяга 15 Н\nокончание"));
        QCOMPARE(notes_.size(), std::size_t(3)); // typing alone changes nothing yet
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

    void cancelKeepsTheNotes()
    {
        const Lines before = notes_;
        open();
        QSignalSpy stored(dialog_.get(), &TfrmAddHint::notesStored);
        auto* memo = get<QPlainTextEdit>("memHint");
        memo->setFocus();
        test::typeChars(memo, QString::fromUtf8("лишнее\n"));
        QTest::mouseClick(get<QPushButton>("CancelBtn"), Qt::LeftButton);
        QVERIFY(!dialog_->isVisible());
        QCOMPARE(dialog_->result(), int(QDialog::Rejected));
        QCOMPARE(stored.count(), 0);
        QCOMPARE(notes_, before);
    }

    // Lines put into the memo and taken back unchanged come back exactly, through the window.
    void linesSurviveTheMemo_data()
    {
        QTest::addColumn<Lines>("lines");
        QTest::newRow("none") << Lines{};
        QTest::newRow("one empty line") << Lines{""};
        QTest::newRow("empty line last") << Lines{"a", ""};
        QTest::newRow("cyrillic and blanks") << Lines{"  отступ", "конец  "};
    }
    void linesSurviveTheMemo()
    {
        QFETCH(Lines, lines);
        notes_ = lines;
        open();
        QTest::mouseClick(get<QPushButton>("OKBtn"), Qt::LeftButton);
        QCOMPARE(notes_, lines);
    }

    void memoTextsBecomeLines_data()
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
    void memoTextsBecomeLines()
    {
        QFETCH(QString, text);
        QFETCH(Lines, lines);
        QCOMPARE(TfrmAddHint::linesOfText(text), lines);
    }
};

QTEST_MAIN(AddHintTest)
#include "AddHintTest.moc"
