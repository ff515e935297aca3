#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace selva {

// Writes a file through a temporary file in the same folder that is flushed, synced and renamed over
// the target only when everything was written, so a crash or a full disk never leaves a half-written
// file where a good one was. Dropping the writer without commit() removes the temporary file.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file beside `target`. False (with errorText()) when it cannot.
    bool open(const std::string& target);
    bool write(std::string_view bytes);
    // Flushes, syncs, closes and renames into place; false when any write or the rename failed, and
    // then the target is untouched.
    bool commit();
    void abandon();

    bool isOpen() const { return file_ != nullptr; }
    const std::string& errorText() const { return error_; }
    const std::string& tempName() const { return temp_; }

private:
    std::FILE* file_ = nullptr;
    std::string target_;
    std::string temp_;
    std::string error_;
    bool failed_ = false;
};

// The whole file at once. False with `error` filled when it could not be written.
bool writeFileAtomically(const std::string& target, std::string_view bytes, std::string* error = nullptr);

}  // namespace selva
