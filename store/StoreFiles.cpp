#include "store/StoreFiles.h"

#include "common/Cp1251.h"
#include "common/LittleEndian.h"

#include <algorithm>

namespace selva {

namespace {

std::string_view asChars(const unsigned char* p, std::size_t n)
{
    return std::string_view(reinterpret_cast<const char*>(p), n);
}

std::string checksumBytes(std::uint32_t sum)
{
    unsigned char b[4];
    le::putU32(b, sum);
    return std::string(asChars(b, 4));
}

} // namespace

std::uint32_t byteSum(std::string_view bytes)
{
    std::uint32_t sum = 0; // wraps modulo 2^32 like the stored 32-bit value
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    return sum;
}

std::string encodeSettingsFile(const TSettingsRecord& record)
{
    const SettingsBytes data = encodeSettingsRecord(record);
    const std::string_view body = asChars(data.data(), data.size());
    std::string out;
    out.reserve(SettingsFileSize);
    out.append(SettingsFileHeader);
    out.append(checksumBytes(byteSum(body)));
    out.append(body);
    return out;
}

std::optional<TSettingsRecord> decodeSettingsFile(std::string_view bytes)
{
    const std::size_t dataStart = SettingsFileHeader.size() + 4;
    if (bytes.size() != SettingsFileSize)
        return std::nullopt;
    const std::uint32_t stored =
        le::getU32(reinterpret_cast<const unsigned char*>(bytes.data()) + SettingsFileHeader.size());
    const std::string_view body = bytes.substr(dataStart);
    if (byteSum(body) != stored)
        return std::nullopt;
    SettingsBytes data;
    std::copy(body.begin(), body.end(), reinterpret_cast<char*>(data.data()));
    return decodeSettingsRecord(data);
}

std::string encodeNotes(const ProjectNotes& notes)
{
    std::string out;
    for (const std::string& line : notes) {
        out += utf8ToCp1251(line);
        out += "\r\n";
    }
    return out;
}

ProjectNotes decodeNotes(std::string_view cp1251)
{
    ProjectNotes lines;
    std::size_t i = 0;
    while (i < cp1251.size()) {
        std::size_t end = i;
        while (end < cp1251.size() && cp1251[end] != '\r' && cp1251[end] != '\n')
            ++end;
        lines.push_back(cp1251ToUtf8(cp1251.substr(i, end - i)));
        // Skip the line break: CR LF counts as one, a lone CR or LF as one each.
        if (end < cp1251.size() && cp1251[end++] == '\r' && end < cp1251.size() && cp1251[end] == '\n')
            ++end;
        i = end;
    }
    return lines;
}

std::string encodeProjectFile(const TProjectRecord& record, const ProjectNotes& notes)
{
    const ProjectBytes data = encodeProjectRecord(record);
    std::string body(asChars(data.data(), data.size()));
    body += encodeNotes(notes);
    std::string out;
    out.reserve(ProjectFileHeader.size() + 4 + body.size());
    out.append(ProjectFileHeader);
    out.append(checksumBytes(byteSum(body)));
    out.append(body);
    return out;
}

std::optional<ProjectFileContent> decodeProjectFile(std::string_view bytes)
{
    const std::size_t dataStart = ProjectFileHeader.size() + 4;
    if (bytes.size() < ProjectFileMinSize)
        return std::nullopt;
    const std::uint32_t stored =
        le::getU32(reinterpret_cast<const unsigned char*>(bytes.data()) + ProjectFileHeader.size());
    const std::string_view body = bytes.substr(dataStart);
    if (byteSum(body) != stored)
        return std::nullopt;
    ProjectBytes data;
    std::copy_n(body.begin(), data.size(), reinterpret_cast<char*>(data.data()));
    ProjectFileContent content;
    content.record = decodeProjectRecord(data);
    content.notes = decodeNotes(body.substr(data.size()));
    return content;
}

std::string ProjectFileProblem(std::string_view bytes, bool tooLarge)
{
    if (tooLarge)
        return "файл больше " + std::to_string(ProjectFileMaxSize >> 20) +
               " МБ: это не проект, или он поврежден";
    if (bytes.empty())
        return "файл пуст";
    if (bytes.size() < ProjectFileMinSize)
        return "файл короче любого проекта (" + std::to_string(bytes.size()) + " байт, а нужно не меньше " +
               std::to_string(ProjectFileMinSize) + "): это не проект, или он поврежден";
    const std::uint32_t stored =
        le::getU32(reinterpret_cast<const unsigned char*>(bytes.data()) + ProjectFileHeader.size());
    if (byteSum(bytes.substr(ProjectFileHeader.size() + 4)) != stored)
        return "контрольная сумма не совпадает: файл проекта поврежден";
    return {};
}

} // namespace selva
