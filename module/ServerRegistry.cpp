#include "module/ServerRegistry.h"

#include <algorithm>

namespace ravelcast {

std::vector<Registration> &serverRegistrations()
{
    static std::vector<Registration> list;
    return list;
}

std::vector<Hook> &startupHooks()
{
    static std::vector<Hook> list;
    return list;
}

std::vector<Hook> &shutdownHooks()
{
    static std::vector<Hook> list;
    return list;
}

ServerRegistration::ServerRegistration(int position, const char *className,
                                       const char *name, ActivateFunc activate,
                                       ServerTagInfo *tags)
{
    serverRegistrations().push_back({position, {className, name, activate, tags}});
}

StartupHook::StartupHook(Hook hook) { startupHooks().push_back(hook); }

ShutdownHook::ShutdownHook(Hook hook) { shutdownHooks().push_back(hook); }

ServerRecord *makeServerTable()
{
    std::vector<Registration> ordered = serverRegistrations();
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Registration &a, const Registration &b) {
                         return a.position < b.position;
                     });
    auto *table = new ServerRecord[ordered.size() + 1];
    for (std::size_t i = 0; i < ordered.size(); ++i)
        table[i] = ordered[i].record;
    table[ordered.size()] = ServerRecord{nullptr, nullptr, nullptr, nullptr};
    return table;
}

} // namespace ravelcast
