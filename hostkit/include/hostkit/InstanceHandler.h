// Bases of every handler the host creates instances of.
#ifndef HOSTKIT_INSTANCEHANDLER_H
#define HOSTKIT_INSTANCEHANDLER_H

#include <string>
#include <vector>

#include <lwsdk/handler.h>

#include "hostkit/LWItem.h"
#include "hostkit/Services.h"
#include "hostkit/Storeable.h"

namespace hostkit {

class InstanceHandler : public virtual Storeable {
public:
    // context: what the host passed at creation; className: the handler's
    // host class ("ImageFilterHandler", ...).
    InstanceHandler(void *context, const char *className);
    virtual ~InstanceHandler();
    virtual const std::string &describe();

    void *context() const { return context_; }
    const char *className() const { return className_; }

    // The pointer the host knows this instance by (set by the adaptor).
    LWInstance hostInstance() const { return hostInstance_; }
    void setHostInstance(LWInstance inst) { hostInstance_ = inst; }

    // Scratch for error and description texts handed to the host; they must
    // outlive the callback that returns them.
    std::string &hostText() { return hostText_; }

protected:
    // Tells the host this instance changed (after a settings change).
    void notifyUpdate() const;

    std::string description_;

private:
    void *context_;
    const char *className_;
    InstUpdate instUpdate_;
    LWInstance hostInstance_ = nullptr;
    std::string hostText_;
};

class ItemHandler {
public:
    virtual ~ItemHandler() = default;
    // Ids of the held items, ending with a null id.
    virtual const LWItemID *useItems();
    // ids: (old, new) pairs ending with a null old id.
    virtual void changeID(const LWItemID *ids);

protected:
    std::vector<LWItem> items_;

private:
    std::vector<LWItemID> idList_;
};

} // namespace hostkit

#endif
