#include "hostkit/FileName.h"

#include <cctype>

#include "hostkit/Services.h"
#include "hostkit/utility/Platform.h"

namespace hostkit {

namespace {
bool sameChar(char a, char b)
{
    if (isPathSeparator(a) && isPathSeparator(b))
        return true;
#if defined(_WIN32)
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
#else
    return a == b;
#endif
}
} // namespace

void FileName::split(const std::string &path, std::string *dir, std::string *name)
{
    const std::size_t at = path.find_last_of("\\/");
    if (at == std::string::npos) {
        *dir = {};
        *name = path;
    } else {
        *dir = path.substr(0, at);
        *name = path.substr(at + 1);
    }
}

std::string FileName::join(const std::string &dir, const std::string &name)
{
    return dir.empty() ? name : dir + kPathSeparator + name;
}

std::string FileName::relativeTo(const std::string &path, const std::string &base)
{
    std::string b = base;
    while (!b.empty() && isPathSeparator(b.back()))
        b.pop_back();
    if (b.empty() || path.size() < b.size())
        return path;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (!sameChar(path[i], b[i]))
            return path;
    if (path.size() == b.size())
        return {};
    if (!isPathSeparator(path[b.size()]))
        return path; // "/content2" is not inside "/content"
    return path.substr(b.size() + 1);
}

void FileName::set(const std::string &path)
{
    split(path, &dir_, &name_);
    if (dir_.empty())
        return;
    const std::string base = DirInfo().dir(pathType_.c_str());
    if (!base.empty())
        dir_ = relativeTo(dir_, base);
}

std::string FileName::fullPath() const { return join(dir_, name_); }

} // namespace hostkit
