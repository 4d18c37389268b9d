// The Win32 half of the user and machine names; only one half is compiled.
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

namespace {

std::optional<std::string> utf8(const wchar_t *text, DWORD length)
{
    if (length == 0)
        return std::nullopt;
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::nullopt;
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

std::optional<std::string> loginName()
{
    wchar_t name[257] = {};
    DWORD size = 257; // counts the terminating zero
    if (!GetUserNameW(name, &size) || size == 0)
        return std::nullopt;
    return utf8(name, size - 1);
}

std::optional<std::string> hostName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1; // the length without the zero comes back
    if (!GetComputerNameW(name, &size))
        return std::nullopt;
    return utf8(name, size);
}

} // namespace hostkit

#endif
