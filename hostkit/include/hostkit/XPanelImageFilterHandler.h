// An image filter whose interface is an XPanel.
#ifndef HOSTKIT_XPANELIMAGEFILTERHANDLER_H
#define HOSTKIT_XPANELIMAGEFILTERHANDLER_H

#include "hostkit/ImageFilterHandler.h"
#include "hostkit/XPanel.h"

namespace hostkit {

class XPanelImageFilterHandler : public ImageFilterHandler, public XPanelInterface {
public:
    using ImageFilterHandler::ImageFilterHandler;
    ~XPanelImageFilterHandler() override = default;
    int buildInterface(int version, LWInterface *local, void *serverData) override = 0;

protected:
    XPanelFuncs xpanelFuncs_;
};

} // namespace hostkit

#endif
