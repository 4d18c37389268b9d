// Static C callbacks generated per handler class.
//
// The host knows an instance by the T* the create callback returned (as a
// void pointer); every callback casts it back, checks it and calls the
// handler's operation behind an exception barrier. T is constructed as
// T(priv, context, errorText) and copies with T::copy(const T &).
#ifndef HOSTKIT_HANDLERADAPTOR_H
#define HOSTKIT_HANDLERADAPTOR_H

#include <memory>
#include <stdexcept>
#include <string>

#include <lwsdk/handler.h>

#include "hostkit/BlockIO.h"
#include "hostkit/ExceptionBarrier.h"
#include "hostkit/HostInfo.h"

namespace hostkit {

// Storage of create's error text: the instance it came from is gone by the
// time the host reads it.
std::string &createErrorText();

template <class T> struct InstanceAdaptor {
    static T *handler(LWInstance inst) { return static_cast<T *>(inst); }

    static LWInstance create(void *priv, void *context, LWError *error)
    {
        T *made = nullptr;
        const char *text = guardedText(createErrorText(), [&] {
            std::string err;
            std::unique_ptr<T> instance(new T(priv, context, err));
            if (err.empty())
                made = instance.release();
            return err;
        });
        if (made)
            made->setHostInstance(static_cast<LWInstance>(made));
        if (error)
            *error = text;
        return made;
    }

    static void destroy(LWInstance inst)
    {
        guardedVoid("An exception occured in Instance::Destroy():",
                    [&] { delete handler(inst); });
    }

    static LWError copy(LWInstance to, LWInstance from)
    {
        if (!to || !from)
            return nullptr;
        return guardedText(handler(to)->hostText(), [&] {
            handler(to)->copy(*handler(from));
            return std::string();
        });
    }

    static LWError load(LWInstance inst, const LWLoadState *state)
    {
        if (!inst || !state)
            return nullptr;
        return guardedText(handler(inst)->hostText(), [&] {
            LoadState ls(state);
            return handler(inst)->load(ls);
        });
    }

    static LWError save(LWInstance inst, const LWSaveState *state)
    {
        if (!inst || !state)
            return nullptr;
        return guardedText(handler(inst)->hostText(), [&] {
            SaveState ss(state);
            return handler(inst)->save(ss);
        });
    }

    static const char *describe(LWInstance inst)
    {
        if (!inst)
            return nullptr;
        T *h = handler(inst);
        return guardedString(h->hostText(), [&]() -> std::string { return h->describe(); });
    }

    static void fill(LWInstanceFuncs *funcs)
    {
        funcs->priv = nullptr;
        funcs->create = create;
        funcs->destroy = destroy;
        funcs->copy = copy;
        funcs->load = load;
        funcs->save = save;
        funcs->descln = describe;
    }
};

template <class T> struct ItemAdaptor {
    static const LWItemID *useItems(LWInstance inst)
    {
        return guarded("An exception occured in Item::UseItems():",
                       static_cast<const LWItemID *>(nullptr), [&]() -> const LWItemID * {
                           return inst ? static_cast<T *>(inst)->useItems() : nullptr;
                       });
    }

    static void changeID(LWInstance inst, const LWItemID *ids)
    {
        guardedVoid("An exception occured in Item::ChangeID():", [&] {
            if (inst)
                static_cast<T *>(inst)->changeID(ids);
        });
    }

    // Item functions are offered only to a host that gave an item table and
    // is not Modeler.
    static void fill(LWItemFuncs *funcs)
    {
        if (!funcs || inModeler())
            return;
        funcs->useItems = useItems;
        funcs->changeID = changeID;
    }
};

[[noreturn]] void throwMissingTable(const char *what);

// The interface activation of a handler class T (an XPanelInterface): the
// handler builds its panel for the host's interface table.
template <class T>
int activateInterface(bool versionOk, int version, GlobalFunc global, void *local,
                      void *serverData)
{
    if (!versionOk)
        return AFUNC_BADVERSION;
    auto *ui = static_cast<LWInterface *>(local);
    if (!ui)
        return AFUNC_OK;
    return guardedActivation("An exception occured in Xpanel::Interface():", global, AFUNC_BADAPP,
                             [&] {
                                 if (!ui->inst)
                                     throwMissingTable("interface instance");
                                 return static_cast<T *>(ui->inst)->buildInterface(version, ui,
                                                                                   serverData);
                             });
}

} // namespace hostkit

#endif
