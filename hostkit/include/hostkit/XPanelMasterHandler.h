// A master handler whose interface is an XPanel.
#ifndef HOSTKIT_XPANELMASTERHANDLER_H
#define HOSTKIT_XPANELMASTERHANDLER_H

#include "hostkit/MasterHandler.h"
#include "hostkit/XPanel.h"

namespace hostkit {

class XPanelMasterHandler : public MasterHandler, public XPanelInterface {
public:
    using MasterHandler::MasterHandler;
    ~XPanelMasterHandler() override = default;
    int buildInterface(int version, LWInterface *local, void *serverData) override = 0;

protected:
    XPanelFuncs xpanelFuncs_;
};

} // namespace hostkit

#endif
