// The Win32 half of the user name; only one half is compiled.
#include "hostkit/utility/Platform.h"

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace hostkit {

std::optional<std::string> loginName()
{
    wchar_t name[257] = {};
    DWORD size = 257; // counts the terminating zero
    if (!GetUserNameW(name, &size) || size == 0)
        return std::nullopt;
    std::string text = utf8Text(name);
    if (text.empty())
        return std::nullopt;
    return text;
}

} // namespace hostkit

#endif
