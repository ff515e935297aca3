// The analysis window on a real display with a window manager (run under with-display.sh): input goes
// through the X server with xdotool, as a user's does, windows are framed, resized and maximised by the
// window manager, and the chart repaints at every size. Offscreen runs none of that.

#include "analysis/ui/TfrmMain.h"
#include "analysis/ui/ThrustChart.h"
#include "sound/WaveSynth.h"
#include "store/ui/TfrmScale.h"
#include "support/FindControl.h"
#include "workspace/Workspace.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace selva;

namespace {

// An hour of rest at 8700 Hz with a one-second firing at 8460 Hz (80 N on the sensor below) at 1800 s.
QByteArray hourRecord()
{
    QByteArray text = "FREQ\r\nhour\r\n360000\r\n0.01\r\n---------------\r\nSTART\r\n";
    text.reserve(text.size() + 360000 * 10);
    for (int i = 0; i < 360000; ++i)
        text += (i >= 180000 && i < 180100 ? "8460.000\r\n" : "8700.000\r\n");
    return text;
}

const QByteArray kSensors = "START\r\n1\t8700\t0\tStand\r\n1\t8460\t80\t\r\n\r\n";

void writeBytes(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Runs xdotool and lets the window handle what it sent.
void xdo(const QStringList& args, int settleMs = 60)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), args), 0);
    QTest::qWait(settleMs);
}

void clickAt(const QPoint& global)
{
    xdo({"mousemove", QString::number(global.x()), QString::number(global.y()), "click", "1"});
}

void click(QWidget* w)
{
    QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
    clickAt(w->mapToGlobal(w->rect().center()));
}

} // namespace

class MainWindowDisplayTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void navigationWheelAndRectangle();
    void resizeMaximiseAndUnits();
    void sourceSwitches();
    void newtonsProjectFromCommandLine();
    void placementComesBackWhereItWas();

private:
    template <class T> T* find(const char* name) { return test::control<T>(win.get(), name); }
    QString path(const char* name) const { return dir->filePath(QString::fromLatin1(name)); }
    void makeWindow();
    ThrustChart* chart() { return find<ThrustChart>("Chart1"); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<Workspace> ws;
    std::unique_ptr<TfrmMain> win;
    std::unique_ptr<TfrmScale> scale;
    QStringList messages;
};

void MainWindowDisplayTest::makeWindow()
{
    MainDialogs d = MainDialogs::standard();
    d.information = [this](QWidget*, const QString& t) { messages.append(t); };
    d.warning = [this](QWidget*, const QString& t) { messages.append(t); };
    d.askYesNoCancel = [](QWidget*, const QString&) { return 1; };
    if (!ws) {
        ws = std::make_unique<Workspace>();
        ws->store.defaultSettingsFileName = path("test.rsr").toStdString();
    }
    win = std::make_unique<TfrmMain>(*ws, path("hour.sns").toStdString(), d);
    scale = std::make_unique<TfrmScale>(win.get());
    win->setProgressWindow(scale.get());
    win->show();
    QVERIFY(QTest::qWaitForWindowExposed(win.get()));
    QTest::qWait(200);
}

void MainWindowDisplayTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    writeBytes(path("hour.frq"), hourRecord());
    writeBytes(path("hour.sns"), kSensors);
    messages.clear();
    makeWindow();
    win->OpenSource(path("hour.frq"));
    QTest::qWait(100);
}

void MainWindowDisplayTest::cleanup()
{
    scale.reset();
    win.reset();
    ws.reset();
}

void MainWindowDisplayTest::navigationWheelAndRectangle()
{
    QCOMPARE(ws->state.PointCount, 360000u);
    // Every navigation button, several times, on both axes.
    for (const char* name : {"sbHIn", "sbHIn", "sbHOut", "sbHRight", "sbHRightPage", "sbHLeft", "sbHLeftPage",
                             "sbHEnd", "sbHStart", "sbHSee", "sbVIn", "sbVIn", "sbVOut", "sbVUp", "sbVUpPage",
                             "sbVDown", "sbVDownPage", "sbVTop", "sbVBottom", "sbVSee", "btnSee", "btnRedraw"})
        click(find<QAbstractButton>(name));
    for (int i = 0; i < 4; ++i)
        click(find<QAbstractButton>("sbVIn")); // the value axis in, four times running
    QVERIFY(chart()->timeAutomatic());
    // "+" reaches the one-second burn of the hour in a dozen clicks.
    for (int i = 0; i < 12; ++i)
        click(find<QAbstractButton>("sbHIn"));
    QVERIFY2(chart()->timeRange().span() < 1.0, qPrintable(QString::number(chart()->timeRange().span())));
    click(find<QAbstractButton>("btnSee"));
    // The wheel over the burn, away from the user: zooms in about the pointer.
    const QRectF plot = chart()->plot().plotArea();
    const QPoint burn = chart()->mapToGlobal(
        chart()->mapFromScene(chart()->chart()->mapToScene(QPointF(plot.center().x(), plot.center().y()))));
    const double before = chart()->timeRange().span();
    xdo({"mousemove", QString::number(burn.x()), QString::number(burn.y()), "click", "--repeat", "6", "--delay",
         "30", "4"},
        200);
    const AxisSpan t = chart()->timeRange();
    QVERIFY2(t.span() < before / 4, qPrintable(QString("%1 of %2").arg(t.span()).arg(before)));
    QVERIFY(t.min < 1800 && t.max > 1800);
    xdo({"click", "--repeat", "12", "--delay", "30", "5"}, 200); // and back out
    QCOMPARE(chart()->timeRange().min, 0.0);
    // A rectangle dragged across the plot zooms to it.
    const QPoint a = chart()->mapToGlobal(QPoint(int(plot.left() + plot.width() * 0.4), int(plot.top() + 20)));
    const QPoint b =
        chart()->mapToGlobal(QPoint(int(plot.left() + plot.width() * 0.6), int(plot.bottom() - 20)));
    xdo({"mousemove", QString::number(a.x()), QString::number(a.y()), "mousedown", "1", "mousemove",
         QString::number((a.x() + b.x()) / 2), QString::number((a.y() + b.y()) / 2), "mousemove",
         QString::number(b.x()), QString::number(b.y()), "mouseup", "1"},
        200);
    QVERIFY(!chart()->timeAutomatic());
    QVERIFY(chart()->timeRange().span() < 3600 * 0.3);
    // A double click on the axis area shows everything again.
    const QPoint axis = chart()->mapToGlobal(QPoint(int(plot.left() / 2), int(plot.center().y())));
    xdo({"mousemove", QString::number(axis.x()), QString::number(axis.y()), "click", "--repeat", "2", "--delay",
         "60", "1"},
        200);
    QVERIFY(chart()->timeAutomatic() && chart()->valueAutomatic());
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
}

void MainWindowDisplayTest::resizeMaximiseAndUnits()
{
    auto* combo = find<QComboBox>("lbxSensor");
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    for (const char* marker : {"s2", "s3", "s4", "sMiddleLine"})
        click(find<QAbstractButton>(marker));
    const QString id = QString::number(win->winId());
    const QList<QSize> sizes = {{800, 600}, {640, 480}, {1200, 950}, {500, 400}, {1100, 800}};
    for (const QSize& s : sizes) {
        xdo({"windowsize", id, QString::number(s.width()), QString::number(s.height())}, 250);
        if (s == QSize(800, 600)) // the controls column scrolls, so a laptop's screen holds the window
            QCOMPARE(win->size(), s);
        click(find<QCheckBox>("cbxN")); // units switched with every marker shown
        click(find<QAbstractButton>("sbHIn"));
        click(find<QAbstractButton>("sbVIn"));
    }
    win->showMaximized();
    QTRY_VERIFY(win->isMaximized());
    QTest::qWait(300);
    click(find<QCheckBox>("cbxN"));
    click(find<QAbstractButton>("sbVIn"));
    win->showNormal();
    QTRY_VERIFY(!win->isMaximized());
    QTest::qWait(300);
    QVERIFY(chart()->plot().plotArea().width() > 100);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
}

void MainWindowDisplayTest::sourceSwitches()
{
    WaveSynthOptions o;
    o.durationSeconds = 4;
    o.sampleRate = 22050;
    o.channels = 2;
    WriteSynthWave(path("firing.wav").toStdString(), o, [](double t) { return t > 1 && t < 2 ? 8460.0 : 8700.0; });
    click(find<QAbstractButton>("sbHIn"));
    for (int i = 0; i < 3; ++i) {
        win->OpenSource(path("firing.wav"));
        QTest::qWait(100);
        click(find<QAbstractButton>("rbtnChannelL"));
        click(find<QAbstractButton>("sbHIn"));
        win->OpenSource(path("hour.frq"));
        QTest::qWait(100);
        click(find<QAbstractButton>("sbVIn"));
    }
    QCOMPARE(ws->state.PointCount, 360000u);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
}

// A project saved with "в ньютонах" ticked, opened at start as the command line names it.
void MainWindowDisplayTest::newtonsProjectFromCommandLine()
{
    auto* combo = find<QComboBox>("lbxSensor");
    combo->setCurrentIndex(1);
    emit combo->activated(1);
    click(find<QAbstractButton>("s2"));
    find<QCheckBox>("cbxN")->setChecked(true);
    QVERIFY(win->saveProject(path("newtons.proj")));
    cleanup();
    makeWindow();
    win->OpenSource(path("newtons.proj"));
    QTest::qWait(300);
    QVERIFY(find<QCheckBox>("cbxN")->isChecked());
    click(find<QAbstractButton>("sbVIn"));
    click(find<QAbstractButton>("sbHIn"));
    win->showMaximized();
    QTRY_VERIFY(win->isMaximized());
    QTest::qWait(200);
    QVERIFY(chart()->hasData());
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
}

// The window is where it was left, run after run, and never off the screen.
void MainWindowDisplayTest::placementComesBackWhereItWas()
{
    const QString id = QString::number(win->winId());
    xdo({"windowmove", id, "150", "120"}, 300);
    const QRect frame = win->frameGeometry();
    const QSize size = win->size();
    for (int run = 0; run < 3; ++run) {
        win->close(); // saves the settings with the placement
        cleanup();
        makeWindow();
        QTest::qWait(300);
        QCOMPARE(win->frameGeometry().topLeft(), frame.topLeft());
        QCOMPARE(win->size(), size);
    }
    // Stored far off every screen: back on the primary screen. Stored with its bottom past the screen's
    // edge (a smaller screen since): moved up until the whole window is on it.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const TWindowPlacement stored[] = {{5000, 7000, 900, 700}, {screen.bottom() - 200, 100, 700, 600}};
    for (const TWindowPlacement& p : stored) {
        win->close();
        cleanup();
        {
            SettingsStore store;
            QVERIFY(store.ReadSettingsFile(path("test.rsr").toStdString()) == StoreLoad::Loaded);
            store.settings.mainPlacement = p;
            QVERIFY(store.WriteSettingsFile(path("test.rsr").toStdString()));
        }
        makeWindow();
        QTest::qWait(300);
        const QRect f = win->frameGeometry();
        const QString where = QString("%1,%2 %3x%4").arg(f.left()).arg(f.top()).arg(f.width()).arg(f.height());
        QVERIFY2(screen.contains(f), qPrintable(where));
    }
}

QTEST_MAIN(MainWindowDisplayTest)
#include "MainWindowDisplayTest.moc"
