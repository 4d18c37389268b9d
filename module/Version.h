// The product's version texts, true for the build they are compiled into.
#ifndef RAVELCAST_MODULE_VERSION_H
#define RAVELCAST_MODULE_VERSION_H

#include <OpenEXRConfig.h>

namespace ravelcast {

#define RAVELCAST_VERSION "1.5a"

#if defined(_WIN64)
#define RAVELCAST_PLATFORM "Win64"
#elif defined(_WIN32)
#define RAVELCAST_PLATFORM "Win32"
#elif defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__))
#define RAVELCAST_PLATFORM "Linux64"
#elif defined(__linux__)
#define RAVELCAST_PLATFORM "Linux32"
#elif defined(__APPLE__)
#define RAVELCAST_PLATFORM "macOS"
#else
#define RAVELCAST_PLATFORM "POSIX"
#endif

// "1.5a"
constexpr const char *kVersion = RAVELCAST_VERSION;
// "(Win64)" on 64-bit Windows
constexpr const char *kPlatformTag = "(" RAVELCAST_PLATFORM ")";
// The build date as the compiler writes it, e.g. "Apr  4 2010".
constexpr const char *kBuildDate = __DATE__;
// "Ravelcast(Win64)_V1.5a": the prefix of render-node information lines.
constexpr const char *kNodeTag = "Ravelcast(" RAVELCAST_PLATFORM ")_V" RAVELCAST_VERSION;
// "Ravelcast V1.5a (Win64)"
constexpr const char *kProductLine = "Ravelcast V" RAVELCAST_VERSION " (" RAVELCAST_PLATFORM ")";
// "Using OpenEXR 3.1.5": the library this build is compiled against.
constexpr const char *kLibraryLine = "Using OpenEXR " OPENEXR_VERSION_STRING;

} // namespace ravelcast

#endif
