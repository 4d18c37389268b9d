#include "hostkit/utility/Platform.h"
#include "hostkit/utility/PlatformFile.h"

#include <cctype>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace hostkit {

bool makeDirectory(const std::string &path)
{
#if defined(_WIN32)
    return CreateDirectoryW(widePath(path).c_str(), nullptr) != 0;
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

std::filesystem::path filePath(const std::string &utf8)
{
    return std::filesystem::u8path(utf8);
}

std::string utf8Text(const std::filesystem::path &path) { return path.u8string(); }

std::optional<std::string> hostName()
{
    std::string name = PlatformFile::machineName();
    if (name.empty())
        return std::nullopt;
    return name;
}

bool environmentValue(const char *name, std::string *value)
{
#if defined(_WIN32)
    const wchar_t *text = _wgetenv(wideText(name).c_str());
    if (!text)
        return false;
    *value = utf8Text(text);
#else
    const char *text = std::getenv(name);
    if (!text)
        return false;
    *value = text;
#endif
    return true;
}

#if defined(_WIN32)
std::wstring wideText(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string utf8Text(const wchar_t *wide)
{
    if (!wide || !*wide)
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring widePath(const std::string &utf8)
{
    std::wstring w = wideText(utf8);
    constexpr std::size_t kOldLimit = 260;
    if (w.size() < kOldLimit || w.rfind(L"\\\\?\\", 0) == 0)
        return w;
    // The marked form takes no '/', no "." or ".." and no relative name.
    for (wchar_t &c : w)
        if (c == L'/')
            c = L'\\';
    if (w.size() > 2 && w[1] == L':' && w[2] == L'\\')
        return L"\\\\?\\" + w;
    if (w.rfind(L"\\\\", 0) == 0) // a share: \\server\share\...
        return L"\\\\?\\UNC\\" + w.substr(2);
    return w;
}
#endif

} // namespace hostkit
