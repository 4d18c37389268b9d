// Start-up and shut-down hooks of the module.

#include <ImfHeader.h>
#include <ImfThreading.h>

#include "module/ServerRegistry.h"

namespace ravelcast {

namespace {
// Registers the library's attribute types before any header is built.
void initialiseOpenEXR() { Imf::staticInitialize(); }

// The library's worker threads (started for RAVELCAST_THREADS) are joined
// while the host still holds the module: joined later, from the static
// destructors that run as the module is unloaded, they deadlock on Windows,
// where those destructors run under the loader's lock.
void stopOpenEXRThreads() { Imf::setGlobalThreadCount(0); }

StartupHook openexrStartup(initialiseOpenEXR);
ShutdownHook openexrShutdown(stopOpenEXRThreads);
} // namespace

} // namespace ravelcast
