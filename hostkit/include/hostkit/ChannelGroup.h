// A host channel group, owned: destroyed with this object.
#ifndef HOSTKIT_CHANNELGROUP_H
#define HOSTKIT_CHANNELGROUP_H

#include <string>

#include <lwsdk/envelope.h>

#include "hostkit/Services.h"

namespace hostkit {

class ChannelGroup {
public:
    // Creates the group under parent (null: the root). A name the parent's
    // children already use becomes "name(0)", "name(1)", ... the first free.
    ChannelGroup(const std::string &name, LWChanGroupID parent);
    ~ChannelGroup();
    ChannelGroup(const ChannelGroup &) = delete;
    ChannelGroup &operator=(const ChannelGroup &) = delete;

    LWChanGroupID id() const { return id_; }
    const std::string &name() const { return name_; }

    // The name a new child of parent would get for the wanted name.
    static std::string uniqueName(const std::string &wanted, LWChanGroupID parent);

private:
    EnvelopeFuncs envelopes_;
    ChannelInfo channels_;
    LWChanGroupID id_ = nullptr;
    std::string name_;
};

} // namespace hostkit

#endif
