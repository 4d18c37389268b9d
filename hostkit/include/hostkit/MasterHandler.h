// Base of master handlers: scene-wide handlers that see the host's events.
#ifndef HOSTKIT_MASTERHANDLER_H
#define HOSTKIT_MASTERHANDLER_H

#include <lwsdk/master.h>

#include "hostkit/InstanceHandler.h"

namespace hostkit {

class MasterHandler : public InstanceHandler, public ItemHandler {
public:
    explicit MasterHandler(void *context, const char *className = LWMASTER_HCLASS)
        : InstanceHandler(context, className)
    {
    }
    ~MasterHandler() override = default;
    const std::string &describe() override { return InstanceHandler::describe(); }
    // A host event (access->eventCode and its data). Default: ignored, 0.
    virtual double event(const LWMasterAccess *access);
    // The host flags the master asks for.
    virtual unsigned int flags() = 0;
};

} // namespace hostkit

#endif
