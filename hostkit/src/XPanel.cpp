#include "hostkit/XPanel.h"

#include <cstring>

#include "hostkit/ExceptionBarrier.h"

namespace hostkit {

void XPanel::reset()
{
    if (owns_ && id_ && available() && table()->destroy)
        table()->destroy(id_);
    forget();
}

void DrawContext::box(int r, int g, int b, int x, int y, int w, int h) const
{
    if (drawFunctions && drawFunctions->drawRGBBox)
        drawFunctions->drawRGBBox(region, r, g, b, x, y, w, h);
}

void DrawContext::pixel(int r, int g, int b, int x, int y) const
{
    if (drawFunctions && drawFunctions->drawPixel)
        drawFunctions->drawPixel(region, r, g, b, x, y);
}

void DrawContext::text(const std::string &s, int r, int g, int b, int x, int y) const
{
    if (drawFunctions && drawFunctions->drawText)
        drawFunctions->drawText(region, s.c_str(), r, g, b, x, y);
}

int DrawContext::textWidth(const std::string &s) const
{
    return drawFunctions && drawFunctions->textWidth ? drawFunctions->textWidth(region, s.c_str())
                                                     : 0;
}

int DrawContext::textHeight() const
{
    return drawFunctions && drawFunctions->textHeight ? drawFunctions->textHeight(region) : 0;
}

const char *PopUpCallback::nameForHost(int index)
{
    std::string &kept = hostNames_[index];
    kept = popName(index);
    return kept.c_str();
}

int PopUpCallback::countForHost()
{
    hostNames_.clear();
    return popCount();
}

namespace {

// Each thunk holds a use of "LWXPanel" for its duration, so the service
// cannot go while the module is inside one of its callbacks.
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

// The popup functions get the control's user data: a PopUpCallback, or
// nothing when the handler never set one (then the list is empty).
int popCountThunk(void *data)
{
    XPanelFuncs hold;
    return guarded("An exception occured in XPanel::PopCount():", 0, [&] {
        return data ? static_cast<PopUpCallback *>(data)->countForHost() : 0;
    });
}

const char *popNameThunk(void *data, int index)
{
    XPanelFuncs hold;
    return guarded("An exception occured in XPanel::PopName():", static_cast<const char *>(""),
                   [&]() -> const char * {
                       return data ? static_cast<PopUpCallback *>(data)->nameForHost(index) : "";
                   });
}

void *userData(LWXPanelID panel, unsigned int id)
{
    XPanelFuncs funcs;
    if (!panel || !funcs.available() || !funcs.table()->getData)
        return nullptr;
    return funcs.table()->getData(panel, id);
}

XPanelInterface *panelUser(LWXPanelID panel)
{
    return static_cast<XPanelInterface *>(userData(panel, 0));
}

void popCommandThunk(LWXPanelID panel, unsigned int cid, int command)
{
    XPanelFuncs hold;
    guardedVoid("An exception occured in XPanel::PopCommand():", [&] {
        auto *items = static_cast<PopUpCallback *>(userData(panel, cid));
        if (auto *target = dynamic_cast<PopCommandTarget *>(items))
            target->popCommand(cid, command);
    });
}

void buttonThunk(LWXPanelID panel, unsigned int cid)
{
    XPanelFuncs hold;
    guardedVoid("An exception occured in XPanel::ButtonClick():", [&] {
        if (XPanelInterface *user = panelUser(panel))
            user->buttonClick(cid);
    });
}

void changeThunk(LWXPanelID panel, unsigned int cid, unsigned int vid, int event)
{
    XPanelFuncs hold;
    guardedVoid("An exception occured in XPanel::ChangeNotify():", [&] {
        if (XPanelInterface *user = panelUser(panel))
            user->changeNotify(panel, cid, vid, event);
    });
}

void drawThunk(LWXPanelID panel, unsigned int cid, void *region, int width, int height)
{
    XPanelFuncs hold;
    guardedVoid("An exception occured in XPanel::Draw():", [&] {
        if (XPanelInterface *user = panelUser(panel))
            user->draw(cid, DrawContext{region, hold.available() ? hold.table()->drawf : nullptr,
                                        width, height});
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

// ---- HintList

const unsigned int *HintList::keep(Ids ids)
{
    lists_.emplace_back(ids);
    lists_.back().push_back(0);
    return lists_.back().data();
}

HintList &HintList::raw(std::initializer_list<LWXPanelHint> words)
{
    if (ended_)
        words_.pop_back();
    ended_ = false;
    words_.insert(words_.end(), words);
    return *this;
}

HintList &HintList::label(unsigned int id, const char *text)
{
    return raw({XPTAG_LABEL, id, word(text), 0});
}

HintList &HintList::items(unsigned int cid, const char *const *nullTerminated)
{
    return raw({XPTAG_STRLIST, cid, word(nullTerminated)});
}

HintList &HintList::group(unsigned int gid, Ids members)
{
    return raw({XPTAG_GROUP, gid, word(keep(members))});
}

HintList &HintList::group(unsigned int gid, const char *text, Ids members)
{
    return group(gid, members).label(gid, text);
}

HintList &HintList::tabs(unsigned int rowId, Ids pages)
{
    return raw({XPTAG_TABS, rowId, word(keep(pages))});
}

HintList &HintList::order(Ids ids) { return raw({XPTAG_ORDER, word(keep(ids))}); }

HintList &HintList::enable(unsigned int controller, int comparison, int value, Ids ids,
                           const char *message)
{
    return raw({XPTAG_ENABLE, controller, static_cast<LWXPanelHint>(comparison),
                static_cast<LWXPanelHint>(static_cast<unsigned int>(value)), word(keep(ids)),
                word(message)});
}

HintList &HintList::enableWhenEqual(unsigned int controller, int value, Ids ids,
                                    const char *message)
{
    return enable(controller, XPENABLE_EQUAL, value, ids, message);
}

HintList &HintList::enableUnlessEqual(unsigned int controller, int value, Ids ids,
                                      const char *message)
{
    return enable(controller, XPENABLE_NOTEQUAL, value, ids, message);
}

HintList &HintList::enableFrom(unsigned int controller, int value, Ids ids, const char *message)
{
    return enable(controller, XPENABLE_ATLEAST, value, ids, message);
}

HintList &HintList::enableWhereMapped(unsigned int controller, const std::vector<int> &map, Ids ids,
                                      const char *message)
{
    maps_.emplace_back(1, static_cast<int>(map.size()));
    maps_.back().insert(maps_.back().end(), map.begin(), map.end());
    return raw({XPTAG_ENABLE, controller, static_cast<LWXPanelHint>(XPENABLE_MAP),
                word(maps_.back().data()), word(keep(ids)), word(message)});
}

HintList &HintList::refresh(unsigned int controller, Ids ids)
{
    return raw({XPTAG_LINK, controller, word(keep(ids))});
}

HintList &HintList::fileRequester(unsigned int cid, int type, const char *title,
                                  const char *fileType)
{
    return raw({XPTAG_FILEREQ, cid, static_cast<LWXPanelHint>(type), word(title),
                word(fileType)});
}

HintList &HintList::popup(unsigned int cid)
{
    return raw({XPTAG_POPFUNCS, cid, functionWord(popCountThunk), functionWord(popNameThunk)});
}

HintList &HintList::popupCommand(unsigned int cid)
{
    return popup(cid).raw({XPTAG_POPCMDFUNC, cid, functionWord(popCommandThunk)});
}

HintList &HintList::button(unsigned int cid)
{
    return raw({XPTAG_BUTNOTIFY, cid, functionWord(buttonThunk)});
}

HintList &HintList::drawing(unsigned int cid)
{
    return raw({XPTAG_DRAWFUNC, cid, functionWord(drawThunk)});
}

const LWXPanelHint *HintList::data()
{
    // Ended in place; the next word added replaces the end.
    words_.push_back(XPTAG_END);
    const LWXPanelHint *d = words_.data();
    ended_ = true;
    return d;
}

namespace {

// The list lives to the end of the caller's statement, past the host's copy.
void applyHints(const XPanel &panel, HintList &hints)
{
    if (panel.id() && panel.available())
        panel.table()->hint(panel.id(), 0, hints.data());
}

} // namespace

// ---- XPanelInterface

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
    applyHints(panel_, HintList().raw({XPTAG_CHGNOTIFY, functionWord(changeThunk)}));
    if (destroyNotify)
        applyHints(panel_, HintList().raw({XPTAG_DESTROYNOTIFY, functionWord(destroyThunk),
                                           word(nullptr)}));
    // Each control kind that calls back gets its one thunk; only command
    // popups get the command thunk, so a plain popup's user data is never
    // taken for a command target.
    for (const LWXPanelControl *c = controls; c && c->cid; ++c) {
        const char *kind = c->ctrlclass ? c->ctrlclass : "";
        if (!std::strcmp(kind, "vButton"))
            wireButton(c->cid);
        else if (!std::strcmp(kind, "dThumbnail"))
            wireDrawing(c->cid);
        else if (!std::strcmp(kind, "vPopCmd"))
            applyHints(panel_, HintList().popupCommand(c->cid));
    }
}

void XPanelInterface::wireButton(unsigned int cid)
{
    applyHints(panel_, HintList().button(cid));
}

void XPanelInterface::wireDrawing(unsigned int cid)
{
    applyHints(panel_, HintList().drawing(cid));
}

void XPanelInterface::wirePopup(unsigned int cid, PopUpCallback *items)
{
    if (!panel_.id())
        return;
    panel_.table()->setData(panel_.id(), cid, items);
    applyHints(panel_, HintList().popup(cid));
}

void XPanelInterface::wirePopupCommand(unsigned int cid, PopCommandTarget *commands)
{
    if (panel_.id())
        panel_.table()->setData(panel_.id(), cid, static_cast<PopUpCallback *>(commands));
}

void XPanelInterface::refreshPanel()
{
    if (panel_.id() && panel_.table()->viewRefresh)
        panel_.table()->viewRefresh(panel_.id());
}

// ---- XPanelForm

XPanelForm::XPanelForm(const LWXPanelControl *controls, const LWXPanelDataDesc *data,
                       const LWXPanelHint *hints)
{
    if (!panel_.available() || !panel_.table()->create)
        return;
    const LWXPanelFuncs *f = panel_.table();
    panel_.assign(f->create(LWXP_FORM, controls), true);
    if (!panel_.id())
        return;
    f->describe(panel_.id(), data, nullptr, nullptr);
    if (hints)
        f->hint(panel_.id(), 0, hints);
}

void XPanelForm::setPopup(unsigned int cid, PopUpCallback *items)
{
    if (!valid())
        return;
    panel_.table()->setData(panel_.id(), cid, items);
    applyHints(panel_, HintList().popup(cid));
}

void XPanelForm::setInt(unsigned int vid, int value)
{
    if (valid())
        panel_.table()->formSet(panel_.id(), vid, &value);
}

void XPanelForm::setString(unsigned int vid, const std::string &value)
{
    if (valid())
        panel_.table()->formSet(panel_.id(), vid, const_cast<char *>(value.c_str()));
}

int XPanelForm::getInt(unsigned int vid, int fallback) const
{
    const void *v = valid() ? panel_.table()->formGet(panel_.id(), vid) : nullptr;
    return v ? *static_cast<const int *>(v) : fallback;
}

std::string XPanelForm::getString(unsigned int vid) const
{
    const void *v = valid() ? panel_.table()->formGet(panel_.id(), vid) : nullptr;
    return v ? static_cast<const char *>(v) : "";
}

bool XPanelForm::post() { return valid() && panel_.table()->post(panel_.id()) == 1; }

} // namespace hostkit
