#include "hostkit/ChannelGroup.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace hostkit {

std::string ChannelGroup::uniqueName(const std::string &wanted, LWChanGroupID parent)
{
    ChannelInfo info;
    if (!info.available() || !info->nextGroup || !info->groupName)
        return wanted;
    std::vector<std::string> taken;
    for (LWChanGroupID g = info->nextGroup(parent, nullptr); g; g = info->nextGroup(parent, g))
        if (const char *n = info->groupName(g))
            taken.emplace_back(n);
    auto isTaken = [&](const std::string &n) {
        for (const std::string &t : taken)
            if (t == n)
                return true;
        return false;
    };
    std::string name = wanted;
    for (int counter = 0; isTaken(name); ++counter) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "(%i)", counter);
        name = wanted + buf;
    }
    return name;
}

ChannelGroup::ChannelGroup(const std::string &name, LWChanGroupID parent)
    : name_(uniqueName(name, parent))
{
    if (envelopes_.available() && envelopes_->createGroup)
        id_ = envelopes_->createGroup(parent, name_.c_str());
}

ChannelGroup::~ChannelGroup()
{
    if (id_ && envelopes_.available() && envelopes_->destroyGroup)
        envelopes_->destroyGroup(id_);
}

} // namespace hostkit
