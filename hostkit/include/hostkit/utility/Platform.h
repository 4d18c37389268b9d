// The few things that differ between Windows and POSIX builds.
#ifndef HOSTKIT_UTILITY_PLATFORM_H
#define HOSTKIT_UTILITY_PLATFORM_H

#if defined(_WIN32)
#define HOSTKIT_EXPORT __declspec(dllexport)
#else
#define HOSTKIT_EXPORT __attribute__((visibility("default")))
#endif

namespace hostkit {

#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

inline bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

} // namespace hostkit

#endif
