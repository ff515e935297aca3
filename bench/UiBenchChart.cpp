// The chart with a 400 001-point record: the redraw that follows a marker edit, and one scroll step,
// each including the repaint of the chart. Both must stay well under a frame (16 ms).

#include "analysis/ui/TfrmMain.h"
#include "analysis/ui/ThrustChart.h"
#include "common/Format.h"
#include "workspace/Workspace.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace selva;

namespace {

constexpr std::uint32_t kPoints = 400001;

struct Fixture {
    Workspace ws;
    std::unique_ptr<TfrmMain> win;
    ThrustChart* chart = nullptr;
    QImage canvas{1000, 600, QImage::Format_ARGB32_Premultiplied};

    Fixture()
    {
        ws.store.defaultSettingsFileName = QDir::temp().filePath("selva-bench.rsr").toStdString();
        // A firing every 40 s with noise, at 0.01 s.
        const QString record = QDir::temp().filePath("selva-bench-chart.frq");
        {
            std::string text = "FREQ\r\nbench\r\n" + std::to_string(kPoints) + "\r\n0.01\r\n---------------\r\nSTART\r\n";
            for (std::uint32_t i = 0; i < kPoints; ++i)
                text += formatFixed(8700 - ((i % 4000) > 1000 && (i % 4000) < 2000 ? 240 : 0) + std::sin(i * 0.7) * 3,
                                    3) + "\r\n";
            std::FILE* out = std::fopen(record.toStdString().c_str(), "wb");
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
        }
        MainDialogs d = MainDialogs::standard();
        d.information = d.warning = [](QWidget*, const QString&) {};
        win = std::make_unique<TfrmMain>(ws, "", d);
        win->resize(1280, 900);
        win->show();
        chart = win->findChild<ThrustChart*>("Chart1");
        win->OpenSource(record);
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
        f.ws.state.StartTime = t;
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
