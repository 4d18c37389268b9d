#include "hostkit/utility/Platform.h"

#include <cctype>

#if defined(_WIN32)
#include <direct.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace hostkit {

bool makeDirectory(const std::string &path)
{
#if defined(_WIN32)
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
#else
    return ::mkdir(path.c_str(), 0777) == 0;
#endif
}

void createDirectoriesFor(const std::string &fileName)
{
    for (std::size_t i = 1; i < fileName.size(); ++i) {
        if (!isPathSeparator(fileName[i]))
            continue;
        const char previous = fileName[i - 1];
        if (previous == ':' || isPathSeparator(previous))
            continue;
        makeDirectory(fileName.substr(0, i));
    }
}

bool isAbsolutePath(const std::string &path)
{
    if (!path.empty() && isPathSeparator(path[0]))
        return true;
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::string resolvedAgainst(const std::string &path, const std::string &base)
{
    if (base.empty() || isAbsolutePath(path))
        return path;
    return isPathSeparator(base.back()) ? base + path : base + kPathSeparator + path;
}


} // namespace hostkit
