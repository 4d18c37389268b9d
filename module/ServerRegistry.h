// Registration of the module's servers and start-up/shut-down hooks.
//
// Static objects in the servers' source files register themselves before
// the host calls startup. The lists are made on first use, so registration
// works whatever order the static initialisers run in; every server names
// its place in the host's table, so link order does not matter either.
#ifndef RAVELCAST_MODULE_SERVERREGISTRY_H
#define RAVELCAST_MODULE_SERVERREGISTRY_H

#include <vector>

#include <lwsdk/module.h>

namespace ravelcast {

using Hook = void (*)();

struct Registration {
    int position;
    ServerRecord record;
};

std::vector<Registration> &serverRegistrations();
std::vector<Hook> &startupHooks();
std::vector<Hook> &shutdownHooks();

struct ServerRegistration {
    ServerRegistration(int position, const char *className, const char *name,
                       ActivateFunc activate, ServerTagInfo *tags);
};

struct StartupHook {
    explicit StartupHook(Hook hook);
};

struct ShutdownHook {
    explicit ShutdownHook(Hook hook);
};

// The server records in table order, followed by an all-zero record; the
// caller owns the array (delete[]).
ServerRecord *makeServerTable();

} // namespace ravelcast

#endif
