// The Win32 half of the platform file; only one half is compiled.
#include "hostkit/utility/PlatformFile.h"

#if defined(_WIN32)

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "hostkit/utility/Platform.h"

namespace hostkit {

namespace {

// Largest single transfer asked of the platform: POSIX leaves counts above
// SSIZE_MAX undefined (Linux stops near 2 GiB anyway) and Win32 takes a
// DWORD. Larger requests are split.
constexpr std::size_t kMaxChunk = std::size_t(1) << 30;

} // namespace

bool PlatformFile::openForReading(const std::string &path) noexcept
{
    close();
    // Cleared first: a code the system leaves behind although the handle is
    // valid is reported by the caller, and must not be an older one.
    ::SetLastError(0);
    HANDLE h = ::CreateFileW(widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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
    HANDLE h = ::CreateFileW(widePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                             nullptr);
    // Replacing an existing file sets ERROR_ALREADY_EXISTS with success; that
    // is not a failure.
    return opened(h, ::GetLastError());
}

bool PlatformFile::createNew(const std::string &path) noexcept
{
    close();
    // CREATE_NEW fails on any existing name, a link included; no sharing,
    // so nobody opens or deletes it while it is being written.
    HANDLE h = ::CreateFileW(widePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    return opened(h, ::GetLastError());
}

bool PlatformFile::openForWriting(const std::string &path) noexcept
{
    close();
    HANDLE h = ::CreateFileW(widePath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    return opened(h, ::GetLastError());
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
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&text),
        0, nullptr);
    std::string result = (length != 0 && text != nullptr) ? utf8Text(text)
                                                          : "error " + std::to_string(code);
    if (text != nullptr)
        ::LocalFree(text);
    return result;
}

bool PlatformFile::replaceFile(const std::string &from, const std::string &to,
                               ErrorCode *error) noexcept
{
    // A reader that holds the old file open without delete sharing keeps it
    // from being replaced for as long as it reads: a short wait, then the
    // cause.
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(widePath(from).c_str(), widePath(to).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        *error = ::GetLastError();
        if ((*error != ERROR_SHARING_VIOLATION && *error != ERROR_ACCESS_DENIED) || attempt == 40)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool PlatformFile::removeFile(const std::string &path) noexcept
{
    return ::DeleteFileW(widePath(path).c_str()) != 0;
}

void PlatformFile::clearThreadError() noexcept
{
    ::SetLastError(0);
}

bool PlatformFile::flushToStorage() noexcept
{
    if (!::FlushFileBuffers(handle_)) {
        error_ = ::GetLastError();
        return false;
    }
    error_ = 0;
    return true;
}

bool PlatformFile::tryLock() noexcept
{
    return true;
}

PlatformFile::Kind PlatformFile::kindOf(const std::string &path, ErrorCode *error) noexcept
{
    // A device (NUL, CON, COM1, a pipe) is no file on a disk, whatever its
    // attributes say.
    HANDLE probe = ::CreateFileW(widePath(path).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        const DWORD type = ::GetFileType(probe);
        ::CloseHandle(probe);
        if (type != FILE_TYPE_DISK && type != FILE_TYPE_UNKNOWN)
            return Kind::Other;
    }
    const DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return Kind::Missing;
        *error = code;
        return Kind::Unknown;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Kind::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return Kind::Other;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return Kind::ReadOnly;
    return Kind::Regular;
}

bool PlatformFile::syncFolder(const std::string &) noexcept
{
    return true;
}

unsigned long PlatformFile::currentProcess() noexcept
{
    return ::GetCurrentProcessId();
}

bool PlatformFile::processRuns(unsigned long process) noexcept
{
    HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
    if (!h)
        // Refused: it exists, it belongs to somebody else.
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool runs = ::GetExitCodeProcess(h, &code) && code == STILL_ACTIVE;
    ::CloseHandle(h);
    return runs;
}

std::string PlatformFile::machineName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &size))
        return {};
    return utf8Text(name);
}
} // namespace hostkit

#endif
