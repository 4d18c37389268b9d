// A host item id with its name.
#ifndef HOSTKIT_LWITEM_H
#define HOSTKIT_LWITEM_H

#include <string>

#include <lwsdk/handler.h>

#include "hostkit/Storeable.h"

namespace hostkit {

class LWItem : public Storeable {
public:
    LWItem() = default;
    explicit LWItem(LWItemID id, int type = 0) : id_(id), type_(type) {}
    virtual ~LWItem() = default;

    LWItemID id() const { return id_; }
    int type() const { return type_; }
    void setId(LWItemID id) { id_ = id; }
    // The host's name of the item; "(none)" for the empty item.
    std::string name() const;

    // Block 'ITEM' holding 'ITID' (the id) and 'ITTY' (the item type).
    ErrorText load(LoadState &state) override;
    ErrorText save(SaveState &state) override;

private:
    LWItemID id_ = LWITEM_NULL;
    int type_ = 0;
};

} // namespace hostkit

#endif
