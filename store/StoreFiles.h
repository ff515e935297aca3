#pragma once

#include "store/Records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace selva {

// The settings file (".rsr") and the project file (".proj") as bytes:
//   settings: "SELVARONDINE RESOURCES v.1.50" (29 bytes), checksum (u32), the 568-byte settings record;
//   project:  "SELVARONDINE PROJECT v.1.50" (27 bytes), checksum (u32), the 1120-byte project record, then
//             the project notes, every line followed by CR LF, in code page 1251.
// The checksum is the 32-bit sum of the bytes after it taken as unsigned bytes. Readers do not compare
// the header text.

inline constexpr std::string_view SettingsFileHeader = "SELVARONDINE RESOURCES v.1.50";
inline constexpr std::string_view ProjectFileHeader = "SELVARONDINE PROJECT v.1.50";
inline constexpr std::size_t SettingsFileSize = SettingsFileHeader.size() + 4 + TSettingsRecord::Size; // 601
inline constexpr std::size_t ProjectFileMinSize = ProjectFileHeader.size() + 4 + TProjectRecord::Size; // 1151
// Project files beyond this size are not read at all (the notes of a real project are a few lines);
// it keeps a stray huge file from being read into memory.
inline constexpr std::size_t ProjectFileMaxSize = 16u << 20;

// The project notes: lines of text, UTF-8 inside the program.
using ProjectNotes = std::vector<std::string>;

std::uint32_t byteSum(std::string_view bytes);

std::string encodeSettingsFile(const TSettingsRecord& record);
// The record, or nothing when the checksum is wrong or the data are not exactly 568 bytes.
std::optional<TSettingsRecord> decodeSettingsFile(std::string_view bytes);

// Each line in code page 1251 followed by CR LF; nothing for no notes.
std::string encodeNotes(const ProjectNotes& notes);
// Lines split at CR, LF or CR LF; a final line break does not start another line.
ProjectNotes decodeNotes(std::string_view cp1251);

std::string encodeProjectFile(const TProjectRecord& record, const ProjectNotes& notes);
struct ProjectFileContent {
    TProjectRecord record;
    ProjectNotes notes;
};
// The record and notes, or nothing when fewer than 1120 data bytes are present or the checksum of all
// data bytes (record and notes) is wrong.
std::optional<ProjectFileContent> decodeProjectFile(std::string_view bytes);
// What is wrong with the bytes of a project file, in the program's words ("файл пуст", a length that
// cannot be a project's, a wrong checksum); empty when they decode. `tooLarge`: the file was not read
// because it is larger than ProjectFileMaxSize.
std::string ProjectFileProblem(std::string_view bytes, bool tooLarge = false);

} // namespace selva
