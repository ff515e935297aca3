#include "common/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <unistd.h>

namespace selva {

AtomicFileWriter::~AtomicFileWriter() { abandon(); }

bool AtomicFileWriter::open(const std::string& target)
{
    abandon();
    target_ = target;
    failed_ = false;
    error_.clear();
    std::random_device rd;
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp_ = target + ".tmp" + std::to_string(rd() % 1000000);
        // O_EXCL: never reuse or clobber a file somebody else has there.
        const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            file_ = ::fdopen(fd, "wb");
            if (file_ != nullptr)
                return true;
            ::close(fd);
            break;
        }
        if (errno != EEXIST)
            break;
    }
    error_ = std::strerror(errno);
    temp_.clear();
    return false;
}

bool AtomicFileWriter::write(std::string_view bytes)
{
    if (file_ == nullptr || failed_)
        return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    return !failed_;
}

bool AtomicFileWriter::commit()
{
    if (file_ == nullptr)
        return false;
    if (!failed_ && std::fflush(file_) != 0) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    if (!failed_ && ::fsync(::fileno(file_)) != 0 && errno != EINVAL) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    if (std::fclose(file_) != 0 && !failed_) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    file_ = nullptr;
    if (!failed_ && std::rename(temp_.c_str(), target_.c_str()) != 0) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    if (failed_) {
        std::remove(temp_.c_str());
        temp_.clear();
        return false;
    }
    temp_.clear();
    return true;
}

void AtomicFileWriter::abandon()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        std::remove(temp_.c_str());
        temp_.clear();
    }
}

bool writeFileAtomically(const std::string& target, std::string_view bytes, std::string* error)
{
    AtomicFileWriter w;
    const bool ok = w.open(target) && w.write(bytes) && w.commit();
    if (!ok && error != nullptr)
        *error = w.errorText();
    return ok;
}

}  // namespace selva
