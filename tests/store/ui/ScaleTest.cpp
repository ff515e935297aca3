// The progress window: its texts, the bar, and that every way of closing it asks the computation to stop.

#include "store/ui/TfrmScale.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace selva;

class ScaleTest : public QObject {
    Q_OBJECT
private slots:
    void showsDesignTexts();
    void barIsClamped();
    void everyCloseAsksToCancel();
};

void ScaleTest::showsDesignTexts()
{
    TfrmScale w;
    QCOMPARE(w.windowTitle(), QString("Selvarondine - progress"));
    QCOMPARE(w.action(), QString("Процесс выполнения"));
    QVERIFY(w.findChild<QLabel*>("lblAction")->font().bold());
    QCOMPARE(w.findChild<QPushButton*>("btnClose")->text(), QString("Закрыть"));
    QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
    w.setAction("Расчет частот");
    QCOMPARE(w.findChild<QLabel*>("lblAction")->text(), QString("Расчет частот"));
}

void ScaleTest::barIsClamped()
{
    TfrmScale w;
    auto* bar = w.findChild<QProgressBar*>("pbrScale");
    w.setPercent(42);
    QCOMPARE(bar->value(), 42);
    w.setPercent(250);
    QCOMPARE(w.percent(), 100);
    w.setPercent(-3);
    QCOMPARE(w.percent(), 0);
}

void ScaleTest::everyCloseAsksToCancel()
{
    QWidget owner;
    owner.resize(800, 600);
    TfrmScale w(&owner);
    QSignalSpy cancel(&w, &TfrmScale::cancelRequested);
    w.showOver(&owner);
    QVERIFY(w.isVisible());
    w.findChild<QPushButton*>("btnClose")->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(cancel.count(), 1);
    w.showOver(&owner);
    QTest::keyClick(&w, Qt::Key_Escape);
    QCOMPARE(cancel.count(), 2);
    w.showOver(&owner);
    w.close();
    QCOMPARE(cancel.count(), 3);
    w.showOver(&owner);
    w.hide(); // the window hiding it at the end of a computation is not a cancel
    QCOMPARE(cancel.count(), 3);
}

QTEST_MAIN(ScaleTest)
#include "ScaleTest.moc"
