// Layout-generic commands, and the command that opens a server's panel.
#ifndef HOSTKIT_LAYOUTGENERICHANDLER_H
#define HOSTKIT_LAYOUTGENERICHANDLER_H

#include <string>

#include <lwsdk/generic.h>

#include "hostkit/ExceptionBarrier.h"
#include "hostkit/HostInfo.h"

namespace hostkit {

class LayoutGenericHandler {
public:
    virtual ~LayoutGenericHandler() = default;
    virtual void run(const LWLayoutGeneric *access) = 0;
};

// Applies a scene-level server when it is missing, then opens its panel:
// "ApplyServer <class> <server>" and "EditServer <class> <n>".
class OpenPanelCommand : public LayoutGenericHandler {
public:
    OpenPanelCommand(const char *className, const char *serverName)
        : className_(className), serverName_(serverName)
    {
    }
    void run(const LWLayoutGeneric *access) override;

    // Position (from 1) of the server among the servers of its class applied
    // to the scene; 0 when it is not applied.
    int findServer() const;

private:
    const char *className_;
    const char *serverName_;
};

template <class T> struct LayoutGenericAdaptor {
    static int activate(int, GlobalFunc global, void *local, void *)
    {
        return guardedActivation("An exception occured in LayoutGeneric::Activate():", global,
                                 AFUNC_BADAPP, [&] {
                                     T command;
                                     command.run(static_cast<const LWLayoutGeneric *>(local));
                                     return AFUNC_OK;
                                 });
    }
};

} // namespace hostkit

#endif
