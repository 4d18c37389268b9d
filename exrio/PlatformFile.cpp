#include "exrio/PlatformFile.h"

#include <algorithm>
#include <limits>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace ravelcast {

namespace {

// Largest single transfer asked of the platform: POSIX leaves counts above
// SSIZE_MAX undefined (Linux stops near 2 GiB anyway) and Win32 takes a
// DWORD. Larger requests are split.
constexpr std::size_t kMaxChunk = std::size_t(1) << 30;

} // namespace

PlatformFile::~PlatformFile()
{
    close();
}

#ifdef _WIN32

bool PlatformFile::openForReading(const std::string &path) noexcept
{
    close();
    // Cleared first: a code the system leaves behind although the handle is
    // valid is reported by the caller, and must not be an older one.
    ::SetLastError(0);
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_ = ::GetLastError();
        return false;
    }
    handle_ = h;
    ownsHandle_ = true;
    error_ = ::GetLastError();
    return true;
}

bool PlatformFile::createForWriting(const std::string &path) noexcept
{
    close();
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_ = ::GetLastError();
        return false;
    }
    // Replacing an existing file sets ERROR_ALREADY_EXISTS with success; that
    // is not a failure.
    handle_ = h;
    ownsHandle_ = true;
    error_ = 0;
    return true;
}

bool PlatformFile::read(char *buffer, std::size_t n, std::size_t *got) noexcept
{
    *got = 0;
    while (*got < n) {
        const DWORD want = static_cast<DWORD>(std::min(n - *got, kMaxChunk));
        DWORD count = 0;
        if (!::ReadFile(handle_, buffer + *got, want, &count, nullptr)) {
            error_ = ::GetLastError();
            return false;
        }
        if (count == 0)
            break; // end of file
        *got += count;
    }
    error_ = 0;
    return true;
}

bool PlatformFile::readAt(std::uint64_t offset, char *buffer, std::size_t n,
                          std::size_t *got) noexcept
{
    *got = 0;
    while (*got < n) {
        const DWORD want = static_cast<DWORD>(std::min(n - *got, kMaxChunk));
        const std::uint64_t at = offset + *got;
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD count = 0;
        if (!::ReadFile(handle_, buffer + *got, want, &count, &where)) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_HANDLE_EOF)
                break;
            error_ = code;
            return false;
        }
        if (count == 0)
            break; // end of file
        *got += count;
    }
    error_ = 0;
    return true;
}

bool PlatformFile::write(const char *buffer, std::size_t n) noexcept
{
    std::size_t done = 0;
    while (done < n) {
        const DWORD want = static_cast<DWORD>(std::min(n - done, kMaxChunk));
        DWORD count = 0;
        if (!::WriteFile(handle_, buffer + done, want, &count, nullptr)) {
            error_ = ::GetLastError();
            return false;
        }
        if (count == 0) {
            // No progress and no error code: stop instead of spinning.
            error_ = ERROR_WRITE_FAULT;
            return false;
        }
        done += count;
    }
    error_ = 0;
    return true;
}

bool PlatformFile::tell(std::uint64_t *position) noexcept
{
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER now;
    ::SetLastError(0);
    if (!::SetFilePointerEx(handle_, zero, &now, FILE_CURRENT)) {
        error_ = ::GetLastError();
        return false;
    }
    *position = static_cast<std::uint64_t>(now.QuadPart);
    error_ = 0;
    return true;
}

bool PlatformFile::seek(std::uint64_t position) noexcept
{
    if (position > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max())) {
        error_ = ERROR_NEGATIVE_SEEK;
        return false;
    }
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    ::SetLastError(0);
    if (!::SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) {
        error_ = ::GetLastError();
        return false;
    }
    error_ = 0;
    return true;
}

bool PlatformFile::size(std::uint64_t *bytes) noexcept
{
    LARGE_INTEGER length;
    if (!::GetFileSizeEx(handle_, &length)) {
        error_ = ::GetLastError();
        return false;
    }
    *bytes = static_cast<std::uint64_t>(length.QuadPart);
    error_ = 0;
    return true;
}

bool PlatformFile::close() noexcept
{
    bool ok = true;
    if (handle_ != invalidHandle() && ownsHandle_) {
        if (!::CloseHandle(handle_)) {
            error_ = ::GetLastError();
            ok = false;
        }
    }
    handle_ = invalidHandle();
    ownsHandle_ = false;
    return ok;
}

std::string PlatformFile::errorText(ErrorCode code)
{
    char *text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
        nullptr);
    std::string result = (length != 0 && text != nullptr)
                             ? std::string(text, length)
                             : "error " + std::to_string(code);
    if (text != nullptr)
        ::LocalFree(text);
    return result;
}

bool PlatformFile::replaceFile(const std::string &from, const std::string &to,
                               ErrorCode *error) noexcept
{
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    *error = ::GetLastError();
    return false;
}

bool PlatformFile::removeFile(const std::string &path) noexcept
{
    return ::DeleteFileA(path.c_str()) != 0;
}

void PlatformFile::clearThreadError() noexcept
{
    ::SetLastError(0);
}

#else // POSIX

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
    if (fd < 0) {
        error_ = errno;
        return false;
    }
    handle_ = fd;
    ownsHandle_ = true;
    error_ = 0;
    return true;
}

bool PlatformFile::read(char *buffer, std::size_t n, std::size_t *got) noexcept
{
    *got = 0;
    while (*got < n) {
        const ssize_t count = ::read(handle_, buffer + *got, std::min(n - *got, kMaxChunk));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return false;
        }
        if (count == 0)
            break; // end of file
        *got += static_cast<std::size_t>(count);
    }
    error_ = 0;
    return true;
}

bool PlatformFile::readAt(std::uint64_t offset, char *buffer, std::size_t n,
                          std::size_t *got) noexcept
{
    *got = 0;
    while (*got < n) {
        const std::uint64_t at = offset + *got;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            error_ = EOVERFLOW;
            return false;
        }
        const ssize_t count = ::pread(handle_, buffer + *got, std::min(n - *got, kMaxChunk),
                                      static_cast<off_t>(at));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return false;
        }
        if (count == 0)
            break; // end of file
        *got += static_cast<std::size_t>(count);
    }
    error_ = 0;
    return true;
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

#endif

} // namespace ravelcast
