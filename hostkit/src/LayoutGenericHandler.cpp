#include "hostkit/LayoutGenericHandler.h"

#include <cstring>

#include "hostkit/Services.h"

namespace hostkit {

int OpenPanelCommand::findServer() const
{
    ItemInfo items;
    if (!items.available() || !items->server)
        return 0;
    for (int n = 1;; ++n) {
        const char *name = items->server(LWITEM_NULL, className_, n);
        if (!name)
            return 0;
        if (std::strcmp(name, serverName_) == 0)
            return n;
    }
}

void OpenPanelCommand::run(const LWLayoutGeneric *access)
{
    if (!access || !access->evaluate)
        return;
    if (findServer() == 0) {
        const std::string apply =
            std::string("ApplyServer ") + className_ + " " + serverName_;
        access->evaluate(access->data, apply.c_str());
    }
    const std::string edit = std::string("EditServer ") + className_ + " " +
                             std::to_string(findServer());
    access->evaluate(access->data, edit.c_str());
}

} // namespace hostkit
