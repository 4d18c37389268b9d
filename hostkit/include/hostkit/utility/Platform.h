// The few things that differ between Windows and POSIX builds.
#ifndef HOSTKIT_UTILITY_PLATFORM_H
#define HOSTKIT_UTILITY_PLATFORM_H

#if defined(_WIN32)
#define HOSTKIT_EXPORT __declspec(dllexport)
#else
#define HOSTKIT_EXPORT __attribute__((visibility("default")))
#endif

#include <filesystem>
#include <optional>
#include <string>

namespace hostkit {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

inline bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

// Creates one directory; failures (an existing directory among them) are
// the caller's to ignore.
bool makeDirectory(const std::string &path);

// Creates every directory named in a file name: at each separator whose
// previous character is neither ':' nor a separator, the text before it.
void createDirectoriesFor(const std::string &fileName);

// Whether a path names its place without a current directory: a leading
// separator, or a drive letter and colon.
bool isAbsolutePath(const std::string &path);

// A relative path placed inside base; an absolute one (or an empty base)
// unchanged.
std::string resolvedAgainst(const std::string &path, const std::string &base);

// The system's login name of the user running the process and the
// machine's host name, in UTF-8; nothing when the system cannot say.
std::optional<std::string> loginName();
std::optional<std::string> hostName();

// Names are UTF-8 throughout the module, as on POSIX. The standard library
// reads a narrow name in the system's code page on Windows: names go to
// and come from std::filesystem through these.
std::filesystem::path filePath(const std::string &utf8);
std::string utf8Text(const std::filesystem::path &path);

// An environment variable's value in UTF-8; false when it is not set.
bool environmentValue(const char *name, std::string *value);

#if defined(_WIN32)
// UTF-8 to UTF-16 and back, for the wide Win32 calls.
std::wstring wideText(const std::string &utf8);
std::string utf8Text(const wchar_t *wide);
// A name for the wide file calls: '/' made '\', and an absolute name past
// the old length limit (260) marked to be taken as it is ("\\?\").
std::wstring widePath(const std::string &utf8);
#endif
} // namespace hostkit

#endif
