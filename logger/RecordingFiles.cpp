#include "logger/RecordingFiles.h"

#include "common/AtomicFile.h"
#include "common/Cp1251.h"
#include "common/Format.h"
#include "common/LittleEndian.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace selva {

namespace fs = std::filesystem;

namespace {

bool exists(const std::string& name)
{
    std::error_code ec;
    return fs::exists(fs::path(name), ec);
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : (fs::path(folder) / name).string();
}

} // namespace

std::string tempRecordingName(int n)
{
    return "data_tmp_" + std::to_string(n) + ".bin";
}

TempRecording::~TempRecording()
{
    close();
}

void TempRecording::setError()
{
    failed_ = true;
    if (error_.empty())
        error_ = std::strerror(errno);
}

bool TempRecording::create(const std::string& folder, int first)
{
    close();
    failed_ = false;
    error_.clear();
    count_ = 0;
    if (first < 0) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
        first = static_cast<int>((ms % 1000) / 10);
    }
    for (int i = 0; i < 100; ++i) {
        const std::string name = joinPath(folder, tempRecordingName((first + i) % 100));
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error_ = name + ": " + std::strerror(errno);
            return false;
        }
        // Held until the file is closed: the leftover search passes over a locked recording.
        ::flock(fd, LOCK_EX | LOCK_NB);
        file_ = ::fdopen(fd, "wb");
        if (file_ == nullptr) {
            error_ = name + ": " + std::strerror(errno);
            ::close(fd);
            std::remove(name.c_str());
            return false;
        }
        name_ = name;
        return true;
    }
    error_ = "No free name for a temporary recording in " + (folder.empty() ? std::string(".") : folder);
    return false;
}

bool TempRecording::append(const float* readings, std::size_t count)
{
    if (file_ == nullptr || failed_)
        return false;
    unsigned char buffer[4096];
    std::size_t done = 0;
    while (done < count) {
        const std::size_t n = std::min(count - done, sizeof buffer / 4);
        for (std::size_t i = 0; i < n; ++i)
            le::putF32(buffer + 4 * i, readings[done + i]);
        if (std::fwrite(buffer, 4, n, file_) != n) {
            setError();
            return false;
        }
        done += n;
        count_ += n;
        dirty_ = true;
    }
    return true;
}

bool TempRecording::flush()
{
    if (file_ == nullptr || !dirty_)
        return !failed_;
    dirty_ = false;
    if (std::fflush(file_) != 0 || (::fdatasync(::fileno(file_)) != 0 && errno != EINVAL))
        setError();
    return !failed_;
}

bool TempRecording::close()
{
    if (file_ == nullptr)
        return !failed_;
    flush();
    if (std::fclose(file_) != 0 && !failed_)
        setError();
    file_ = nullptr;
    return !failed_;
}

std::vector<LeftoverRecording> findLeftoverRecordings(const std::string& folder)
{
    std::vector<LeftoverRecording> found;
    for (int n = 0; n < 100; ++n) {
        const std::string name = joinPath(folder, tempRecordingName(n));
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
            std::error_code ec;
            const auto size = fs::file_size(fs::path(name), ec);
            if (!ec)
                found.push_back({name, static_cast<std::uint64_t>(size / 4)});
            ::flock(fd, LOCK_UN);
        }
        ::close(fd);
    }
    return found;
}

ConversionResult convertRecording(const std::string& tempName, const std::string& outName, double step,
                                  const SaveOptions& options)
{
    ConversionResult result;
    std::FILE* in = std::fopen(tempName.c_str(), "rb");
    if (in == nullptr) {
        result.error = tempName + ": " + std::strerror(errno);
        return result;
    }
    std::error_code ec;
    const auto size = fs::file_size(fs::path(tempName), ec);
    const std::uint64_t count = ec ? 0 : size / 4;

    AtomicFileWriter out;
    if (!out.open(outName, options)) {
        std::fclose(in);
        result.error = out.errorText();
        return result;
    }
    std::string text = "FREQ\r\n" + utf8ToCp1251(outName) + "\r\n" + std::to_string(count) + "\r\n" +
                       formatFixed(step, 3, 8) + "\r\n---------------\r\nSTART\r\n";
    unsigned char buffer[4 * 8192];
    std::uint64_t done = 0;
    bool ok = true;
    while (ok && done < count) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, sizeof buffer / 4));
        const std::size_t got = std::fread(buffer, 4, want, in);
        for (std::size_t i = 0; i < got; ++i) {
            text += formatFixed(le::getF32(buffer + 4 * i), 3, 8);
            text += "\r\n";
        }
        done += got;
        ok = out.write(text);
        text.clear();
        if (got < want) {
            // The file shrank under us: what the header counted is no longer there.
            result.error =
                tempName + ": " + (std::ferror(in) ? std::strerror(errno) : "unexpected end of file");
            ok = false;
        }
    }
    if (ok && count == 0)
        ok = out.write(text);
    std::fclose(in);
    if (!ok) {
        if (result.error.empty())
            result.error = out.errorText();
        out.abandon();
        return result;
    }
    if (!out.commit()) {
        result.error = out.errorText();
        return result;
    }
    result.ok = true;
    result.readings = count;
    return result;
}

std::string freeNameBeside(const std::string& name)
{
    if (!exists(name))
        return name;
    const fs::path path(name);
    const std::string stem = (path.parent_path() / path.stem()).string();
    const std::string ext = path.extension().string();
    for (int k = 1;; ++k) {
        const std::string candidate = stem + "_" + std::to_string(k) + ext;
        if (!exists(candidate))
            return candidate;
    }
}

std::string chooseRecordingName(const std::string& name, const std::string& folder,
                                const SaveNamePrompts& prompts)
{
    const auto tell = [&](const std::string& text) {
        if (prompts.tell)
            prompts.tell(text);
    };
    const auto choose = [&](const std::string& proposed) -> std::optional<std::string> {
        if (!prompts.chooseName)
            return std::nullopt;
        auto chosen = prompts.chooseName(proposed);
        if (chosen && chosen->empty())
            return std::nullopt;
        return chosen;
    };

    if (name.empty()) {
        if (auto chosen = choose(joinPath(folder, "")))
            return *chosen;
        const std::string fallback = freeNameBeside(joinPath(folder, "data.frq"));
        tell("Имя файла не задано. Запись сохранена в файл " + fallback);
        return fallback;
    }
    if (!exists(name))
        return name;
    if (!prompts.confirm || prompts.confirm("Файл " + name + " уже сущесвтует. Перезаписать его ?"))
        return name;
    if (auto chosen = choose(name))
        return *chosen;
    const std::string fallback = freeNameBeside(name);
    tell("Файл " + name + " оставлен без изменений. Запись сохранена в файл " + fallback);
    return fallback;
}

} // namespace selva
