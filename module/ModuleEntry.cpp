// The module descriptor, the one symbol the module exports.

#include <clocale>
#include <new>

#include <lwsdk/module.h>

#include "hostkit/ExceptionBarrier.h"
#include "hostkit/utility/Platform.h"
#include "module/ServerRegistry.h"

extern "C" HOSTKIT_EXPORT ModuleDescriptor _mod_descrip;

namespace {

// Startup and shutdown run before and after any host service can be
// reached, so a failure cannot be shown: startup answers no table, which the
// host takes as a module that did not start.
void *startup()
{
    return hostkit::guardedQuiet(static_cast<void *>(nullptr), [] {
#ifdef _WIN32
        // The module has a runtime of its own on Windows; on POSIX the C runtime
        // is the host's, and changing its locale would change the host's. Every
        // number the module writes or parses is locale-independent anyway.
        std::setlocale(LC_ALL, "");
#endif
        for (ravelcast::Hook hook : ravelcast::startupHooks())
            hook();
        ServerRecord *table = ravelcast::makeServerTable();
        _mod_descrip.serverDefs = table;
        return static_cast<void *>(table);
    });
}

void shutdown(void *serverData)
{
    delete[] static_cast<ServerRecord *>(serverData);
    // Every hook runs even when one before it fails.
    for (ravelcast::Hook hook : ravelcast::shutdownHooks())
        hostkit::guardedQuiet(0, [&] {
            hook();
            return 0;
        });
}

} // namespace

ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, 0, startup, shutdown, nullptr};
