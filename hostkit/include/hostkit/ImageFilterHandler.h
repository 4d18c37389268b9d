// Base of image filter handlers.
#ifndef HOSTKIT_IMAGEFILTERHANDLER_H
#define HOSTKIT_IMAGEFILTERHANDLER_H

#include <lwsdk/filter.h>

#include "hostkit/FrameAccess.h"

#include "hostkit/InstanceHandler.h"

namespace hostkit {

class ImageFilterHandler : public InstanceHandler, public ItemHandler {
public:
    ImageFilterHandler(void *context, const char *className = LWIMAGEFILTER_HCLASS)
        : InstanceHandler(context, className)
    {
    }
    ~ImageFilterHandler() override = default;
    const std::string &describe() override { return InstanceHandler::describe(); }
    virtual void process(const FrameAccess &frame) = 0;
    // Bit mask of the host buffers the filter needs (version 4 hosts).
    virtual unsigned int flags() = 0;
    // Count, then that many host buffer numbers (version 5 hosts). The array
    // stays valid until the next call. Default: the empty list.
    virtual const int *hcFlags();
};

} // namespace hostkit

#endif
