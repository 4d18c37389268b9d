#include "hostkit/utility/PlatformFile.h"

namespace hostkit {

PlatformFile::~PlatformFile()
{
    close();
}

void PlatformFile::borrow(Handle handle) noexcept
{
    close();
    handle_ = handle;
    ownsHandle_ = false;
    error_ = 0;
}

bool PlatformFile::opened(Handle handle, ErrorCode failure) noexcept
{
    if (handle == invalidHandle()) {
        error_ = failure;
        return false;
    }
    handle_ = handle;
    ownsHandle_ = true;
    error_ = 0;
    return true;
}

} // namespace hostkit
