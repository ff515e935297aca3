#include "sound/RecordingFiles.h"

#include "common/AtomicFile.h"

#include "common/LittleEndian.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace selva {

void RecordingTarget::set(const std::string& fullPath)
{
    path = fullPath;
    shortName = fs::path(fullPath).filename().string();
}

std::string OverwriteQuestion(const std::string& shortName)
{
    return "Файл " + shortName + " уже сущесвтует. Перезаписать его ?";
}

namespace {

std::string folderOf(const std::string& path)
{
    std::error_code ec;
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? fs::current_path(ec).string() : parent.string();
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

std::string keptMessage(const std::string& tempPath)
{
    return "Запись оставлена во временном файле " + tempPath;
}

} // namespace

bool MoveFileReplacing(const std::string& from, const std::string& to, std::string& error)
{
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec)
        return true;
    if (ec != std::errc::cross_device_link) {
        error = ec.message();
        return false;
    }
    // Another file system: a copy beside the target, renamed into place, then the original goes.
    const std::string part = to + ".part";
    fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(part, to, ec);
    if (ec) {
        error = ec.message();
        std::error_code ignored;
        fs::remove(part, ignored);
        return false;
    }
    fs::remove(from, ec);
    return true;
}

std::string RecordingTargetRefusal(const std::string& target, bool readOnlyAllowed, std::string* resolved)
{
    const SaveTarget t = inspectSaveTarget(target);
    if (resolved)
        *resolved = t.path.empty() ? target : t.path;
    if (t.kind == SaveTarget::NotRegular || t.kind == SaveTarget::Unusable)
        return t.refusal;
    if (t.kind == SaveTarget::Regular && t.readOnly && !readOnlyAllowed)
        return "Файл " + target + " только для чтения";
    return {};
}

SaveOutcome SaveRecording(const std::string& tempPath, RecordingTarget& target,
                          const RecordingPrompts& prompts)
{
    const auto tell = [&](const std::string& text) {
        if (prompts.tell)
            prompts.tell(text);
    };
    const auto choose = [&](const std::string& folder, const std::string& name) {
        return prompts.chooseSaveName ? prompts.chooseSaveName(folder, name) : std::string();
    };

    RecordingTarget wanted = target;
    if (wanted.empty()) {
        std::error_code ec;
        const std::string picked = choose(fs::current_path(ec).string(), std::string());
        if (picked.empty()) {
            tell(keptMessage(tempPath));
            return {false, tempPath};
        }
        wanted.set(picked);
    } else {
        std::error_code ec;
        while (exists(wanted.path) && !fs::equivalent(wanted.path, tempPath, ec)) {
            if (prompts.askOverwrite && prompts.askOverwrite(OverwriteQuestion(wanted.shortName)))
                break;
            const std::string picked = choose(folderOf(wanted.path), wanted.shortName);
            if (picked.empty()) {
                tell(keptMessage(tempPath));
                return {false, tempPath};
            }
            wanted.set(picked);
        }
    }
    // A file that must not be replaced (the source in use, a pipe, a folder) sends the user back to the
    // save dialog, as a refused overwrite does. The overwrite question above was the question for a
    // read-only file too. A symbolic link is followed: the file it leads to takes the recording.
    std::string resolved;
    for (;;) {
        std::string refusal = prompts.inUse ? prompts.inUse(wanted.path) : std::string();
        if (refusal.empty())
            refusal = RecordingTargetRefusal(wanted.path, true, &resolved);
        if (refusal.empty())
            break;
        tell(refusal);
        const std::string picked = choose(folderOf(wanted.path), wanted.shortName);
        if (picked.empty()) {
            tell(keptMessage(tempPath));
            return {false, tempPath};
        }
        wanted.set(picked);
    }
    std::string error;
    if (!MoveFileReplacing(tempPath, resolved, error)) {
        tell("Не удалось переместить запись в файл " + wanted.path + " (" + error + "). " +
             keptMessage(tempPath));
        return {false, tempPath};
    }
    target = wanted;
    return {true, wanted.path};
}

std::vector<std::string> FindLeftoverRecordings(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::current_path(ec) : fs::path(folder), ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string prefix = "wave_tmp_", suffix = ".wav";
        if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string number = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            it->is_regular_file(ec))
            found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

bool RepairRecordingSizes(const std::string& path, LeftoverWave& info, std::string& error)
{
    info = LeftoverWave{path};
    std::error_code ec;
    const std::uint64_t fileSize = fs::file_size(path, ec);
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    if (ec || !f) {
        error = "Unable to open file " + path;
        return false;
    }
    unsigned char head[12];
    if (!f.read(reinterpret_cast<char*>(head), 12) ||
        std::string(reinterpret_cast<char*>(head), 4) != "RIFF" ||
        std::string(reinterpret_cast<char*>(head) + 8, 4) != "WAVE") {
        error = path + " is not a wave file";
        return false;
    }
    // Walk the sub-chunks to "data", trusting no size beyond the file.
    std::uint64_t pos = 12;
    std::uint32_t channels = 0, rate = 0, bits = 0;
    for (;;) {
        unsigned char ck[8];
        f.seekg(std::streamoff(pos));
        if (pos + 8 > fileSize || !f.read(reinterpret_cast<char*>(ck), 8)) {
            error = "No data chunk";
            return false;
        }
        const std::string id(reinterpret_cast<char*>(ck), 4);
        const std::uint32_t size = le::getU32(ck + 4);
        if (id == "data")
            break;
        if (id == "fmt " && size >= 16 && pos + 8 + 16 <= fileSize) {
            unsigned char fmt[16];
            if (!f.read(reinterpret_cast<char*>(fmt), 16))
                break;
            channels = le::getU16(fmt + 2);
            rate = le::getU32(fmt + 4);
            bits = le::getU16(fmt + 14);
        }
        pos += 8 + std::uint64_t{size} + (size & 1u);
    }
    const std::uint32_t frameSize = channels * bits / 8;
    if (frameSize == 0 || rate == 0) {
        error = "Invalid 'fmt ' chunk.";
        return false;
    }
    const std::uint64_t dataStart = pos + 8;
    const std::uint64_t held = std::min<std::uint64_t>(fileSize - dataStart, 0xFFFFFFFFull - dataStart);
    const std::uint64_t dataBytes = held - held % frameSize;
    f.seekg(std::streamoff(pos + 4));
    unsigned char stated[4];
    f.read(reinterpret_cast<char*>(stated), 4);
    const std::uint64_t riffSize = std::min<std::uint64_t>(fileSize - 8, 0xFFFFFFFFull);
    info.dataBytes = dataBytes;
    info.seconds = double(dataBytes) / (double(rate) * frameSize);
    if (le::getU32(stated) == dataBytes && le::getU32(head + 4) == riffSize)
        return true;
    unsigned char size[4];
    le::putU32(size, static_cast<std::uint32_t>(dataBytes));
    f.seekp(std::streamoff(pos + 4));
    f.write(reinterpret_cast<char*>(size), 4);
    le::putU32(size, static_cast<std::uint32_t>(riffSize));
    f.seekp(4);
    f.write(reinterpret_cast<char*>(size), 4);
    f.flush();
    if (!f) {
        error = "Unable to write file " + path;
        return false;
    }
    info.repaired = true;
    return true;
}

void OfferLeftoverRecordings(const std::string& folder, const RecordingPrompts& prompts)
{
    for (const std::string& path : FindLeftoverRecordings(folder)) {
        LeftoverWave info;
        std::string error;
        const std::string name = fs::path(path).filename().string();
        if (!RepairRecordingSizes(path, info, error)) {
            if (prompts.tell)
                prompts.tell("Временная запись " + name + " не открывается: " + error);
            continue;
        }
        std::error_code ec;
        if (info.dataBytes == 0) {
            fs::remove(path, ec);
            continue;
        }
        const auto seconds = static_cast<long long>(std::llround(info.seconds));
        const std::string question = "Найдена запись, не сохранённая при прошлой работе программы: " + name +
                                     " (" + std::to_string(seconds) + " с). Сохранить её?";
        if (prompts.confirm && prompts.confirm(question)) {
            RecordingTarget target;
            const std::string picked =
                prompts.chooseSaveName ? prompts.chooseSaveName(folderOf(path), name) : std::string();
            if (picked.empty())
                continue; // kept where it is, offered again next time
            target.set(picked);
            SaveRecording(path, target, prompts);
        } else if (prompts.confirm && prompts.confirm("Удалить запись " + name + "?")) {
            fs::remove(path, ec);
        }
    }
}

} // namespace selva
