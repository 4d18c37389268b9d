#include "devhost/Panels.h"
#include "devhost/PanelPainter.h"

namespace devhost {

// XPanels, classic panels and the file requester are three service families
// (XPanels.cpp, ClassicPanels.cpp, FileRequester.cpp) in one object: they
// share the answers a script queues, the output and the panel ids.
Panels::Panels(Host &host) : host_(host)
{
    offerXPanels();
    offerClassicPanels();
    offerFileRequester();
}

Panels::~Panels()
{
    host_.services().withdraw(LWXPANELFUNCS_GLOBAL);
    host_.services().withdraw(LWPANELFUNCS_GLOBAL);
    host_.services().withdraw(LWFILEREQFUNC_GLOBAL);
    for (auto &[id, p] : classics_)
        PanelPainter::release(*p);
}

Panels &Panels::of(Host &host) { return host.extensions().get<Panels>(); }

Panels &Panels::current()
{
    Host *h = Host::current();
    if (!h)
        throw PanelError("no host");
    return of(*h);
}

void Panels::snapshot(LWXPanelID id, const std::string &png)
{
    PanelPainter::writeXPanel(*this, id, xpanel(id), png);
}

void Panels::snapshot(LWPanelID id, const std::string &png)
{
    PanelPainter::writeClassic(*this, id, classic(id), png);
}

} // namespace devhost
