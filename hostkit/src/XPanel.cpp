#include "hostkit/XPanel.h"

#include <vector>

#include "hostkit/ExceptionBarrier.h"

namespace hostkit {

void XPanel::reset()
{
    if (owns_ && id_ && available() && table()->destroy)
        table()->destroy(id_);
    forget();
}

namespace {

// Each thunk holds a use of "LWXPanel" for its duration.
void *getThunk(void *inst, unsigned int vid)
{
    XPanelFuncs hold;
    return guarded("An exception occured in XPanel::Get():", static_cast<void *>(nullptr),
                   [&] { return inst ? static_cast<XPanelInterface *>(inst)->get(vid) : nullptr; });
}

int setThunk(void *inst, unsigned int vid, void *value)
{
    XPanelFuncs hold;
    return guarded("An exception occured in XPanel::Set():", 0,
                   [&] { return inst ? static_cast<XPanelInterface *>(inst)->set(vid, value) : 0; });
}

XPanelInterface *panelUser(LWXPanelID panel)
{
    XPanelFuncs funcs;
    if (!funcs.available() || !funcs.table()->getData)
        return nullptr;
    return static_cast<XPanelInterface *>(funcs.table()->getData(panel, 0));
}

void changeThunk(LWXPanelID panel, unsigned long cid, unsigned long vid, int event)
{
    guardedVoid("An exception occured in XPanel::ChangeNotify():", [&] {
        if (XPanelInterface *user = panelUser(panel))
            user->changeNotify(panel, static_cast<unsigned int>(cid),
                               static_cast<unsigned int>(vid), event);
    });
}

void destroyThunk(void *data)
{
    XPanelFuncs hold;
    guardedVoid("An exception occured in XPanel::DestroyNotify():", [&] {
        if (data)
            static_cast<XPanelInterface *>(data)->destroyNotify();
    });
}

LWXPanelHint word(const void *p) { return reinterpret_cast<LWXPanelHint>(p); }

template <class F> LWXPanelHint functionWord(F *f)
{
    return reinterpret_cast<LWXPanelHint>(reinterpret_cast<void *>(f));
}

} // namespace

void *XPanelInterface::get(unsigned int) { return nullptr; }
int XPanelInterface::set(unsigned int, void *) { return 0; }
void XPanelInterface::buttonClick(unsigned int) {}
void XPanelInterface::changeNotify(LWXPanelID, unsigned int, unsigned int, int) {}
void XPanelInterface::destroyNotify() { panel_.forget(); }
void XPanelInterface::draw(unsigned int, const DrawContext &) {}
void XPanelInterface::otherNotify() {}

int XPanelInterface::buildInterface(int, LWInterface *, void *) { return 0; }

void XPanelInterface::createViewPanel(const LWXPanelControl *controls,
                                      const LWXPanelDataDesc *data,
                                      const LWXPanelHint *hints, bool destroyNotify)
{
    if (!panel_.available() || !panel_.table()->create)
        return;
    const LWXPanelFuncs *f = panel_.table();
    panel_.assign(f->create(LWXP_VIEW, controls), destroyNotify);
    if (!panel_.id())
        return;
    f->describe(panel_.id(), data, getThunk, setThunk);
    f->viewInst(panel_.id(), this);
    f->setData(panel_.id(), 0, this);
    if (hints)
        f->hint(panel_.id(), 0, hints);
    const LWXPanelHint change[] = {XPTAG_CHGNOTIFY, functionWord(changeThunk), XPTAG_END};
    f->hint(panel_.id(), 0, change);
    if (destroyNotify) {
        const LWXPanelHint destroy[] = {XPTAG_DESTROYNOTIFY, functionWord(destroyThunk),
                                        word(nullptr), XPTAG_END};
        f->hint(panel_.id(), 0, destroy);
    }
}

} // namespace hostkit
