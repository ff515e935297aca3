#include "store/SettingsStore.h"

#include "common/AtomicFile.h"
#include "common/Error.h"
#include "common/Format.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace selva {

namespace {

// Reads at most `limit` bytes of a regular file. Nothing when it does not exist, is not a regular file,
// cannot be read or is larger than the limit (`tooLarge` tells the last case apart).
std::optional<std::string> readSmallFile(const std::string& name, std::size_t limit, bool& tooLarge)
{
    tooLarge = false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec))
        return std::nullopt;
    const auto size = std::filesystem::file_size(name, ec);
    if (ec)
        return std::nullopt;
    if (size > limit) {
        tooLarge = true;
        return std::nullopt;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // The file may have shrunk since its size was taken: keep what was read.
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::size_t extensionStart(const std::string& fileName)
{
    const std::size_t sep = fileName.find_last_of('/');
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep))
        return std::string::npos;
    return dot;
}

std::string baseName(const std::string& fileName)
{
    const std::size_t sep = fileName.find_last_of('/');
    return sep == std::string::npos ? fileName : fileName.substr(sep + 1);
}

} // namespace

std::string changeFileExt(const std::string& fileName, const std::string& ext)
{
    const std::size_t dot = extensionStart(fileName);
    return (dot == std::string::npos ? fileName : fileName.substr(0, dot)) + ext;
}

std::string fileExtUpper(const std::string& fileName)
{
    const std::size_t dot = extensionStart(fileName);
    return dot == std::string::npos ? std::string() : toUpperAscii(fileName.substr(dot));
}

void SettingsStore::Initialise()
{
    // Copied from defaults built once: GCC 12 at -O3 warns (wrongly) about the strings of a moved-from
    // temporary record.
    static const TSettingsRecord settingsDefaults;
    static const TProjectRecord projectDefaults;
    settings = settingsDefaults;
    project = projectDefaults;
    notes.clear();
    projectFileName.clear();
    settingsFileName.clear();
    projectLoaded = false;
}

std::string SettingsStore::resolveSettingsName(const std::string& name) const
{
    return name.empty() ? defaultSettingsFileName : name;
}

StoreLoad SettingsStore::ReadSettingsFile(const std::string& name)
{
    const std::string file = resolveSettingsName(name);
    if (file.empty())
        return StoreLoad::Missing;
    bool tooLarge = false;
    // A good settings file is exactly 601 bytes; anything larger is damaged and need not be read.
    const auto bytes = readSmallFile(file, SettingsFileSize, tooLarge);
    if (!tooLarge && (!bytes || bytes->empty()))
        return StoreLoad::Missing;
    if (bytes) {
        if (auto record = decodeSettingsFile(*bytes)) {
            settings = std::move(*record);
            return StoreLoad::Loaded;
        }
    }
    // Keep the damaged file for whoever wants to look at it; the next save writes a good one.
    std::error_code ec;
    std::filesystem::rename(file, file + ".bad", ec);
    return StoreLoad::Damaged;
}

bool SettingsStore::WriteSettingsFile(const std::string& name, const SaveOptions& options)
{
    const std::string file = resolveSettingsName(name);
    settingsFileName = file;
    if (file.empty())
        return false;
    return writeFileAtomically(file, encodeSettingsFile(settings), nullptr, options);
}

StoreLoad SettingsStore::ReadProjectFile(const std::string& name, std::string* why)
{
    const auto fail = [why](StoreLoad status, std::string text) {
        if (why)
            *why = std::move(text);
        return status;
    };
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(name, ec);
    if (!std::filesystem::exists(st))
        return fail(StoreLoad::Missing, "файл не найден");
    if (!std::filesystem::is_regular_file(st))
        return fail(StoreLoad::Missing, "это не обычный файл");
    bool tooLarge = false;
    const auto bytes = readSmallFile(name, ProjectFileMaxSize, tooLarge);
    if (tooLarge)
        return fail(StoreLoad::Damaged, ProjectFileProblem(std::string_view(), true));
    if (!bytes)
        return fail(StoreLoad::Missing, "файл не читается");
    const std::string problem = ProjectFileProblem(*bytes);
    if (!problem.empty())
        return fail(StoreLoad::Damaged, problem);
    auto content = decodeProjectFile(*bytes);
    if (!content)
        return fail(StoreLoad::Damaged, "файл проекта поврежден");
    project = std::move(content->record);
    notes = std::move(content->notes);
    if (why)
        why->clear();
    return StoreLoad::Loaded;
}

void SettingsStore::WriteProjectFile(const std::string& name, const SaveOptions& options) const
{
    std::string why;
    if (!writeFileAtomically(name, encodeProjectFile(project, notes), &why, options))
        throw Error("Невозможно записать файл " + name + ": " + why);
}

std::string SettingsStore::captionFor(const std::string& fileName)
{
    return CaptionPrefix + baseName(fileName);
}

std::string SettingsStore::SetCaption(const std::string& fileName)
{
    if (fileName.empty())
        projectFileName.clear();
    else
        projectFileName = fileExtUpper(fileName) == ".PROJ" ? fileName : changeFileExt(fileName, ".proj");
    return captionFor(fileName);
}

} // namespace selva
