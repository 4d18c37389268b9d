// The module descriptor, the one symbol the module exports.

#include <clocale>
#include <new>

#include <lwsdk/module.h>

#include "hostkit/utility/Platform.h"
#include "module/ServerRegistry.h"

extern "C" HOSTKIT_EXPORT ModuleDescriptor _mod_descrip;

namespace {

void *startup()
{
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
    return table;
}

void shutdown(void *serverData)
{
    delete[] static_cast<ServerRecord *>(serverData);
    for (ravelcast::Hook hook : ravelcast::shutdownHooks())
        hook();
}

} // namespace

ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, 0, startup, shutdown, nullptr};
