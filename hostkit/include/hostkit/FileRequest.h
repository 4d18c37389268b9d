// The host's file requester ("File Request 2"): one requester with its own
// title, file type and name buffers, opened as often as needed.
#ifndef HOSTKIT_FILEREQUEST_H
#define HOSTKIT_FILEREQUEST_H

#include <array>
#include <string>

#include <lwsdk/filereq.h>

#include "hostkit/Global.h"

namespace hostkit {

// The service is the requester's activation function itself, not a table;
// this type only names it for GlobalBase.
struct FileRequestService;
template <> struct ServiceName<FileRequestService> {
    static constexpr const char *value = LWFILEREQFUNC_GLOBAL;
};

class FileRequest2 : public GlobalBase<FileRequestService> {
public:
    static constexpr int kBufferSize = 1024;

    // type: FREQ_LOAD or FREQ_SAVE; fileType: the host's filter text
    // ("Settings|*.cfg").
    FileRequest2(int type, std::string title, std::string fileType);
    FileRequest2(const FileRequest2 &) = delete;
    FileRequest2 &operator=(const FileRequest2 &) = delete;

    // Shows the requester; true only when the host ran it and the user
    // confirmed a name. The folder and name chosen are where the next
    // opening starts.
    bool open();

    std::string fullName() const { return full_.data(); }
    std::string path() const { return path_.data(); }
    std::string baseName() const { return base_.data(); }
    // The full name without the host "Content" directory and the separator
    // after it; the full name itself when it lies elsewhere.
    std::string relativeName() const;

private:
    int type_;
    std::string title_, fileType_;
    std::array<char, kBufferSize> path_{}, base_{}, full_{};
};

// name relative to folder: folder and one following '\' or '/' cut off when
// name lies inside folder, else name unchanged.
std::string relativeTo(const std::string &name, const std::string &folder);

} // namespace hostkit

#endif
