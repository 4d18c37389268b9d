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

} // namespace hostkit
