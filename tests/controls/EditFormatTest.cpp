// What a floating-point field shows for a value, and which typed texts it reads, under a point and a comma
// locale.
#include "controls/EditFormat.h"

#include <QLocale>
#include <QTest>

#include <cmath>

using namespace selva;

Q_DECLARE_METATYPE(selva::TEditType)

class EditFormatTest : public QObject {
    Q_OBJECT

private slots:
    void shownText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<selva::TEditType>("type");
        QTest::addColumn<int>("precision");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("expected"); // with a point; the comma rows are derived from it

        QTest::newRow("single rounded to 2 decimals") << double(12.3456f) << etSingle << 4 << 2 << "12.35";
        QTest::newRow("binary value just below the half") << 2.675 << etDouble << 4 << 2 << "2.68";
        QTest::newRow("single shown as typed") << double(0.1f) << etSingle << 7 << 4 << "0.1";
        QTest::newRow("negative half goes away from zero") << -12.345 << etDouble << 6 << 2 << "-12.35";
        QTest::newRow("carry into a new digit") << 99.996 << etDouble << 4 << 2 << "100";
        QTest::newRow("precision after digits") << 9.9999 << etDouble << 3 << 4 << "10";
        QTest::newRow("precision rounds halves up") << 12.35 << etDouble << 3 << 4 << "12.4";
        QTest::newRow("integer part longer than precision") << 123456.0 << etDouble << 4 << 2 << "1.235E5";
        QTest::newRow("large value") << 1.5e20 << etDouble << 4 << 2 << "1.5E20";
        QTest::newRow("small value, enough decimals") << 1e-7 << etDouble << 7 << 10 << "1E-7";
        QTest::newRow("smallest fixed value") << 0.00001 << etDouble << 7 << 8 << "0.00001";
        QTest::newRow("rounded away entirely") << -0.001 << etDouble << 4 << 2 << "0";
        QTest::newRow("zero") << 0.0 << etSingle << 4 << 4 << "0";
        QTest::newRow("zero decimals") << 7.5 << etDouble << 4 << 0 << "8";
        QTest::newRow("trailing zeros dropped") << 2.5 << etDouble << 4 << 4 << "2.5";
        QTest::newRow("step of the analysis") << 0.0001 << etReal << 15 << 8 << "0.0001";
        QTest::newRow("infinity") << double(INFINITY) << etDouble << 4 << 2 << "INF";
    }

    void shownText()
    {
        QFETCH(double, value);
        QFETCH(selva::TEditType, type);
        QFETCH(int, precision);
        QFETCH(int, digits);
        QFETCH(QString, expected);

        QCOMPARE(formatEditFloat(value, type, precision, digits, QLocale::c()), expected);
        QString comma = expected;
        comma.replace(QLatin1Char('.'), QLatin1Char(','));
        QCOMPARE(formatEditFloat(value, type, precision, digits, QLocale(QLocale::Russian, QLocale::Russia)),
                 comma);
    }

    void readsTypedNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("commaLocale");
        QTest::addColumn<selva::TEditType>("type");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");

        QTest::newRow("comma locale, comma") << "12,3456" << true << etDouble << true << 12.3456;
        QTest::newRow("point locale, point") << "12.3456" << false << etDouble << true << 12.3456;
        QTest::newRow("comma locale refuses a point") << "12.5" << true << etDouble << false << 0.0;
        QTest::newRow("point locale refuses a group comma") << "12,5" << false << etDouble << false << 0.0;
        QTest::newRow("single width") << "0,1" << true << etSingle << true << double(0.1f);
        QTest::newRow("blanks around") << "  -3,5 " << true << etDouble << true << -3.5;
        QTest::newRow("leading plus") << "+2" << false << etDouble << true << 2.0;
        QTest::newRow("pasted exponent") << "1,5e3" << true << etDouble << true << 1500.0;
        QTest::newRow("lone minus") << "-" << false << etDouble << false << 0.0;
        QTest::newRow("two separators") << "1.2.3" << false << etDouble << false << 0.0;
        QTest::newRow("minus after a digit") << "5-" << false << etDouble << false << 0.0;
        QTest::newRow("letters") << "abc" << false << etDouble << false << 0.0;
        QTest::newRow("infinity text") << "inf" << false << etDouble << false << 0.0;
        QTest::newRow("beyond single range") << "1e39" << false << etSingle << false << 0.0;
        QTest::newRow("within double range") << "1e39" << false << etDouble << true << 1e39;
        QTest::newRow("beyond double range") << "1e309" << false << etDouble << false << 0.0;
        QTest::newRow("extended range") << "1e309" << false << etExtended << true << 0.0;
    }

    void readsTypedNumbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, commaLocale);
        QFETCH(selva::TEditType, type);
        QFETCH(bool, ok);
        QFETCH(double, value);

        const QLocale locale = commaLocale ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c();
        long double read = -777;
        QCOMPARE(parseEditFloat(text, type, locale, read), ok);
        if (!ok) {
            QCOMPARE(double(read), -777.0); // untouched
        } else if (type == etExtended) {
            QVERIFY(read > 1e308L * 9);
        } else {
            QCOMPARE(double(read), value);
        }
    }

    void readsIntegers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");

        QTest::newRow("plain") << "42" << true << 42;
        QTest::newRow("negative") << "-17" << true << -17;
        QTest::newRow("blanks") << " 5 " << true << 5;
        QTest::newRow("largest") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << true << int(-2147483647 - 1);
        QTest::newRow("beyond 32 bits") << "2147483648" << false << 0;
        QTest::newRow("lone minus") << "-" << false << 0;
        QTest::newRow("minus after a digit") << "12-3" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("decimal point") << "1.5" << false << 0;
    }

    void readsIntegers()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);

        std::int32_t read = -777;
        QCOMPARE(parseEditInt(text, read), ok);
        QCOMPARE(read, ok ? value : -777);
    }

    void cutsUtf8AtCharacterBoundaries()
    {
        const std::string text = "Ж1Ж"; // 2 + 1 + 2 bytes
        QCOMPARE(utf8LeftBytes(text, 10), text);
        QCOMPARE(utf8LeftBytes(text, 5), text);
        QCOMPARE(utf8LeftBytes(text, 4), std::string("Ж1"));
        QCOMPARE(utf8LeftBytes(text, 3), std::string("Ж1"));
        QCOMPARE(utf8LeftBytes(text, 1), std::string());
        QCOMPARE(utf8LeftBytes(text, 0), std::string());
    }
};

QTEST_MAIN(EditFormatTest)
#include "EditFormatTest.moc"
