// A host block file opened through "File IO" for reading or writing.
#ifndef HOSTKIT_FILE_H
#define HOSTKIT_FILE_H

#include <optional>
#include <string>

#include "hostkit/BlockIO.h"
#include "hostkit/Services.h"

namespace hostkit {

class File : public GlobalBase<LWFileIOFuncs> {
public:
    enum Mode { Read = 0, Write = 1 };

    // Opens path; isOpen() tells whether the host could open it.
    File(const std::string &path, Mode mode, int ioMode = LWIO_BINARY);
    ~File() override;
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    bool isOpen() const { return load_ || save_; }
    Mode mode() const { return mode_; }
    // Present only in the matching mode while the file is open.
    LoadState *loadState() { return load_ ? &*loadState_ : nullptr; }
    SaveState *saveState() { return save_ ? &*saveState_ : nullptr; }
    void close();

private:
    Mode mode_;
    LWLoadState *load_ = nullptr;
    LWSaveState *save_ = nullptr;
    std::optional<LoadState> loadState_;
    std::optional<SaveState> saveState_;
};

} // namespace hostkit

#endif
