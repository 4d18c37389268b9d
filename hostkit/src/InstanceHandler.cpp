#include "hostkit/InstanceHandler.h"

namespace hostkit {

InstanceHandler::InstanceHandler(void *context, const char *className)
    : context_(context), className_(className)
{
}

InstanceHandler::~InstanceHandler() = default;

const std::string &InstanceHandler::describe() { return description_; }

void InstanceHandler::notifyUpdate() const
{
    instUpdate_.update(className_, hostInstance_);
}

const LWItemID *ItemHandler::useItems()
{
    idList_.clear();
    for (const LWItem &item : items_)
        idList_.push_back(item.id());
    idList_.push_back(LWITEM_NULL);
    return idList_.data();
}

void ItemHandler::changeID(const LWItemID *ids)
{
    if (!ids)
        return;
    for (LWItem &item : items_)
        for (const LWItemID *pair = ids; pair[0]; pair += 2)
            if (item.id() == pair[0])
                item.setId(pair[1]);
}

} // namespace hostkit
