// "LWPanelServices": classic panels, whose text, list and canvas controls
// the host places top to bottom and draws through the module's callbacks.
#include "devhost/Panels.h"
#include "devhost/CallbackBarrier.h"
#include "devhost/PanelPainter.h"

#include <cstdint>
#include <ostream>

namespace devhost {

namespace {

constexpr std::uintptr_t kClassicBase = 0x4C500000;

// ---- "LWPanelServices"
LWPanelID cCreate(const char *title, void *) { return Panels::current().createClassic(title); }
void cDestroy(LWPanelID id) { Panels::current().destroyClassic(id); }
int cOpen(LWPanelID id, int flags) { return Panels::current().openClassic(id, flags); }
void cDraw(LWPanelID id, int mode) { Panels::current().drawClassic(id, mode); }
void cClose(LWPanelID id) { Panels::current().closeClassic(id); }
void cGet(LWPanelID id, int tag, LWValue *value)
{
    if (value)
        *value = Panels::current().classicGet(id, tag);
}
void cSet(LWPanelID id, int tag, LWValue *value)
{
    if (value)
        Panels::current().classicSet(id, tag, *value);
}
LWControl *cAddControl(LWPanelID id, const char *kind, LWPanControlDesc *desc, const char *label)
{
    return Panels::current().addControl(id, kind, desc, label);
}

ClassicControl *controlOf(LWControl *c) { return c ? static_cast<ClassicControl *>(c->priv) : nullptr; }

void ctlGet(LWControl *c, int tag, LWValue *value)
{
    ClassicControl *cc = controlOf(c);
    if (!cc || !value)
        return;
    Panels::current().layoutClassic(*cc->panel);
    const int top = cc->label.empty() ? 0 : PanelPainter::kLabelHeight;
    *value = LWValue{};
    switch (tag) {
    case CTL_X: value->intv = cc->x; break;
    case CTL_Y: value->intv = cc->y; break;
    case CTL_W: value->intv = cc->w; break;
    case CTL_H: value->intv = cc->h; break;
    // Inside the one-pixel frame, below the label.
    case CTL_HOTX: value->intv = cc->x + 1; break;
    case CTL_HOTY: value->intv = cc->y + top + 1; break;
    case CTL_HOTW: value->intv = cc->w - 2; break;
    case CTL_HOTH: value->intv = cc->h - top - 2; break;
    case CTL_USERDATA: value->ptr = cc->userData; break;
    case CTL_PANEL: value->ptr = cc->panel->id; break;
    default: break;
    }
}

void ctlSet(LWControl *c, int tag, LWValue *value)
{
    ClassicControl *cc = controlOf(c);
    if (!cc || !value)
        return;
    switch (tag) {
    case CTL_X: cc->x = value->intv; break;
    case CTL_Y: cc->y = value->intv; break;
    case CTL_W: cc->w = value->intv; break;
    case CTL_H: cc->h = value->intv; break;
    case CTL_USERDATA: cc->userData = value->ptr; break;
    case CTL_USERDRAW: cc->userDraw = value->func; break;
    default: break;
    }
}

void ctlDraw(LWControl *c, int)
{
    if (ClassicControl *cc = controlOf(c))
        PanelPainter::drawControlNow(*cc);
}

} // namespace

void Panels::offerClassicPanels()
{
    ctable_ = {1,
               guarded<cCreate>,
               guarded<cDestroy>,
               guarded<cOpen>,
               guarded<cDraw>,
               guarded<cClose>,
               guarded<cGet>,
               guarded<cSet>,
               guarded<cAddControl>,
               &PanelPainter::classicDrawing()};
    host_.services().offerTable(LWPANELFUNCS_GLOBAL, &ctable_);
}

ClassicPanel &Panels::classic(LWPanelID id)
{
    auto it = classics_.find(id);
    if (it == classics_.end())
        throw PanelError("the classic panel is gone");
    return *it->second;
}

ClassicPanel *Panels::openClassicTitled(const std::string &title)
{
    for (auto &[id, p] : classics_)
        if (p->open && p->title == title)
            return p.get();
    return nullptr;
}

LWPanelID Panels::createClassic(const char *title)
{
    auto p = std::make_unique<ClassicPanel>();
    p->title = title ? title : "";
    auto id = reinterpret_cast<LWPanelID>(kClassicBase + nextPanel_++);
    p->id = id;
    classics_[id] = std::move(p);
    return id;
}

void Panels::destroyClassic(LWPanelID id)
{
    auto it = classics_.find(id);
    if (it == classics_.end())
        return;
    PanelPainter::release(*it->second);
    classics_.erase(it);
}

void Panels::closeClassic(LWPanelID id)
{
    auto it = classics_.find(id);
    if (it == classics_.end() || !it->second->open)
        return;
    ClassicPanel &p = *it->second;
    p.closeRequested = true;
    if (!(p.openFlags & PANF_BLOCKING)) {
        p.open = false;
        auto cb = reinterpret_cast<void (*)(LWPanelID, void *)>(p.attributes[PAN_USERCLOSE].func);
        if (cb)
            cb(id, p.attributes[PAN_USERDATA].ptr);
    }
}

int Panels::openClassic(LWPanelID id, int flags)
{
    ClassicPanel &p = classic(id);
    p.openFlags = flags;
    p.open = true;
    p.closeRequested = false;
    layoutClassic(p);
    if (out_)
        *out_ << "panel \"" << p.title << "\" opened" << ((flags & PANF_BLOCKING) ? " (modal)" : "")
              << "\n";
    void *data = p.attributes[PAN_USERDATA].ptr;
    if (auto cb = reinterpret_cast<void (*)(LWPanelID, void *)>(p.attributes[PAN_USEROPEN].func))
        cb(id, data);
    drawClassic(id, DR_REFRESH);
    if (!(flags & PANF_BLOCKING))
        return 1;
    if (modal_)
        modal_(id);
    // The user closed it (or, without a script, it was shown and closed).
    if (classics_.count(id)) {
        ClassicPanel &q = classic(id);
        q.open = false;
        if (auto cb = reinterpret_cast<void (*)(LWPanelID, void *)>(q.attributes[PAN_USERCLOSE].func))
            cb(id, q.attributes[PAN_USERDATA].ptr);
    }
    if (out_)
        *out_ << "panel \"" << p.title << "\" closed\n";
    return 1;
}

void Panels::drawClassic(LWPanelID id, int mode)
{
    if (classics_.count(id))
        PanelPainter::paintClassic(*this, id, classic(id), mode);
}

LWValue Panels::classicGet(LWPanelID id, int tag)
{
    ClassicPanel &p = classic(id);
    LWValue v{};
    if (tag == PAN_W || tag == PAN_H) {
        layoutClassic(p);
        auto it = p.attributes.find(tag);
        v.intv = it == p.attributes.end() ? 0 : it->second.intv;
        return v;
    }
    auto it = p.attributes.find(tag);
    return it == p.attributes.end() ? v : it->second;
}

void Panels::classicSet(LWPanelID id, int tag, const LWValue &value)
{
    ClassicPanel &p = classic(id);
    p.attributes[tag] = value;
    if (tag == PAN_W)
        p.fixedWidth = true;
    if (tag == PAN_H)
        p.fixedHeight = true;
}

LWControl *Panels::addControl(LWPanelID id, const char *kind, const LWPanControlDesc *desc,
                              const char *label)
{
    if (!classics_.count(id) || !kind || !desc)
        return nullptr;
    ClassicPanel &p = classic(id);
    auto c = std::make_unique<ClassicControl>();
    c->panel = &p;
    c->kind = kind;
    c->label = label ? label : "";
    c->desc = *desc;
    const std::string k = kind;
    if (k == "TextControl" && desc->type == LWT_TEXT) {
        for (const char *const *l = desc->text.text; l && *l; ++l)
            c->lines.push_back(*l);
        c->desc.text.text = nullptr; // the module's list need not outlive the call
    } else if (!((k == "CanvasControl" && desc->type == LWT_CANVAS) ||
                 (k == "ListBoxControl" && desc->type == LWT_LISTBOX))) {
        if (out_)
            *out_ << "panel \"" << p.title << "\": unknown control kind \"" << k << "\"\n";
        return nullptr;
    }
    c->table.draw = guarded<ctlDraw>;
    c->table.get = guarded<ctlGet>;
    c->table.set = guarded<ctlSet>;
    c->table.priv = c.get();
    p.controls.push_back(std::move(c));
    PanelPainter::sizeControl(*p.controls.back());
    return &p.controls.back()->table;
}

void Panels::layoutClassic(ClassicPanel &p) { PanelPainter::layout(p); }

} // namespace devhost
