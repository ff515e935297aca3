#include "common/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace selva {

namespace fs = std::filesystem;

namespace {

// As many links as the system itself follows before it gives up (Linux: 40).
constexpr int kMaxLinks = 40;

std::string notRegularText(mode_t mode)
{
    if (S_ISDIR(mode))
        return "это папка, а не файл";
    if (S_ISFIFO(mode))
        return "это именованный канал, а не обычный файл";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "это устройство, а не обычный файл";
    if (S_ISSOCK(mode))
        return "это сокет, а не обычный файл";
    return "это не обычный файл";
}

} // namespace

SaveTarget inspectSaveTarget(const std::string& name)
{
    SaveTarget t;
    fs::path p = name;
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            t.path = p.string();
            if (errno == ENOENT)
                return t; // Absent; a missing folder shows when the file is created
            t.kind = SaveTarget::Unusable;
            t.refusal = std::strerror(errno);
            return t;
        }
        if (S_ISLNK(st.st_mode)) {
            std::error_code ec;
            const fs::path link = fs::read_symlink(p, ec);
            if (ec || links >= kMaxLinks) {
                t.path = p.string();
                t.kind = SaveTarget::Unusable;
                t.refusal = ec ? ec.message() : "слишком много символических ссылок";
                return t;
            }
            // A relative link is relative to the folder the link lies in.
            p = link.is_absolute() ? link : p.parent_path() / link;
            continue;
        }
        t.path = p.string();
        if (!S_ISREG(st.st_mode)) {
            t.kind = SaveTarget::NotRegular;
            t.refusal = notRegularText(st.st_mode);
            return t;
        }
        t.kind = SaveTarget::Regular;
        // access() answers for this process (another owner, a read-only mount); the permission bits say
        // what the owner meant, which root would otherwise override without a word.
        t.readOnly = ::access(p.c_str(), W_OK) != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
        return t;
    }
}

std::string readOnlyQuestion(const std::string& name)
{
    return "Файл " + name + " только для чтения. Переписать его?";
}

AtomicFileWriter::~AtomicFileWriter() { abandon(); }

bool AtomicFileWriter::open(const std::string& target, const SaveOptions& options)
{
    abandon();
    final_.clear();
    failed_ = false;
    inPlace_ = false;
    error_.clear();

    const SaveTarget t = inspectSaveTarget(target);
    if (t.kind == SaveTarget::NotRegular || t.kind == SaveTarget::Unusable) {
        error_ = t.refusal;
        return false;
    }
    if (options.inUse) {
        error_ = options.inUse(target);
        if (!error_.empty())
            return false;
    }

    if (options.newFileInPlace) {
        if (t.kind != SaveTarget::Absent) {
            error_ = "файл уже существует";
            return false;
        }
        const int fd = ::open(t.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 || (file_ = ::fdopen(fd, "wb")) == nullptr) {
            error_ = std::strerror(errno);
            if (fd >= 0) {
                ::close(fd);
                std::remove(t.path.c_str());
            }
            return false;
        }
        final_ = t.path;
        inPlace_ = true;
        return true;
    }

    if (t.kind == SaveTarget::Regular && t.readOnly &&
        !(options.confirmReadOnly && options.confirmReadOnly(readOnlyQuestion(target)))) {
        error_ = "файл только для чтения";
        return false;
    }
    struct stat old {};
    const bool replacing = t.kind == SaveTarget::Regular && ::stat(t.path.c_str(), &old) == 0;

    std::random_device rd;
    for (int attempt = 0; attempt < 16; ++attempt) {
        temp_ = t.path + ".tmp" + std::to_string(rd() % 1000000);
        // O_EXCL: never reuse or clobber a file somebody else has there. A new file gets the usual
        // permissions (the umask applies); a replaced one gets its own below.
        const int fd =
            ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
        if (fd >= 0) {
            if (replacing) {
                // The owner only where the system lets us (root); the mode after it, since a change of
                // owner clears the set-id bits.
                if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
                    ::fchown(fd, old.st_uid, old.st_gid) != 0) {
                    // Not ours to give away: the file becomes ours, with the old permissions.
                }
                ::fchmod(fd, old.st_mode & 07777);
            }
            file_ = ::fdopen(fd, "wb");
            if (file_ != nullptr) {
                final_ = t.path;
                return true;
            }
            error_ = std::strerror(errno);
            ::close(fd);
            std::remove(temp_.c_str());
            temp_.clear();
            return false;
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
    if (inPlace_)
        return !failed_; // the file is where it belongs; what reached it stays
    if (!failed_ && std::rename(temp_.c_str(), final_.c_str()) != 0) {
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
    // A file written in place is kept: it is a recording, and what reached it is all there is.
    if (!temp_.empty()) {
        std::remove(temp_.c_str());
        temp_.clear();
    }
}

bool writeFileAtomically(const std::string& target, std::string_view bytes, std::string* error,
                         const SaveOptions& options)
{
    AtomicFileWriter w;
    const bool ok = w.open(target, options) && w.write(bytes) && w.commit();
    if (!ok && error != nullptr)
        *error = w.errorText();
    return ok;
}

} // namespace selva
