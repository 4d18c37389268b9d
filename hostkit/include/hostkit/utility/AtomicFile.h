// A file replaced whole or not at all, whoever else writes the same name at
// the same moment. Every file the module writes goes through one.
//
// The bytes go to a temporary of this writer's own in the final name's
// folder, created exclusively (never through a link). When they are
// complete they are flushed to stable storage, the temporary is renamed
// over the final name in one step and the folder is synced. Any failure
// removes this writer's temporary only: what stood under the final name
// stays as it was. Of several writers of one name every one succeeds, and
// the final file is the one renamed last, whole.
//
// Temporaries are named ".ravelcast-NNNNNNNN-MMMMMMMM-PPPPPPPP-SSSSSSSS.tmp"
// (50 characters whatever the final name, so every name the system accepts
// can be written): N a hash of the final name's last part, M a hash of the
// machine's name, P the writer's process, S a random serial, each eight
// hexadecimal digits. Before it writes, a writer removes the leftovers of
// its final name that writers of this machine left when they were killed
// (their process is gone and no open file holds them); what a writer on
// another machine left stays.
//
// A device or a pipe named as the output (/dev/null) is written as it is.
#ifndef HOSTKIT_UTILITY_ATOMICFILE_H
#define HOSTKIT_UTILITY_ATOMICFILE_H

#include <string>

#include "hostkit/utility/PlatformFile.h"

namespace hostkit {

class AtomicFile {
public:
    AtomicFile() = default;
    // Abandons a file that was not committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Starts writing finalName. A folder or a file marked read-only there
    // is refused; a name that cannot be examined, or a temporary that
    // cannot be created (a missing folder, no access), fails. False, with
    // cause(), when it cannot start; nothing is changed then.
    bool open(const std::string &finalName);

    bool isOpen() const { return file_.isOpen(); }
    // A device or a pipe, written in place without a temporary.
    bool inPlace() const { return inPlace_; }
    // The open file, at position 0 after open().
    PlatformFile &file() { return file_; }
    const std::string &finalName() const { return finalName_; }
    // Where the bytes go: the temporary, or the final name in place.
    const std::string &writtenName() const { return written_; }

    // Closes the file so that another writer (the host writing a block
    // file) can write writtenName() by its name; commit() reopens it.
    void release();

    // Flushes the bytes to stable storage, closes the file, renames it over
    // the final name and syncs the folder. False, with cause(), when any of
    // it fails or the final name has meanwhile become a folder or a
    // read-only file: the temporary is removed then and the final name
    // keeps what it had.
    bool commit();

    // Closes and removes the temporary; nothing under the final name
    // changes. Does nothing after commit().
    void abandon() noexcept;

    // Why open() or commit() failed: the platform's text for the error, or
    // what stands at the final name when it was refused.
    const std::string &cause() const { return cause_; }
    // The failure was a refusal of what stands at the final name, not an
    // error of the platform.
    bool refused() const { return refused_; }

    // Whether a name in a folder is a temporary of this kind, and of which
    // final name (by its last part).
    static bool isTemporaryName(const std::string &name);
    static bool isTemporaryOf(const std::string &name, const std::string &finalName);

private:
    bool fail(PlatformFile::ErrorCode code, const char *step);
    bool refuse(const char *what);
    void removeLeftovers(const std::string &folder, const std::string &leaf) const;

    PlatformFile file_;
    std::string finalName_;
    std::string written_;
    std::string folder_;
    std::string cause_;
    bool refused_ = false;
    bool inPlace_ = false;
    bool released_ = false;
};

} // namespace hostkit

#endif
