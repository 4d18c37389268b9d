// A file handle of the platform with exactly what the OpenEXR streams need:
// open an existing file for reading, create (or truncate) one for writing,
// read (also at an offset), write, tell, seek, size, close, and the platform's error code and
// text of the last call that failed.
//
// POSIX (open/read/write/lseek) and Win32 (CreateFileA/ReadFile/WriteFile/
// SetFilePointerEx) behind one interface; only one of them is compiled.
//
// Sharing: on Windows a file opened for reading may be read, not written, by
// others, and a file opened for writing cannot be opened by anybody else. On
// POSIX there is no mandatory equivalent and none is emulated: both are
// opened without locks. An advisory lock would bind only programs that take
// the same lock, would refuse opens that every other POSIX program allows,
// and is unreliable on network file systems, where render nodes write.
//
// Error texts: Windows system texts are used as the system gives them (they
// end with a line break); POSIX texts are the C library's message for errno,
// without a line break.
#ifndef RAVELCAST_EXRIO_PLATFORMFILE_H
#define RAVELCAST_EXRIO_PLATFORMFILE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace ravelcast {

class PlatformFile {
public:
#ifdef _WIN32
    using Handle = void *;           // HANDLE
    using ErrorCode = unsigned long; // DWORD, as GetLastError answers
#else
    using Handle = int;
    using ErrorCode = int; // errno
#endif

    // The platform's invalid-handle value (INVALID_HANDLE_VALUE, or -1).
    static Handle invalidHandle() noexcept
    {
#ifdef _WIN32
        return reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));
#else
        return -1;
#endif
    }

    PlatformFile() noexcept = default;
    // Closes the handle when it is valid and owned; errors are ignored.
    ~PlatformFile();
    PlatformFile(const PlatformFile &) = delete;
    PlatformFile &operator=(const PlatformFile &) = delete;

    // Opens an existing file for reading only (never a directory). False
    // when it cannot be opened, with error() telling why. On Windows a
    // successful open may still leave a code in error() that the system set
    // although the handle is valid; the caller decides what that means. An
    // open file is closed first.
    bool openForReading(const std::string &path) noexcept;

    // Creates the file for writing, or truncates an existing one to length
    // 0. False when it cannot be created, with error() telling why. An open
    // file is closed first.
    bool createForWriting(const std::string &path) noexcept;

    bool isOpen() const noexcept { return handle_ != invalidHandle(); }
    Handle handle() const noexcept { return handle_; }

    // Reads n bytes at the current position into buffer. Short transfers
    // are repeated until n bytes arrived or the file ended; *got tells how
    // many arrived. False on a platform error (*got then counts the bytes
    // that arrived before it).
    bool read(char *buffer, std::size_t n, std::size_t *got) noexcept;

    // Reads n bytes at an absolute offset into buffer, like read() in one
    // platform call per transfer instead of a seek and a read. The current
    // position afterwards is unspecified (POSIX leaves it, Windows moves it
    // past the bytes read): seek before relying on it.
    bool readAt(std::uint64_t offset, char *buffer, std::size_t n, std::size_t *got) noexcept;

    // Writes all n bytes at the current position, repeating short
    // transfers. False on the first platform error.
    bool write(const char *buffer, std::size_t n) noexcept;

    // The current position, as an absolute byte offset.
    bool tell(std::uint64_t *position) noexcept;

    // Moves to an absolute byte offset (beyond the end is allowed).
    bool seek(std::uint64_t position) noexcept;

    // The file's length in bytes.
    bool size(std::uint64_t *bytes) noexcept;

    // Closes the handle when it is valid and owned. False when the platform
    // reports an error while closing (written data may then be lost).
    bool close() noexcept;

    // The code of the last failed call on this file; 0 when the last call
    // succeeded (see openForReading for the one exception).
    ErrorCode error() const noexcept { return error_; }

    // The platform's text for an error code.
    static std::string errorText(ErrorCode code);

    // Moves a file to a new name, replacing a file there in one step. False
    // with *error set when it cannot.
    static bool replaceFile(const std::string &from, const std::string &to,
                            ErrorCode *error) noexcept;
    // Deletes a file; false when it cannot (a missing file among others).
    static bool removeFile(const std::string &path) noexcept;
    // Resets the calling thread's error state (errno, or the thread's
    // last-error value). Never fails.
    static void clearThreadError() noexcept;

private:
    Handle handle_ = invalidHandle();
    bool ownsHandle_ = false;
    ErrorCode error_ = 0;
};

} // namespace ravelcast

#endif
