// "Animation Envelopes", "Channel Info 2" and "LWVParmFuncs 2": channel
// groups holding channels, envelopes of keyed values, and variant
// parameters (a value that an envelope may drive).
#ifndef DEVHOST_ENVELOPES_H
#define DEVHOST_ENVELOPES_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <lwsdk/envelope.h>

#include "devhost/Extensions.h"

namespace devhost {

class Host;

class Envelopes : public ServiceFamily {
public:
    explicit Envelopes(Host &host);
    ~Envelopes() override;

    // Names of the child groups of a group (null: the root), in order.
    std::vector<std::string> childGroups(LWChanGroupID parent) const;
    LWChanGroupID findGroup(LWChanGroupID parent, const std::string &name) const;
    std::vector<std::string> channels(LWChanGroupID group) const;
    int liveGroups() const;
    int liveParameters() const;
};

} // namespace devhost

// The objects behind the opaque ids.
struct st_LWEnvelope {
    std::string name;
    int type = 0;
    double initial = 0.0; // value while there are no keys
    std::vector<std::pair<double, double>> keys; // (time, value), sorted by time
    double evaluate(double time) const;
};

struct st_LWChannel {
    std::string name;
    st_LWChanGroup *parent = nullptr;
    st_LWEnvelope *envelope = nullptr; // owned by the channel's parameter
    st_LWVParm *parameter = nullptr;
};

struct st_LWChanGroup {
    std::string name;
    st_LWChanGroup *parent = nullptr;
    std::vector<std::unique_ptr<st_LWChanGroup>> groups;
    std::vector<std::unique_ptr<st_LWChannel>> channels;
};

struct st_LWVParm {
    int envType = 0;
    int dataType = 0;
    double value = 0.0;
    int state = 0;
    std::unique_ptr<st_LWEnvelope> envelope;
    st_LWChannel *channel = nullptr;
};

#endif
