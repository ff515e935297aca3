// The chart with a 400 001-point record: the redraw that follows a marker edit, and one scroll step,
// each including the repaint of the chart. Both must stay well under a frame (16 ms).

#include "analysis/FreqRecord.h"
#include "analysis/ui/TfrmMain.h"
#include "analysis/ui/ThrustChart.h"
#include "sensors/SensorLibrary.h"
#include "sound/Wave.h"
#include "store/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace selva;

namespace {

constexpr std::uint32_t kPoints = 400001;

struct Fixture {
    AnalysisState state;
    SensorLibrary sensors;
    SettingsStore store;
    TFreq freq;
    TWave wave;
    Progress progress;
    std::unique_ptr<TfrmMain> win;
    ThrustChart* chart = nullptr;
    QImage canvas{1000, 600, QImage::Format_ARGB32_Premultiplied};

    Fixture()
    {
        store.defaultSettingsFileName = QDir::temp().filePath("selva-bench.rsr").toStdString();
        MainDialogs d = MainDialogs::standard();
        d.information = [](QWidget*, const QString&) {};
        win = std::make_unique<TfrmMain>(MainContext{state, sensors, store, freq, wave, progress}, "", d);
        win->resize(1280, 900);
        win->show();
        chart = win->findChild<ThrustChart*>("Chart1");
        // A firing every 40 s with noise, at 0.01 s.
        state.AnalysisStep = 0.01;
        state.RecordDuration = (kPoints - 1) * 0.01;
        state.ViewFrom = 0;
        state.ViewTo = static_cast<float>(state.RecordDuration);
        state.PointCount = kPoints;
        state.FreqData.resize(kPoints);
        state.FreqError.assign(kPoints, 0.5);
        for (std::uint32_t i = 0; i < kPoints; ++i)
            state.FreqData[i] =
                8700 - ((i % 4000) > 1000 && (i % 4000) < 2000 ? 240 : 0) + std::sin(i * 0.7) * 3;
        state.StartTime = 10;
        state.EndTime = 20;
        state.MeanFreq = 8500;
        win->RedrawChart();
    }
    void paint()
    {
        QPainter p(&canvas);
        chart->render(&p);
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_RedrawAfterMarkerEdit(benchmark::State& st)
{
    Fixture& f = fixture();
    double t = 10;
    for (auto _ : st) {
        t = t >= 30 ? 10 : t + 0.01;
        f.state.StartTime = t;
        f.win->RedrawChart();
        f.paint();
    }
}
BENCHMARK(BM_RedrawAfterMarkerEdit)->Unit(benchmark::kMillisecond);

void BM_ScrollStep(benchmark::State& st)
{
    Fixture& f = fixture();
    f.chart->setTimeRange({0, 400}); // a tenth of the record in view
    int step = 0;
    for (auto _ : st) {
        f.chart->navigate(++step % 100 == 0 ? TimeNav::Start : TimeNav::Right);
        f.paint();
    }
    f.chart->setTimeAutomatic();
}
BENCHMARK(BM_ScrollStep)->Unit(benchmark::kMillisecond);

void BM_ScrollStepWholeRecord(benchmark::State& st)
{
    Fixture& f = fixture();
    f.chart->setTimeRange({0, 4000});
    for (auto _ : st) {
        f.chart->navigate(TimeNav::Out);
        f.chart->navigate(TimeNav::In);
        f.paint();
    }
    f.chart->setTimeAutomatic();
}
BENCHMARK(BM_ScrollStepWholeRecord)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
