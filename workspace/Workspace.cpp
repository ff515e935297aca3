#include "workspace/Workspace.h"

#include "common/Format.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace selva {

namespace fs = std::filesystem;

Workspace::Workspace(UserPrompts prompts) : prompts_(std::move(prompts))
{
    // Every save of the library, from whichever window or command, checks the files in use.
    sensors.saveTargetInUse = [this](const std::string& name) {
        return CheckSaveTarget(name, SaveWhat::Library);
    };
}

void Workspace::setPrompts(UserPrompts prompts)
{
    prompts_ = std::move(prompts);
}

// A new source starts without the times, rest lines and mounting of the previous one.
void Workspace::clearForNewSource()
{
    state.StartTime = 0;
    state.EndTime = 0;
    state.RestFreq = 0;
    state.RestThrust = 0;
    state.MotorPosition = MotorHorizontal;
    state.IncludeChargeWeight = false;
}

SourceOpening Workspace::OpenSource(const std::string& fileName, bool reset)
{
    if (fileExtUpper(fileName) != ".PROJ") {
        SourceOpening r = OpenDataSource(fileName, reset);
        if (r.accepted)
            store.notes.clear(); // the notes belonged to the previous analysis
        return r;
    }
    SourceOpening r;
    r.project = true;
    r.load = session.LoadProject(fileName);
    r.accepted = r.load.ok;
    r.kind = state.SourceKind;
    r.description = r.load.sourceDescription;
    if (!r.accepted)
        r.error = r.load.error;
    return r;
}

SourceOpening Workspace::OpenDataSource(const std::string& fileName, bool reset)
{
    SourceOpening r;
    r.error = "Ошибка открытия файла " + fileName;
    const std::string ext = fileExtUpper(fileName);
    // Only regular files: a device, a pipe or a folder would be read for ever or block.
    std::error_code ec;
    const fs::file_status st = fs::status(fileName, ec);
    if (ext == ".PROJ" || !fs::exists(st))
        return r;
    if (!fs::is_regular_file(st)) {
        r.error = "Ошибка открытия файла " + fileName + ": это не обычный файл";
        return r;
    }

    const std::uint8_t previous = state.SourceKind;
    try {
        if (ext == ".FRQ") {
            // A record that cannot be read leaves the previous record (and channel choice) in place.
            if (!freq.LoadFromFile(fileName))
                return r;
            state.SourceKind = SourceFreq;
            state.LeftChannelEnabled = false;
            state.UseLeftChannel = false;
            // The step as the record writes it (0.01, not the single's 0.009999999776): times derived
            // from it then come out as a person reads them. The smallest step is the record's however
            // it was opened (a project opens its source without a reset): a record cannot be resolved
            // finer than it was taken, and a smaller limit left from an earlier source must go.
            const double step = widenSingle(freq.SampleStep);
            state.MinStep = step == 0 ? 0.01 : step;
            if (reset) {
                clearForNewSource();
                if (state.AnalysisStep != step)
                    state.AnalysisStep = step == 0 ? 0.01 : step;
            }
            r.description = "FREQ  " + freq.Describe();
            r.warning = freq.Warning;
        } else {
            // The recording buffer is closed by the attempt: a failed recording leaves none behind.
            if (previous == SourceWave)
                state.SourceKind = SourceNone;
            if (!wave.Open(fileName))
                return r;
            state.SourceKind = SourceWave;
            if (reset) {
                clearForNewSource();
                state.NetThrust = false;
                if (state.AnalysisStep == 0)
                    state.AnalysisStep = 0.01;
            }
            state.LeftChannelEnabled = wave.GetChannels() > 1;
            if (!state.LeftChannelEnabled)
                state.UseLeftChannel = false;
            r.description = "WAV  " + wave.GetDescription();
        }
    } catch (const std::exception& e) {
        // Errors of the readers (a malformed record naming its line, the WAV reader's English messages)
        // say more than "Ошибка открытия файла".
        r.error = e.what();
        return r;
    }
    state.NoiseControlsVisible = state.SourceKind == SourceWave;
    if (!r.warning.empty())
        prompts_.tell(r.warning);
    r.accepted = true;
    r.kind = state.SourceKind;
    r.error.clear();
    ResetViewToSource();
    return r;
}

std::string Workspace::CheckSaveTarget(const std::string& fileName, SaveWhat what) const
{
    std::error_code ec;
    if (fileName.empty() || !fs::exists(fileName, ec))
        return {};
    const auto same = [&](const std::string& inUse) {
        std::error_code e;
        return !inUse.empty() && fs::equivalent(fileName, inUse, e) && !e;
    };
    if (state.SourceKind == SourceFreq && freq.Loaded && same(freq.FileName))
        return "это источник данных анализа";
    if (state.SourceKind == SourceWave && wave.IsLoaded() && same(wave.GetFileName()))
        return "это источник данных анализа";
    if (what != SaveWhat::Library && same(sensors.SensorFileName))
        return "это используемая библиотека датчиков";
    if (what != SaveWhat::Project && same(store.projectFileName))
        return "это текущий проект";
    if (what != SaveWhat::Settings && (same(store.settingsFileName) || same(store.resolveSettingsName({}))))
        return "это файл настроек программы";
    return {};
}

SaveOptions Workspace::SaveOptionsFor(SaveWhat what) const
{
    SaveOptions options;
    options.confirmReadOnly = prompts_.confirmReadOnly;
    options.inUse = [this, what](const std::string& name) { return CheckSaveTarget(name, what); };
    return options;
}

void Workspace::ResetViewToSource()
{
    if (state.SourceKind == SourceWave && wave.IsLoaded() && wave.GetSampleRate() > 0)
        state.RecordDuration = static_cast<double>(wave.GetTotalFrames()) / wave.GetSampleRate();
    else if (state.SourceKind == SourceFreq && freq.Loaded)
        state.RecordDuration = static_cast<double>(freq.RecordCount) * widenSingle(freq.SampleStep);
    state.ViewFrom = 0;
    state.ViewTo = static_cast<float>(state.RecordDuration);
}

void Workspace::ClearSource()
{
    state.SourceKind = SourceNone;
    state.PointCount = 0;
    for (auto* series : {&state.FreqData, &state.FreqError, &state.ThrustData, &state.ThrustError,
                         &state.ThrustNet})
        series->clear();
    analysis.ComputeResults(); // no points: every result 0
}

namespace {

bool writableFolder(const fs::path& dir)
{
    // Probed by creating a file: permission bits say nothing of read-only mounts or of root.
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return false;
    const fs::path probe = dir / ".selvarondine-write-test";
    {
        std::ofstream out(probe);
        if (!out)
            return false;
    }
    fs::remove(probe, ec);
    return true;
}

} // namespace

std::string Workspace::DefaultSettingsFile(const std::string& programDir)
{
    const fs::path beside = fs::path(programDir) / "selvarondine.rsr";
    std::error_code ec;
    const bool fileOk = !fs::exists(beside, ec) ||
                        (fs::status(beside, ec).permissions() & fs::perms::owner_write) != fs::perms::none;
    if (!programDir.empty() && fileOk && writableFolder(programDir))
        return beside.string();
    fs::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        config = fs::path(home) / ".config";
    else
        return beside.string();
    config /= "Selvarondine";
    fs::create_directories(config, ec);
    return (config / "selvarondine.rsr").string();
}

std::string Workspace::LibraryAtStart(const std::string& source, const std::string& settingsFile)
{
    if (!source.empty()) {
        std::error_code ec;
        const std::string beside = changeFileExt(fs::absolute(source, ec).string(), ".sns");
        if (fs::is_regular_file(beside, ec))
            return beside;
    }
    return (fs::path(settingsFile).parent_path() / "Selvarondine.sns").string();
}

} // namespace selva
