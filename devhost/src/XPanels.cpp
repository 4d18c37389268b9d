// "LWXPanel": panels the host builds from the module's control, data and
// hint lists; views read and write through the module's get and set
// functions, forms keep their values in the panel.
#include "devhost/Panels.h"
#include "devhost/CallbackBarrier.h"
#include "devhost/PanelPainter.h"

#include <algorithm>
#include <cstdint>
#include <ostream>

namespace devhost {

namespace {

constexpr std::uintptr_t kXPanelBase = 0x58500000;

std::vector<unsigned int> idList(LWXPanelHint word)
{
    std::vector<unsigned int> ids;
    for (auto *p = reinterpret_cast<const unsigned int *>(word); p && *p; ++p)
        ids.push_back(*p);
    return ids;
}

// ---- "LWXPanel"
LWXPanelID xCreate(int type, const LWXPanelControl *controls)
{
    return Panels::current().create(type, controls);
}
void xDestroy(LWXPanelID id) { Panels::current().destroy(id, false); }
void xDescribe(LWXPanelID id, const LWXPanelDataDesc *data, LWXPanelGetFunc get,
               LWXPanelSetFunc set)
{
    Panels::current().describe(id, data, get, set);
}
void xHint(LWXPanelID id, unsigned int target, const LWXPanelHint *hints)
{
    Panels::current().hint(id, target, hints);
}
void *xGetData(LWXPanelID id, unsigned int target)
{
    Panels &f = Panels::current();
    if (!f.alive(id))
        return nullptr;
    auto &data = f.xpanel(id).userData;
    auto it = data.find(target);
    return it == data.end() ? nullptr : it->second;
}
void xSetData(LWXPanelID id, unsigned int target, void *data)
{
    Panels &f = Panels::current();
    if (f.alive(id))
        f.xpanel(id).userData[target] = data;
}
void *xFormGet(LWXPanelID id, unsigned int vid) { return Panels::current().formGet(id, vid); }
void xFormSet(LWXPanelID id, unsigned int vid, void *value) { Panels::current().formSet(id, vid, value); }
void xViewInst(LWXPanelID id, void *inst)
{
    Panels &f = Panels::current();
    if (f.alive(id))
        f.xpanel(id).instance = inst;
}
void xViewRefresh(LWXPanelID id)
{
    Panels &f = Panels::current();
    if (f.alive(id))
        ++f.xpanel(id).refreshes;
}
int xPost(LWXPanelID id) { return Panels::current().post(id); }

} // namespace

// ---- records

XControl *XPanelRecord::control(unsigned int id)
{
    for (XControl &c : controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

const XControl *XPanelRecord::control(unsigned int id) const
{
    return const_cast<XPanelRecord *>(this)->control(id);
}

std::string XControl::valueType() const
{
    if (!dataType.empty())
        return dataType;
    const std::string &k = kind;
    if (k == "iBoolean" || k == "iPopChoice" || k == "integer" || k == "vPopCmd")
        return "integer";
    if (k == "float" || k == "float-env" || k == "distance" || k == "percent")
        return "float";
    if (k == "string" || k == "sFileName" || k == "sPresetText" || k == "sInfo")
        return "string";
    return {};
}

std::string XPanelRecord::title() const
{
    auto it = labels.find(0);
    return it == labels.end() ? std::string() : it->second;
}

// ---- the service

void Panels::offerXPanels()
{
    xtable_ = {1,
               &PanelPainter::xpanelDrawing(),
               guarded<xCreate>,
               guarded<xDestroy>,
               guarded<xDescribe>,
               guarded<xHint>,
               guarded<xGetData>,
               guarded<xSetData>,
               guarded<xFormGet>,
               guarded<xFormSet>,
               guarded<xViewInst>,
               guarded<xViewRefresh>,
               guarded<xPost>};
    host_.services().offerTable(LWXPANELFUNCS_GLOBAL, &xtable_);
}

bool Panels::alive(LWXPanelID id) const { return xpanels_.count(id) != 0; }

XPanelRecord &Panels::xpanel(LWXPanelID id)
{
    auto it = xpanels_.find(id);
    if (it == xpanels_.end())
        throw PanelError("the panel is gone (the host destroyed it)");
    return *it->second;
}

LWXPanelID Panels::create(int type, const LWXPanelControl *controls)
{
    if ((type != LWXP_VIEW && type != LWXP_FORM) || !controls)
        return nullptr;
    auto p = std::make_unique<XPanelRecord>();
    p->type = type;
    for (const LWXPanelControl *c = controls; c->cid; ++c) {
        XControl x;
        x.id = c->cid;
        x.label = c->label ? c->label : "";
        x.kind = c->ctrlclass ? c->ctrlclass : "";
        p->controls.push_back(std::move(x));
    }
    auto id = reinterpret_cast<LWXPanelID>(kXPanelBase + nextPanel_++);
    p->id = id;
    xpanels_[id] = std::move(p);
    return id;
}

void Panels::describe(LWXPanelID id, const LWXPanelDataDesc *data, LWXPanelGetFunc get,
                      LWXPanelSetFunc set)
{
    if (!alive(id))
        return;
    XPanelRecord &p = xpanel(id);
    p.get = get;
    p.set = set;
    for (const LWXPanelDataDesc *d = data; d && d->vid; ++d)
        if (XControl *c = p.control(d->vid))
            c->dataType = d->datatype ? d->datatype : "";
}

void Panels::hint(LWXPanelID id, unsigned int target, const LWXPanelHint *hints)
{
    if (alive(id) && hints)
        interpretHints(xpanel(id), target, hints);
}

void Panels::interpretHints(XPanelRecord &p, unsigned int target, const LWXPanelHint *h)
{
    auto text = [](LWXPanelHint w) {
        const char *s = reinterpret_cast<const char *>(w);
        return std::string(s ? s : "");
    };
    auto fn = [](LWXPanelHint w) { return reinterpret_cast<void *>(w); };
    while (*h != XPTAG_END) {
        const LWXPanelHint tag = *h;
        const LWXPanelHint *a = h + 1;
        const unsigned int cid = static_cast<unsigned int>(a[0]);
        XControl *c = p.control(cid);
        switch (tag) {
        case XPTAG_LABEL: p.labels[cid ? cid : target] = text(a[1]); break;
        case XPTAG_POPFUNCS:
            if (c) {
                c->count = reinterpret_cast<LWXPanelPopCountFunc>(fn(a[1]));
                c->name = reinterpret_cast<LWXPanelPopNameFunc>(fn(a[2]));
            }
            break;
        case XPTAG_POPCMDFUNC:
            if (c)
                c->command = reinterpret_cast<LWXPanelPopCmdFunc>(fn(a[1]));
            break;
        case XPTAG_BUTNOTIFY:
            if (c)
                c->button = reinterpret_cast<LWXPanelButtonFunc>(fn(a[1]));
            break;
        case XPTAG_DRAWFUNC:
            if (c)
                c->draw = reinterpret_cast<LWXPanelDrawFunc>(fn(a[1]));
            break;
        case XPTAG_CHGNOTIFY: p.change = reinterpret_cast<LWXPanelChangeFunc>(fn(a[0])); break;
        case XPTAG_DESTROYNOTIFY:
            p.destroyNotify = reinterpret_cast<LWXPanelDestroyFunc>(fn(a[0]));
            break;
        case XPTAG_STRLIST:
            if (c) {
                std::vector<std::string> items;
                for (auto *s = reinterpret_cast<const char *const *>(a[1]); s && *s; ++s)
                    items.push_back(*s);
                c->items = std::move(items);
            }
            break;
        case XPTAG_GROUP: p.groups[cid] = idList(a[1]); break;
        case XPTAG_TABS: p.tabRows[cid] = idList(a[1]); break;
        case XPTAG_ORDER: p.order = idList(a[0]); break;
        case XPTAG_ENABLE: {
            XEnableRule r{cid, static_cast<int>(a[1]), 0, {}, idList(a[3]), text(a[4])};
            if (r.comparison == XPENABLE_MAP) {
                if (const int *m = reinterpret_cast<const int *>(a[2]))
                    r.map.assign(m + 1, m + 1 + std::max(m[0], 0));
            } else {
                r.value = static_cast<int>(static_cast<unsigned int>(a[2]));
            }
            p.rules.push_back(std::move(r));
            break;
        }
        case XPTAG_LINK: p.links[cid] = idList(a[1]); break;
        case XPTAG_FILEREQ:
            if (c) {
                c->requestType = static_cast<int>(a[1]);
                c->requestTitle = text(a[2]);
                c->requestFileType = text(a[3]);
            }
            break;
        default: break; // tags of other hosts' panels mean nothing here
        }
        h += 1 + (tag & 0xFF);
    }
}

void Panels::destroy(LWXPanelID id, bool notify)
{
    auto it = xpanels_.find(id);
    if (it == xpanels_.end())
        return;
    // Out of the map first: the module's notifications may destroy again.
    std::unique_ptr<XPanelRecord> p = std::move(it->second);
    xpanels_.erase(it);
    if (!notify)
        return;
    if (p->change)
        p->change(id, 0, 0, LWXPEVENT_DESTROY);
    if (p->destroyNotify) {
        auto data = p->userData.find(0);
        p->destroyNotify(data == p->userData.end() ? nullptr : data->second);
    }
}

void *Panels::formGet(LWXPanelID id, unsigned int vid)
{
    if (!alive(id))
        return nullptr;
    XPanelRecord &p = xpanel(id);
    const XControl *c = p.control(vid);
    auto it = p.form.find(vid);
    if (!c || it == p.form.end())
        return nullptr;
    const std::string type = c->valueType();
    if (type == "integer")
        return &it->second.i;
    if (XControl::floatType(type))
        return &it->second.f;
    return it->second.s.data();
}

void Panels::formSet(LWXPanelID id, unsigned int vid, void *value)
{
    if (!alive(id) || !value)
        return;
    XPanelRecord &p = xpanel(id);
    const XControl *c = p.control(vid);
    if (!c)
        return;
    XPanelRecord::Value &v = p.form[vid];
    const std::string type = c->valueType();
    if (type == "integer")
        v.i = *static_cast<const int *>(value);
    else if (XControl::floatType(type))
        v.f = *static_cast<const double *>(value);
    else
        v.s = static_cast<const char *>(value);
}

int Panels::post(LWXPanelID id)
{
    if (!alive(id))
        return 0;
    XPanelRecord &p = xpanel(id);
    if (forms_.empty()) {
        if (out_)
            *out_ << "form \"" << p.title() << "\": no answer queued, cancelled\n";
        return 0;
    }
    FormAnswer a = std::move(forms_.front());
    forms_.pop_front();
    // What the user could choose from, as the form shows it.
    if (out_)
        for (const XControl &c : p.controls)
            if (c.kind == "iPopChoice") {
                *out_ << "form \"" << p.title() << "\" offers " << c.label << ":";
                const std::vector<std::string> list = items(p, c);
                for (std::size_t i = 0; i < list.size(); ++i)
                    *out_ << (i ? " |" : "") << " " << list[i];
                *out_ << "\n";
            }
    for (const auto &[name, text] : a.values)
        setValue(p, findControl(p, name), text);
    if (out_)
        *out_ << "form \"" << p.title() << "\": " << (a.ok ? "ok" : "cancel") << "\n";
    return a.ok ? 1 : 0;
}

} // namespace devhost
