#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace selva {

// How a save treats the file it would replace. Every save of the program (projects, settings, sensor
// libraries, exports, pictures, recordings) goes through AtomicFileWriter with these rules:
//   - a symbolic link is followed (through any chain of links) and its target is replaced, so the link
//     stays a link;
//   - a file that is replaced keeps its permissions (and, where the system lets us, its owner);
//   - a target that exists and is not a regular file (a folder, a pipe, a device, a socket) is refused;
//   - a read-only file is replaced only when `confirmReadOnly` says so;
//   - a file that `inUse` names as in use (the open source, the sensor library, the project) is refused.
struct SaveOptions {
    // Asked before a read-only file is replaced (readOnlyQuestion()); true replaces it, keeping it
    // read-only. Unset: a read-only file is refused.
    std::function<bool(const std::string& question)> confirmReadOnly = {};
    // Why this save must not replace the file (empty when it may); given the name as the caller gave it.
    // Workspace::SaveOptionsFor fills it with the workspace's check of the files in use.
    std::function<std::string(const std::string& target)> inUse = {};
    // A new file written where it stands instead of through a temporary file: for a recording in progress,
    // which must be found on the disk after a crash. An existing name is refused (there is nothing to
    // lose then); commit() only flushes, syncs and closes.
    bool newFileInPlace = false;
};

// What a save would replace, for callers that want to know before they write.
struct SaveTarget {
    enum Kind {
        Absent,     // nothing there yet: a new file is created
        Regular,    // a regular file (reached through symbolic links when `path` differs from the name)
        NotRegular, // a folder, a pipe, a device, a socket: never replaced
        Unusable,   // the name cannot be followed (a loop of links, a folder that cannot be read)
    };
    Kind kind = Absent;
    std::string path;      // the file a save would replace: the name with its symbolic links followed
    bool readOnly = false; // a regular file this process may not write, or one with no write permission
    std::string refusal;   // why it is never replaced (NotRegular, Unusable), in the program's words
};
SaveTarget inspectSaveTarget(const std::string& name);

// "Файл <name> только для чтения. Переписать его?"
std::string readOnlyQuestion(const std::string& name);

// Writes a file through a temporary file in the same folder that is flushed, synced and renamed over
// the target only when everything was written, so a crash or a full disk never leaves a half-written
// file where a good one was. Dropping the writer without commit() removes the temporary file.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Checks the target against the rules of SaveOptions and creates the temporary file beside the file
    // it will replace. False (with errorText()) when the target is refused or the file cannot be made.
    bool open(const std::string& target, const SaveOptions& options = {});
    bool write(std::string_view bytes);
    // Flushes, syncs, closes and renames into place; false when any write or the rename failed, and
    // then the target is untouched.
    bool commit();
    void abandon();

    bool isOpen() const { return file_ != nullptr; }
    // The reason alone ("это папка", "Permission denied"); callers put the file name before it.
    const std::string& errorText() const { return error_; }
    // The open file, for writers that go back to fill in sizes (a WAV header). Writes through it are not
    // seen by write()'s error check: such a writer checks its own.
    std::FILE* stream() const { return file_; }
    const std::string& tempName() const { return temp_; }
    // The file the commit replaces (the target with its symbolic links followed).
    const std::string& finalName() const { return final_; }

private:
    std::FILE* file_ = nullptr;
    std::string final_;
    std::string temp_;
    std::string error_;
    bool failed_ = false;
    bool inPlace_ = false;
};

// The whole file at once. False with `error` filled (the reason alone) when it could not be written.
bool writeFileAtomically(const std::string& target, std::string_view bytes, std::string* error = nullptr,
                         const SaveOptions& options = {});

} // namespace selva
