// The POSIX half of the platform file; only one half is compiled.
#include "hostkit/utility/PlatformFile.h"

#if !defined(_WIN32)

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace hostkit {

namespace {

// Largest single transfer asked of the platform: POSIX leaves counts above
// SSIZE_MAX undefined (Linux stops near 2 GiB anyway) and Win32 takes a
// DWORD. Larger requests are split.
constexpr std::size_t kMaxChunk = std::size_t(1) << 30;

// Up to n bytes, a chunk a call: readOnce(done, chunk) makes one system call
// for the bytes after the first done. An interrupted call is made again; a
// call that reads nothing is the end of the file.
template <class ReadOnce>
bool readChunks(std::size_t n, std::size_t *got, PlatformFile::ErrorCode &error, ReadOnce readOnce)
{
    *got = 0;
    while (*got < n) {
        const ssize_t count = readOnce(*got, std::min(n - *got, kMaxChunk));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        if (count == 0)
            break; // end of file
        *got += static_cast<std::size_t>(count);
    }
    error = 0;
    return true;
}

} // namespace


static_assert(sizeof(off_t) >= sizeof(std::int64_t),
              "file offsets must be 64 bits wide (build with _FILE_OFFSET_BITS=64)");

namespace {

int openRetrying(const char *path, int flags, mode_t mode)
{
    for (;;) {
        const int fd = ::open(path, flags, mode);
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

// strerror_r is the XSI one (int) or the GNU one (char *) depending on the
// C library; these two overloads take either.
[[maybe_unused]] const char *strerrorText(int result, const char *buffer)
{
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char *strerrorText(const char *result, const char *)
{
    return result;
}

} // namespace

bool PlatformFile::openForReading(const std::string &path) noexcept
{
    close();
    // O_NONBLOCK only keeps the open of a FIFO from waiting for a writer;
    // it is taken off again so reads block as usual.
    const int fd = openRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        error_ = errno;
        ::close(fd);
        return false;
    }
    // A directory opens for reading on POSIX but is not a file (Windows
    // refuses it too).
    if (S_ISDIR(info.st_mode)) {
        ::close(fd);
        error_ = EISDIR;
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error_ = errno;
        ::close(fd);
        return false;
    }
    handle_ = fd;
    ownsHandle_ = true;
    error_ = 0;
    return true;
}

bool PlatformFile::createForWriting(const std::string &path) noexcept
{
    close();
    const int fd = openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return opened(fd, errno);
}

bool PlatformFile::createNew(const std::string &path) noexcept
{
    close();
    // O_EXCL fails on any existing name and never follows a link there.
    const int fd = openRetrying(path.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return opened(fd, errno);
}

bool PlatformFile::openForWriting(const std::string &path) noexcept
{
    close();
    const int fd = openRetrying(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd < 0)
        return opened(fd, errno);
    struct stat info;
    const ErrorCode notFile = ::fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : EINVAL;
    if (notFile != 0) {
        ::close(fd);
        return opened(invalidHandle(), notFile);
    }
    return opened(fd, 0);
}

bool PlatformFile::read(char *buffer, std::size_t n, std::size_t *got) noexcept
{
    return readChunks(n, got, error_, [&](std::size_t done, std::size_t chunk) {
        return ::read(handle_, buffer + done, chunk);
    });
}

bool PlatformFile::readAt(std::uint64_t offset, char *buffer, std::size_t n,
                          std::size_t *got) noexcept
{
    return readChunks(n, got, error_, [&](std::size_t done, std::size_t chunk) -> ssize_t {
        const std::uint64_t at = offset + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            errno = EOVERFLOW;
            return -1;
        }
        return ::pread(handle_, buffer + done, chunk, static_cast<off_t>(at));
    });
}

bool PlatformFile::write(const char *buffer, std::size_t n) noexcept
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t count = ::write(handle_, buffer + done, std::min(n - done, kMaxChunk));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return false;
        }
        if (count == 0) {
            // No progress and no error code: stop instead of spinning.
            error_ = EIO;
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    error_ = 0;
    return true;
}

bool PlatformFile::tell(std::uint64_t *position) noexcept
{
    // The result decides, not errno: a successful call may leave errno as
    // an earlier call set it.
    const off_t now = ::lseek(handle_, 0, SEEK_CUR);
    if (now == static_cast<off_t>(-1)) {
        error_ = errno;
        return false;
    }
    *position = static_cast<std::uint64_t>(now);
    error_ = 0;
    return true;
}

bool PlatformFile::seek(std::uint64_t position) noexcept
{
    if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        error_ = EOVERFLOW;
        return false;
    }
    if (::lseek(handle_, static_cast<off_t>(position), SEEK_SET) == static_cast<off_t>(-1)) {
        error_ = errno;
        return false;
    }
    error_ = 0;
    return true;
}

bool PlatformFile::size(std::uint64_t *bytes) noexcept
{
    struct stat info;
    if (::fstat(handle_, &info) != 0) {
        error_ = errno;
        return false;
    }
    *bytes = static_cast<std::uint64_t>(info.st_size);
    error_ = 0;
    return true;
}

bool PlatformFile::close() noexcept
{
    bool ok = true;
    if (handle_ != invalidHandle() && ownsHandle_) {
        // Not retried on EINTR: the descriptor is released either way, and a
        // second close could hit one that another thread just opened.
        if (::close(handle_) != 0 && errno != EINTR) {
            error_ = errno;
            ok = false;
        }
    }
    handle_ = invalidHandle();
    ownsHandle_ = false;
    return ok;
}

std::string PlatformFile::errorText(ErrorCode code)
{
    char buffer[256] = {};
    const char *text = strerrorText(::strerror_r(code, buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0')
        return "error " + std::to_string(code);
    return text;
}

bool PlatformFile::replaceFile(const std::string &from, const std::string &to,
                               ErrorCode *error) noexcept
{
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    *error = errno;
    return false;
}

bool PlatformFile::removeFile(const std::string &path) noexcept
{
    return ::unlink(path.c_str()) == 0;
}

void PlatformFile::clearThreadError() noexcept
{
    errno = 0;
}

bool PlatformFile::flushToStorage() noexcept
{
    for (;;) {
        if (::fsync(handle_) == 0) {
            error_ = 0;
            return true;
        }
        if (errno != EINTR)
            break;
    }
    error_ = errno;
    return false;
}

bool PlatformFile::tryLock() noexcept
{
    for (;;) {
        if (::flock(handle_, LOCK_EX | LOCK_NB) == 0) {
            error_ = 0;
            return true;
        }
        if (errno != EINTR)
            break;
    }
    error_ = errno;
    return false;
}

PlatformFile::Kind PlatformFile::kindOf(const std::string &path, ErrorCode *error) noexcept
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return Kind::Missing;
        *error = errno;
        return Kind::Unknown;
    }
    if (S_ISDIR(info.st_mode))
        return Kind::Folder;
    if (!S_ISREG(info.st_mode))
        return Kind::Other;
    // Marked read-only by whoever made it so, whatever this process could
    // still do (a file of another user keeps being replaced as before).
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return Kind::ReadOnly;
    return Kind::Regular;
}

bool PlatformFile::syncFolder(const std::string &folder) noexcept
{
    const int fd = openRetrying(folder.empty() ? "." : folder.c_str(),
                                O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int result = 0;
    while ((result = ::fsync(fd)) != 0 && errno == EINTR) {
    }
    // Some file systems cannot sync a folder: the rename is as durable as
    // they make it.
    const bool ok = result == 0 || errno == EINVAL || errno == ENOTSUP || errno == EROFS;
    ::close(fd);
    return ok;
}

unsigned long PlatformFile::currentProcess() noexcept
{
    return static_cast<unsigned long>(::getpid());
}

bool PlatformFile::processRuns(unsigned long process) noexcept
{
    if (process == 0 || process > static_cast<unsigned long>(std::numeric_limits<pid_t>::max()))
        return false;
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
}

std::string PlatformFile::machineName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

} // namespace hostkit

#endif
