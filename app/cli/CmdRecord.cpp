// record: a recording from the data logger without a window, with the acquisition window's automatic
// recording, for test stands run from scripts.
#include "app/cli/Commands.h"

#if SELVA_CLI_DEVICES

#include "app/cli/CliText.h"

#include "common/Error.h"
#include "common/Format.h"
#include "logger/LoggerLink.h"
#include "logger/LoggerRecorder.h"
#include "logger/io/SerialPortTable.h"
#include "store/SettingsStore.h"

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

namespace selva::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int)
{
    interrupted = 1;
}

struct RecordOptions {
    std::string port;
    std::string out;
    std::string settings;
    std::optional<std::uint32_t> rate;
    std::optional<double> step, restTime, endTime, guard;
    std::optional<std::int32_t> excess, endBand;
    double duration = 0;
    bool automatic = false;
};

std::string seconds(double s)
{
    return formatFixed(s, 2) + " s";
}

// Says what the automatic recording does as its state changes.
void reportState(const LoggerRecorder& r, AutoState from)
{
    const AutoRecordMachine& m = r.machine();
    const double h = r.config().step;
    switch (r.autoState()) {
    case AutoState::WaitStart:
        std::cerr << "rest line " << formatFixed(m.restLine(), 3) << " over " << r.counts().rest
                  << " readings; waiting for the start\n";
        break;
    case AutoState::Started:
        std::cerr << "start at reading " << m.startIndex() << " (" << seconds(m.startIndex() * h)
                  << "), recording from " << r.counts().guard << " readings before it\n";
        break;
    case AutoState::Guard:
        std::cerr << "end of thrust at reading " << m.endReference() << " (" << seconds(m.endReference() * h)
                  << "); guard interval of " << r.counts().guard << " readings\n";
        break;
    case AutoState::Idle:
        if (from == AutoState::Guard)
            std::cerr << "end of the recording\n";
        break;
    default:
        break;
    }
}

int runRecord(const RecordOptions& o)
{
    int argc = 1;
    char name[] = "selvarondine-cli";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    SettingsStore store;
    if (!o.settings.empty()) {
        const StoreLoad loaded = store.ReadSettingsFile(o.settings);
        if (loaded != StoreLoad::Loaded) {
            std::cerr << (loaded == StoreLoad::Missing ? "Cannot read the settings file "
                                                       : "Damaged settings file ")
                      << o.settings << '\n';
            return kExitFailure;
        }
    }
    TLoggerBlock block = store.settings.logger;
    TAutoRecordBlock thresholds = store.settings.autoRecord;
    if (o.rate)
        block.dcb.BaudRate = *o.rate;
    const double step = o.step ? *o.step : widenSingle(block.accur);
    if (o.excess)
        thresholds.freqUp = *o.excess;
    if (o.endBand)
        thresholds.freqEnd = *o.endBand;
    if (o.restTime)
        thresholds.deadTime = static_cast<float>(*o.restTime);
    if (o.endTime)
        thresholds.endTime = static_cast<float>(*o.endTime);
    if (o.guard)
        thresholds.bufLen = static_cast<float>(*o.guard);
    if (!(step > 0)) {
        std::cerr << "The step must be positive\n";
        return kExitFailure;
    }

    LoggerRecorder::Config config;
    config.step = step;
    config.refresh = block.refresh > 0 ? widenSingle(block.refresh) : 0.3;
    // No display here: the window only has to hold what the automatic recording looks back over.
    config.window = std::max<double>(widenSingle(block.window), thresholds.deadTime + thresholds.endTime +
                                                                    thresholds.bufLen + config.refresh + 1);
    config.thresholds = thresholds;

    std::filesystem::path folder = std::filesystem::path(o.out).parent_path();
    if (folder.empty())
        folder = ".";

    LoggerLink link;
    SerialPortTable ports;
    const int index = ports.AddPortByPath(QString::fromStdString(o.port));
    try {
        ports.OpenExclusive(index, block, link);
    } catch (const Error& e) {
        std::cerr << e.what() << '\n';
        return kExitFailure;
    }

    std::vector<FinishedRecording> finished;
    LoggerRecorder recorder(config,
                            [&link](float* out, std::size_t max) { return link.readings.pop(out, max); });
    recorder.setFolder(folder.string());
    recorder.onFinished = [&finished](const FinishedRecording& f) { finished.push_back(f); };
    if (!(o.automatic ? recorder.pressAuto() : recorder.pressRecord())) {
        std::cerr << "Cannot create a temporary recording: " << recorder.errorText() << '\n';
        return kExitFailure;
    }
    std::cerr << "recording from " << o.port << (o.automatic ? ": measuring the rest line\n" : "\n");

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(o.duration > 0 ? o.duration : 1e9));
    const auto tick = std::chrono::duration<double>(config.refresh);
    std::string lost;
    AutoState state = recorder.autoState();
    while (finished.empty()) {
        std::this_thread::sleep_for(tick);
        recorder.tick();
        if (recorder.autoState() != state) {
            reportState(recorder, state);
            state = recorder.autoState();
        }
        if (!finished.empty())
            break;
        if (link.state() == LoggerLink::ReaderState::Failed) {
            lost = link.failure();
            recorder.stopRecording();
            break;
        }
        if (interrupted || Clock::now() >= deadline) {
            recorder.stopRecording();
            break;
        }
    }
    ports.CloseCurrent();
    if (link.readings.dropped() > 0)
        std::cerr << link.readings.dropped() << " readings were lost: the recording fell behind the logger\n";
    if (!lost.empty())
        std::cerr << "The port " << o.port << " was lost: " << lost << "\n";

    if (finished.empty()) {
        std::cerr << (o.automatic ? "No firing was detected; nothing was written\n"
                                  : "Nothing was recorded\n");
        return kExitFailure;
    }
    const SavedRecording saved = saveRecording(finished.front(), o.out, folder.string(), {});
    if (!saved.ok) {
        std::cerr << saved.error << '\n';
        return kExitFailure;
    }
    std::cerr << "readings written: " << saved.readings << " to " << saved.fileName << '\n';
    return lost.empty() ? kExitOk : kExitFailure;
}

} // namespace

void registerRecordCommands(CLI::App& app, CommandList& commands)
{
    auto o = std::make_shared<RecordOptions>();
    CLI::App* sub = app.add_subcommand(
        "record",
        "Record from the data logger into a frequency record: everything for --duration seconds, or "
        "with --auto a firing found as the acquisition window finds it (rest line, start, end, guard "
        "interval). Thresholds and step come from the options, else from --settings, else the "
        "defaults");
    sub->add_option("--port", o->port, "the logger's serial port (a device path)")->required();
    sub->add_option("--out", o->out, "the frequency record to write (.frq)")->required();
    sub->add_option("--settings", o->settings, "settings file (.rsr) with the logger's line and thresholds");
    sub->add_option("--rate", o->rate, "bit rate")->check(CLI::Range(50u, 4000000u));
    sub->add_option("--step", o->step, "time between readings, s")->check(Finite & CLI::PositiveNumber);
    sub->add_flag("--auto", o->automatic, "record a firing automatically");
    sub->add_option("--rest-time", o->restTime, "rest line measurement, s")->check(Finite & CLI::NonNegativeNumber);
    sub->add_option("--excess", o->excess, "excess over the rest line that marks the start, reading units");
    sub->add_option("--end-band", o->endBand, "range around the rest line that marks the end, reading units");
    sub->add_option("--end-time", o->endTime, "time the readings must stay in that range, s")
        ->check(Finite & CLI::NonNegativeNumber);
    sub->add_option("--guard", o->guard, "guard interval kept before the start and after the end, s")
        ->check(Finite & CLI::NonNegativeNumber);
    sub->add_option(
           "--duration", o->duration,
           "end after this many seconds at the latest (without it: when interrupted, or when --auto ends)")
        ->check(NotNaN & CLI::PositiveNumber);
    commands.add(sub, [o]() { return runRecord(*o); });
}

} // namespace selva::cli

#else

namespace selva::cli {

// A build without the device layer has no serial port: no record command.
void registerRecordCommands(CLI::App&, CommandList&) {}

} // namespace selva::cli

#endif
