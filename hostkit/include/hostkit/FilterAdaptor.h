// Activation and callbacks of an image filter handler class T
// (an ImageFilterHandler; for the interface, an XPanelInterface too).
#ifndef HOSTKIT_FILTERADAPTOR_H
#define HOSTKIT_FILTERADAPTOR_H

#include <lwsdk/filter.h>

#include "hostkit/FrameAccess.h"
#include "hostkit/HandlerAdaptor.h"

namespace hostkit {

template <class T> struct ImageFilterAdaptor {
    static void process(LWInstance inst, const LWFilterAccess *access)
    {
        guardedVoid("An exception occured in ImageFilter::Process():", [&] {
            if (inst && access)
                static_cast<T *>(inst)->process(FrameAccess(access));
        });
    }

    static unsigned int flags(LWInstance inst)
    {
        return guarded("An exception occured in ImageFilter::Flags():", 0u,
                       [&] { return inst ? static_cast<T *>(inst)->flags() : 0u; });
    }

    static const int *hcFlags(LWInstance inst)
    {
        return guarded("An exception occured in ImageFilter::hcFlags():",
                       static_cast<const int *>(nullptr), [&]() -> const int * {
                           return inst ? static_cast<T *>(inst)->hcFlags() : nullptr;
                       });
    }

    static int activate(int version, GlobalFunc global, void *local, void *)
    {
        if (version > LWIMAGEFILTER_VERSION_LIST || version < LWIMAGEFILTER_VERSION_MASK)
            return AFUNC_BADVERSION;
        return guardedActivation("An exception occured in ImageFilter::Activate():", global,
                                 AFUNC_BADAPP, [&] {
                                     auto *table = static_cast<LWImageFilterHandler *>(local);
                                     if (!table || !table->inst)
                                         throwMissingTable("image filter handler");
                                     InstanceAdaptor<T>::fill(table->inst);
                                     ItemAdaptor<T>::fill(table->item);
                                     table->process = process;
                                     if (version == LWIMAGEFILTER_VERSION_MASK)
                                         table->flags.mask = flags;
                                     else
                                         table->flags.list = hcFlags;
                                     return AFUNC_OK;
                                 });
    }

    static int activateInterface(int version, GlobalFunc global, void *local, void *serverData)
    {
        return hostkit::activateInterface<T>(version >= LWIMAGEFILTER_VERSION_MASK, version, global,
                                             local, serverData);
    }
};

} // namespace hostkit

#endif
