// Activation and callbacks of a master handler class T (a MasterHandler;
// for the interface, an XPanelInterface too).
#ifndef HOSTKIT_MASTERADAPTOR_H
#define HOSTKIT_MASTERADAPTOR_H

#include <lwsdk/master.h>

#include "hostkit/HandlerAdaptor.h"

namespace hostkit {

template <class T> struct MasterAdaptor {
    static double event(LWInstance inst, const LWMasterAccess *access)
    {
        return guarded("An exception occured in MasterAdaptor::Event():", 0.0,
                       [&] { return inst ? static_cast<T *>(inst)->event(access) : 0.0; });
    }

    static unsigned int flags(LWInstance inst)
    {
        return guarded("An exception occured in MasterAdaptor::Flags():", 0u,
                       [&] { return inst ? static_cast<T *>(inst)->flags() : 0u; });
    }

    // Only the table layout of LWMASTER_VERSION is known; other versions
    // answer AFUNC_BADVERSION touching nothing.
    static int activate(int version, GlobalFunc global, void *local, void *)
    {
        if (version != LWMASTER_VERSION)
            return AFUNC_BADVERSION;
        return guardedActivation("An exception occured in MasterAdaptor::Activate():", global,
                                 AFUNC_BADAPP, [&] {
                                     auto *table = static_cast<LWMasterHandler *>(local);
                                     if (!table || !table->inst)
                                         throwMissingTable("master handler");
                                     InstanceAdaptor<T>::fill(table->inst);
                                     ItemAdaptor<T>::fill(table->item);
                                     table->type = LWMAST_SCENE;
                                     table->event = event;
                                     table->flags = flags;
                                     return AFUNC_OK;
                                 });
    }

    static int activateInterface(int version, GlobalFunc global, void *local, void *serverData)
    {
        return hostkit::activateInterface<T>(version == LWMASTER_VERSION, version, global, local,
                                             serverData);
    }
};

} // namespace hostkit

#endif
