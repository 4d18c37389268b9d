#include "devhost/ServiceRegistry.h"

#include <lwsdk/module.h>

namespace devhost {

void ServiceRegistry::offer(const std::string &name, Provider provider)
{
    providers_[name] = std::move(provider);
}

void ServiceRegistry::offerTable(const std::string &name, void *table)
{
    offer(name, [table] { return table; });
}

void ServiceRegistry::withdraw(const std::string &name) { providers_.erase(name); }

bool ServiceRegistry::offers(const std::string &name) const
{
    return providers_.count(name) != 0;
}

void *ServiceRegistry::lookup(const char *name, int useCode)
{
    if (!name)
        return nullptr;
    ServiceUse &use = uses_[name];
    auto it = providers_.find(name);
    if (useCode == GFUSE_RELEASE) {
        ++use.releases;
        return nullptr;
    }
    if (it == providers_.end()) {
        ++use.misses;
        return nullptr;
    }
    if (useCode == GFUSE_ACQUIRE)
        ++use.acquires;
    else
        ++use.transients;
    return it->second();
}

ServiceUse ServiceRegistry::use(const std::string &name) const
{
    auto it = uses_.find(name);
    return it == uses_.end() ? ServiceUse{} : it->second;
}

std::vector<std::string> ServiceRegistry::unreleased() const
{
    std::vector<std::string> names;
    for (const auto &[name, use] : uses_)
        if (use.acquires != use.releases)
            names.push_back(name);
    return names;
}

} // namespace devhost
