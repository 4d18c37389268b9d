#include "hostkit/FileRequest.h"

#include "hostkit/Services.h"
#include "hostkit/utility/Platform.h"

namespace hostkit {

FileRequest2::FileRequest2(int type, std::string title, std::string fileType)
    : type_(type), title_(std::move(title)), fileType_(std::move(fileType))
{
}

bool FileRequest2::open()
{
    if (!available())
        return false;
    const auto activate = reinterpret_cast<LWFileActivateFunc>(table());
    full_[0] = '\0';
    LWFileReqLocal request{};
    request.reqType = type_;
    request.result = 0;
    request.title = title_.c_str();
    request.fileType = fileType_.c_str();
    request.path = path_.data();
    request.baseName = base_.data();
    request.fullName = full_.data();
    request.bufLen = kBufferSize;
    const int ran = activate(LWFILEREQ_VERSION, &request);
    // The host may fill a buffer to the brim.
    path_.back() = base_.back() = full_.back() = '\0';
    return ran == AFUNC_OK && request.result == 1 && full_[0] != '\0';
}

std::string FileRequest2::relativeName() const
{
    return relativeTo(fullName(), DirInfo().dir("Content"));
}

std::string relativeTo(const std::string &name, const std::string &folder)
{
    if (folder.empty() || name.compare(0, folder.size(), folder) != 0)
        return name;
    if (isPathSeparator(folder.back()))
        return name.substr(folder.size());
    // "C:\content" must not claim "C:\contents\a.cfg".
    if (name.size() > folder.size() && isPathSeparator(name[folder.size()]))
        return name.substr(folder.size() + 1);
    return name;
}

} // namespace hostkit
