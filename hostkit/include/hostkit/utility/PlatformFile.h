// A file handle of the platform with exactly what the module's file
// streams and its replacing writes need: open an existing file for reading,
// create (or truncate) one for writing, create one that must not exist yet,
// read (also at an offset), write, tell, seek, size, flush to stable
// storage, close, and the platform's error code and text of the last call
// that failed; beside them the few operations on names a whole-file
// replacement needs (what stands at a name, rename over it, remove it,
// sync a folder) and the machine and process a temporary belongs to.
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
#ifndef HOSTKIT_UTILITY_PLATFORMFILE_H
#define HOSTKIT_UTILITY_PLATFORMFILE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace hostkit {

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

    // Creates a new file for writing that nobody else has: fails when
    // anything exists under the name, a symbolic link included (it is
    // never followed). On Windows nobody else may open or delete it while
    // it is open. An open file is closed first.
    bool createNew(const std::string &path) noexcept;

    // Opens an existing regular file for writing without truncating it
    // (never through a symbolic link), at position 0. An open file is
    // closed first.
    bool openForWriting(const std::string &path) noexcept;

    // Works on a handle that another object owns: this one never closes
    // it. An open file is closed first.
    void borrow(Handle handle) noexcept;

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

    // Everything written so far on stable storage (fsync, FlushFileBuffers).
    bool flushToStorage() noexcept;

    // An advisory lock on the whole file that no other open of it can take
    // while this one holds it; released when the handle closes or its
    // process dies. POSIX only (Windows files opened by createNew are not
    // shared at all): true there without doing anything. Fails at once
    // instead of waiting.
    bool tryLock() noexcept;

    // Closes the handle when it is valid and owned. False when the platform
    // reports an error while closing (written data may then be lost).
    bool close() noexcept;

    // The code of the last failed call on this file; 0 when the last call
    // succeeded (see openForReading for the one exception).
    ErrorCode error() const noexcept { return error_; }

    // The platform's text for an error code.
    static std::string errorText(ErrorCode code);

    // Moves a file to a new name, replacing a file there in one step (on
    // Windows with write-through). False with *error set when it cannot.
    static bool replaceFile(const std::string &from, const std::string &to,
                            ErrorCode *error) noexcept;

    // What stands at a name (through a symbolic link): nothing, a file one
    // may replace, a file marked read-only (no write permission for anyone;
    // the read-only attribute on Windows), a folder, anything else (a
    // device, a pipe), or Unknown when the name cannot be examined (a path
    // too long, no access), with *error set.
    enum class Kind { Missing, Regular, ReadOnly, Folder, Other, Unknown };
    static Kind kindOf(const std::string &path, ErrorCode *error) noexcept;

    // Syncs a folder's entries to stable storage (a rename in it made
    // durable). POSIX only; file systems that cannot sync folders count as
    // done. True on Windows, where the rename was written through.
    static bool syncFolder(const std::string &folder) noexcept;

    // This process, whether a process of this machine still runs, and a
    // name of this machine (empty when the system gives none).
    static unsigned long currentProcess() noexcept;
    static bool processRuns(unsigned long process) noexcept;
    static std::string machineName();
    // Deletes a file; false when it cannot (a missing file among others).
    static bool removeFile(const std::string &path) noexcept;
    // Resets the calling thread's error state (errno, or the thread's
    // last-error value). Never fails.
    static void clearThreadError() noexcept;

private:
    // An open's outcome: the handle kept and owned, or the failure's code
    // when there is no handle. The code must be taken before any other
    // call can change it.
    bool opened(Handle handle, ErrorCode failure) noexcept;

    Handle handle_ = invalidHandle();
    bool ownsHandle_ = false;
    ErrorCode error_ = 0;
};

} // namespace hostkit

#endif
