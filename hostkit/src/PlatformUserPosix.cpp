// The POSIX half of the user name; only one half is compiled.
#include "hostkit/utility/Platform.h"

#if !defined(_WIN32)

#include <vector>

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

namespace hostkit {

std::optional<std::string> loginName()
{
    // The account the process runs as, not the terminal's (getlogin fails
    // without one, as on render nodes started by a service).
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return std::string(found->pw_name);
    return std::nullopt;
}

} // namespace hostkit

#endif
