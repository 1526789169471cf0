#include "ftp/local_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "ftp/id_exceptions.h"

namespace {

#ifdef _WIN32
// Binary mode and 64-bit offsets; the plain calls are text mode and 32-bit.
constexpr int kOpenFlags = O_BINARY;
bool truncateRegular(int fd) {
    struct _stati64 st {};
    if (_fstati64(fd, &st) != 0) return false;
    if ((st.st_mode & _S_IFMT) != _S_IFREG) return true;
    return _chsize_s(fd, 0) == 0;
}
int removeFile(const char* path) { return _unlink(path); }
std::int64_t seekTo(int fd, std::int64_t pos, int whence) { return _lseeki64(fd, pos, whence); }
bool sizeOf(int fd, std::int64_t& size) {
    struct _stati64 st {};
    if (_fstati64(fd, &st) != 0) return false;
    size = st.st_size;
    return true;
}
#else
constexpr int kOpenFlags = O_CLOEXEC;
bool truncateRegular(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) return true;
    return ::ftruncate(fd, 0) == 0;
}
int removeFile(const char* path) { return ::unlink(path); }
std::int64_t seekTo(int fd, std::int64_t pos, int whence) { return ::lseek(fd, static_cast<off_t>(pos), whence); }
bool sizeOf(int fd, std::int64_t& size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    size = static_cast<std::int64_t>(st.st_size);
    return true;
}
#endif

constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::size_t kDirect = 64 * 1024;

std::string describe(const char* what, const std::string& path) {
    return std::string(what) + " \"" + path + "\": " + std::strerror(errno);
}

} // namespace

LocalFile::LocalFile(const std::string& path, Mode mode) : path_(path), writing_(mode != ReadOnly) {
    int flags = kOpenFlags;
    if (mode == ReadOnly) flags |= O_RDONLY;
    else if (mode == CreateTruncate) flags |= O_WRONLY | O_CREAT | O_TRUNC;
    else if (mode == CreateNew) flags |= O_WRONLY | O_CREAT | O_EXCL;
    else if (mode == OpenExisting) flags |= O_WRONLY;
    else flags |= O_WRONLY | O_CREAT | O_APPEND;
    do {
        fd_ = ::open(path.c_str(), flags, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        throw EIdLocalFileError(describe(mode == ReadOnly ? "Cannot open file" : "Cannot create file", path));
    if (mode == Append) {
        std::int64_t end = seekTo(fd_, 0, SEEK_END);
        filePos_ = end < 0 ? 0 : end;
    }
    buf_.resize(kBufferSize);
}

LocalFile::~LocalFile() {
    if (fd_ < 0) return;
    try {
        if (writing_) flush();
    } catch (...) {
        // Close() is the place to learn of a failed write.
    }
    ::close(fd_);
}

void LocalFile::writeAll(const char* data, std::size_t len) {
    while (len > 0) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(len, 1u << 30));
        const auto n = ::write(fd_, data, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            throw EIdLocalFileError(describe("Cannot write", path_));
        }
        data += n;
        len -= static_cast<std::size_t>(n);
        filePos_ += n;
    }
}

void LocalFile::flush() {
    if (used_ == 0) return;
    std::size_t n = used_;
    used_ = 0;
    writeAll(buf_.data(), n);
}

void LocalFile::Write(const char* data, std::size_t len) {
    if (used_ + len > buf_.size()) flush();
    if (len >= kDirect && used_ == 0) {
        writeAll(data, len);
        return;
    }
    std::memcpy(buf_.data() + used_, data, len);
    used_ += len;
}

std::size_t LocalFile::Read(char* out, std::size_t len) {
    if (pos_ == used_) {
        pos_ = used_ = 0;
        char* target = len >= kDirect ? out : buf_.data();
        std::size_t want = len >= kDirect ? len : buf_.size();
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(want, 1u << 30));
        long n;
        do {
            n = static_cast<long>(::read(fd_, target, chunk));
        } while (n < 0 && errno == EINTR);
        if (n < 0) throw EIdLocalFileError(describe("Cannot read", path_));
        filePos_ += n;
        if (target == out) return static_cast<std::size_t>(n);
        used_ = static_cast<std::size_t>(n);
        if (used_ == 0) return 0;
    }
    std::size_t n = std::min(len, used_ - pos_);
    std::memcpy(out, buf_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::int64_t LocalFile::Size() const {
    std::int64_t size = 0;
    if (!sizeOf(fd_, size)) throw EIdLocalFileError(describe("Cannot read", path_));
    return size + (writing_ ? static_cast<std::int64_t>(used_) : 0);
}

std::int64_t LocalFile::Position() const {
    if (writing_) return filePos_ + static_cast<std::int64_t>(used_);
    return filePos_ - static_cast<std::int64_t>(used_ - pos_);
}

void LocalFile::Rewind() {
    if (writing_) flush();
    if (seekTo(fd_, 0, SEEK_SET) < 0) throw EIdLocalFileError(describe("Cannot read", path_));
    filePos_ = 0;
    pos_ = used_ = 0;
}

void LocalFile::Close() {
    if (fd_ < 0) return;
    if (writing_) {
        try {
            flush();
        } catch (...) {
            ::close(fd_);
            fd_ = -1;
            throw;
        }
    }
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 && errno != EINTR) throw EIdLocalFileError(describe("Cannot write", path_));
}

void LocalFile::Truncate() {
    if (writing_) flush();
    if (!truncateRegular(fd_)) throw EIdLocalFileError(describe("Cannot write", path_));
    filePos_ = 0;
}

void LocalFile::Discard() {
    if (fd_ < 0) return;
    used_ = 0;
    ::close(fd_);
    fd_ = -1;
    removeFile(path_.c_str());
}
