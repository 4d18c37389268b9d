// Start-up and shut-down hooks of the module.

#include <ImfHeader.h>

#include "module/ServerRegistry.h"

namespace ravelcast {

namespace {
// Registers the library's attribute types before any header is built.
void initialiseOpenEXR() { Imf::staticInitialize(); }

void nothingToUndo() {}

StartupHook openexrStartup(initialiseOpenEXR);
ShutdownHook openexrShutdown(nothingToUndo);
} // namespace

} // namespace ravelcast
