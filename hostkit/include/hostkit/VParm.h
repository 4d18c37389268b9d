// An envelope-able host value ("LWVParmFuncs 2"), owned.
#ifndef HOSTKIT_VPARM_H
#define HOSTKIT_VPARM_H

#include <string>

#include <lwsdk/envelope.h>

#include "hostkit/Services.h"
#include "hostkit/Storeable.h"

namespace hostkit {

// Its load and save go through the host's own parameter I/O.
class VParm : public Storeable {
public:
    // A float parameter with the given channel name in group.
    VParm(const std::string &channelName, LWChanGroupID group, const char *pluginName,
          double initial);
    virtual ~VParm();
    VParm(const VParm &) = delete;
    VParm &operator=(const VParm &) = delete;

    // The value at a time; the initial value without the host service.
    double value(LWTime time) const;
    // The value at the host's current time, as a panel shows it.
    double panelValue() const;
    void set(double value);
    // Copies value and envelope from another parameter.
    void copyFrom(const VParm &other);
    LWVParmID id() const { return id_; }

    ErrorText load(LoadState &state) override;
    ErrorText save(SaveState &state) override;

private:
    VParmFuncs funcs_;
    LWVParmID id_ = nullptr;
    double fallback_;
};

} // namespace hostkit

#endif
