// The progress window: what it shows, the bar, and that every way of closing it asks the computation to
// stop.

#include "store/ui/TfrmScale.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace selva;

class ScaleTest : public QObject {
    Q_OBJECT
private slots:
    void barIsClamped()
    {
        TfrmScale w;
        auto* bar = w.findChild<QProgressBar*>("pbrScale");
        w.setPercent(42);
        QCOMPARE(bar->value(), 42);
        w.setPercent(250);
        QCOMPARE(bar->value(), 100);
        w.setPercent(-3);
        QCOMPARE(bar->value(), 0);
    }

    void everyCloseAsksToCancel()
    {
        QWidget owner;
        owner.resize(800, 600);
        TfrmScale w(&owner);
        QSignalSpy cancel(&w, &TfrmScale::cancelRequested);
        const std::function<void()> closes[] = {[&] { w.findChild<QPushButton*>("btnClose")->click(); },
                                                [&] { QTest::keyClick(&w, Qt::Key_Escape); },
                                                [&] { w.close(); }};
        for (const auto& close : closes) {
            w.showOver(&owner);
            QVERIFY(w.isVisible());
            close();
            QVERIFY(!w.isVisible());
        }
        QCOMPARE(cancel.count(), 3);
        w.showOver(&owner);
        w.hide(); // the window hiding it at the end of a computation is not a cancel
        QCOMPARE(cancel.count(), 3);
    }
};

QTEST_MAIN(ScaleTest)
#include "ScaleTest.moc"
