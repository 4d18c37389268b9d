#include "devhost/Panels.h"
#include "devhost/CallbackBarrier.h"
#include "devhost/PanelPainter.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <ostream>

namespace devhost {

namespace {

constexpr std::uintptr_t kXPanelBase = 0x58500000;
constexpr std::uintptr_t kClassicBase = 0x4C500000;

Panels &family()
{
    Host *h = Host::current();
    if (!h)
        throw PanelError("no host");
    return Panels::of(*h);
}

std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isNumber(const std::string &s, long *out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (*end)
        return false;
    *out = v;
    return true;
}

// The value type a control kind stands for.
std::string valueKind(const XControl &c)
{
    if (!c.dataType.empty())
        return c.dataType;
    const std::string &k = c.kind;
    if (k == "iBoolean" || k == "iPopChoice" || k == "integer" || k == "vPopCmd")
        return "integer";
    if (k == "float" || k == "float-env" || k == "distance" || k == "percent")
        return "float";
    if (k == "string" || k == "sFileName" || k == "sPresetText" || k == "sInfo")
        return "string";
    return {};
}

bool isFloat(const std::string &type) { return type == "float" || type == "float-env"; }

std::vector<unsigned int> idList(LWXPanelHint word)
{
    std::vector<unsigned int> ids;
    for (auto *p = reinterpret_cast<const unsigned int *>(word); p && *p; ++p)
        ids.push_back(*p);
    return ids;
}

// An item by its text as shown, or by its index; -1 when neither.
int itemIndex(const std::vector<std::string> &list, const std::string &text)
{
    for (std::size_t k = 0; k < list.size(); ++k)
        if (list[k] == text)
            return static_cast<int>(k);
    long index = -1;
    if (!isNumber(text, &index) || index < 0 || index >= static_cast<long>(list.size()))
        return -1;
    return static_cast<int>(index);
}

std::string numberText(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

// ---- "LWXPanel"
LWXPanelID xCreate(int type, const LWXPanelControl *controls)
{
    return family().create(type, controls);
}
void xDestroy(LWXPanelID id) { family().destroy(id, false); }
void xDescribe(LWXPanelID id, const LWXPanelDataDesc *data, LWXPanelGetFunc get,
               LWXPanelSetFunc set)
{
    family().describe(id, data, get, set);
}
void xHint(LWXPanelID id, unsigned int target, const LWXPanelHint *hints)
{
    family().hint(id, target, hints);
}
void *xGetData(LWXPanelID id, unsigned int target)
{
    Panels &f = family();
    if (!f.alive(id))
        return nullptr;
    auto &data = f.xpanel(id).userData;
    auto it = data.find(target);
    return it == data.end() ? nullptr : it->second;
}
void xSetData(LWXPanelID id, unsigned int target, void *data)
{
    Panels &f = family();
    if (f.alive(id))
        f.xpanel(id).userData[target] = data;
}
void *xFormGet(LWXPanelID id, unsigned int vid) { return family().formGet(id, vid); }
void xFormSet(LWXPanelID id, unsigned int vid, void *value) { family().formSet(id, vid, value); }
void xViewInst(LWXPanelID id, void *inst)
{
    Panels &f = family();
    if (f.alive(id))
        f.xpanel(id).instance = inst;
}
void xViewRefresh(LWXPanelID id)
{
    Panels &f = family();
    if (f.alive(id))
        ++f.xpanel(id).refreshes;
}
int xPost(LWXPanelID id) { return family().post(id); }

// ---- "LWPanelServices"
LWPanelID cCreate(const char *title, void *) { return family().createClassic(title); }
void cDestroy(LWPanelID id) { family().destroyClassic(id); }
int cOpen(LWPanelID id, int flags) { return family().openClassic(id, flags); }
void cDraw(LWPanelID id, int mode) { family().drawClassic(id, mode); }
void cClose(LWPanelID id) { family().closeClassic(id); }
void cGet(LWPanelID id, int tag, LWValue *value)
{
    if (value)
        *value = family().classicGet(id, tag);
}
void cSet(LWPanelID id, int tag, LWValue *value)
{
    if (value)
        family().classicSet(id, tag, *value);
}
LWControl *cAddControl(LWPanelID id, const char *kind, LWPanControlDesc *desc, const char *label)
{
    return family().addControl(id, kind, desc, label);
}

ClassicControl *controlOf(LWControl *c) { return c ? static_cast<ClassicControl *>(c->priv) : nullptr; }

void ctlGet(LWControl *c, int tag, LWValue *value)
{
    ClassicControl *cc = controlOf(c);
    if (!cc || !value)
        return;
    family().layoutClassic(*cc->panel);
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

// ---- "File Request 2"
int fileRequestThunk(int, LWFileReqLocal *request) { return family().fileRequest(request); }

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

std::string XPanelRecord::title() const
{
    auto it = labels.find(0);
    return it == labels.end() ? std::string() : it->second;
}

// ---- the family

Panels::Panels(Host &host) : host_(host)
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
    host_.services().offerTable(LWXPANELFUNCS_GLOBAL, &xtable_);
    host_.services().offerTable(LWPANELFUNCS_GLOBAL, &ctable_);
    host_.services().offer(LWFILEREQFUNC_GLOBAL, [] {
        return reinterpret_cast<void *>(guarded<fileRequestThunk>);
    });
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
    const std::string type = valueKind(*c);
    if (type == "integer")
        return &it->second.i;
    if (isFloat(type))
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
    const std::string type = valueKind(*c);
    if (type == "integer")
        v.i = *static_cast<const int *>(value);
    else if (isFloat(type))
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

// ---- what a user does

bool Panels::visible(const XPanelRecord &p, unsigned int id) const
{
    // Walk up the groups; a page of a tab row shows only while chosen.
    for (int guard = 0; guard < 32; ++guard) {
        unsigned int parent = 0;
        for (const auto &[g, members] : p.groups)
            if (std::find(members.begin(), members.end(), id) != members.end())
                parent = g;
        for (const auto &[row, pages] : p.tabRows)
            if (std::find(pages.begin(), pages.end(), id) != pages.end()) {
                auto chosen = p.chosenPage.find(row);
                const unsigned int shown = chosen == p.chosenPage.end() ? pages.front()
                                                                        : chosen->second;
                if (shown != id)
                    return false;
                parent = row;
            }
        if (!parent)
            return true;
        id = parent;
    }
    return true;
}

bool Panels::inside(const XPanelRecord &p, unsigned int id, unsigned int group) const
{
    for (int guard = 0; guard < 32 && id != group; ++guard) {
        unsigned int parent = 0;
        for (const auto &[g, members] : p.groups)
            if (std::find(members.begin(), members.end(), id) != members.end())
                parent = g;
        for (const auto &[row, pages] : p.tabRows)
            if (std::find(pages.begin(), pages.end(), id) != pages.end())
                parent = row;
        if (!parent)
            return false;
        id = parent;
    }
    return id == group;
}

const XControl &Panels::findControl(const XPanelRecord &p, const std::string &nameOrId) const
{
    long id = 0;
    if (isNumber(nameOrId, &id))
        if (const XControl *c = p.control(static_cast<unsigned int>(id)))
            return *c;
    // "Group/Label": a label inside the group of that label.
    const std::size_t slash = nameOrId.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string group = nameOrId.substr(0, slash), label = nameOrId.substr(slash + 1);
        for (const auto &[g, text] : p.labels)
            if (g && PanelPainter::plainText(text) == group)
                for (const XControl &c : p.controls)
                    if (PanelPainter::plainText(c.label) == label && inside(p, c.id, g))
                        return c;
    }
    // By label; among controls of the same label, the one the user sees.
    for (bool exact : {true, false}) {
        std::vector<const XControl *> found;
        for (const XControl &c : p.controls) {
            const std::string label = PanelPainter::plainText(c.label);
            if (exact ? label == nameOrId : lower(label) == lower(nameOrId))
                found.push_back(&c);
        }
        if (found.size() > 1) {
            std::vector<const XControl *> shown;
            for (const XControl *c : found)
                if (visible(p, c->id))
                    shown.push_back(c);
            if (shown.size() == 1)
                return *shown.front();
            std::string ids;
            for (const XControl *c : found)
                ids += (ids.empty() ? "" : ", ") + std::to_string(c->id);
            throw PanelError("\"" + nameOrId + "\" names " + std::to_string(found.size()) +
                             " controls (ids " + ids + "); name one by id or as GROUP/LABEL");
        }
        if (found.size() == 1)
            return *found.front();
    }
    throw PanelError("the panel \"" + p.title() + "\" has no control \"" + nameOrId + "\"");
}

std::vector<std::string> Panels::items(const XPanelRecord &p, const XControl &c) const
{
    std::vector<std::string> list = markedItems(p, c);
    for (std::string &s : list)
        s = PanelPainter::plainText(s);
    return list;
}

std::vector<std::string> Panels::markedItems(const XPanelRecord &p, const XControl &c) const
{
    std::vector<std::string> list;
    if (c.count && c.name) {
        auto data = p.userData.find(c.id);
        void *d = data == p.userData.end() ? nullptr : data->second;
        const int n = c.count(d);
        for (int i = 0; i < n; ++i) {
            const char *s = c.name(d, i);
            list.push_back(s ? s : "");
        }
    } else if (c.items) {
        list = *c.items;
    }
    return list;
}

std::string Panels::valueText(XPanelRecord &p, const XControl &c) const
{
    const std::string type = valueKind(c);
    if (type.empty())
        throw PanelError("\"" + c.label + "\" (" + c.kind + ") has no value");
    const void *v = nullptr;
    if (p.type == LWXP_FORM) {
        auto it = p.form.find(c.id);
        if (it == p.form.end())
            return "";
        if (type == "integer")
            v = &it->second.i;
        else if (isFloat(type))
            v = &it->second.f;
        else
            v = it->second.s.c_str();
    } else {
        v = p.get ? p.get(p.instance, c.id) : nullptr;
    }
    if (!v)
        return "";
    if (isFloat(type))
        return numberText(*static_cast<const double *>(v));
    if (type != "integer")
        return static_cast<const char *>(v);
    const int i = *static_cast<const int *>(v);
    if (c.kind == "iPopChoice") {
        const std::vector<std::string> list = items(p, c);
        if (i >= 0 && i < static_cast<int>(list.size()))
            return list[static_cast<std::size_t>(i)];
    }
    return std::to_string(i);
}

void Panels::requireEnabled(XPanelRecord &p, const XControl &c) const
{
    std::string why;
    if (!enabled(p, c.id, &why))
        throw PanelError("\"" + c.label + "\" is disabled" + (why.empty() ? "" : ": " + why));
}

int Panels::setValue(XPanelRecord &p, const XControl &c, const std::string &text)
{
    const std::string type = valueKind(c);
    if (type.empty() || c.kind == "vPopCmd" || c.kind == "sInfo")
        throw PanelError("\"" + c.label + "\" (" + c.kind + ") cannot be set");
    requireEnabled(p, c);
    int i = 0;
    double f = 0;
    std::string s = text;
    if (c.kind == "iPopChoice") {
        const std::vector<std::string> list = items(p, c);
        const int index = itemIndex(list, text);
        if (index < 0) {
            std::string known;
            for (const std::string &item : list)
                known += (known.empty() ? "" : ", ") + ("\"" + item + "\"");
            throw PanelError("\"" + c.label + "\" has no item \"" + text + "\" (items: " +
                             known + ")");
        }
        i = index;
    } else if (type == "integer") {
        long v = 0;
        if (!isNumber(text, &v) || (c.kind == "iBoolean" && v != 0 && v != 1))
            throw PanelError("\"" + c.label + "\" needs " +
                             (c.kind == "iBoolean" ? "0 or 1" : "a whole number") + ", not \"" +
                             text + "\"");
        i = static_cast<int>(v);
    } else if (isFloat(type)) {
        char *end = nullptr;
        f = std::strtod(text.c_str(), &end);
        if (text.empty() || *end)
            throw PanelError("\"" + c.label + "\" needs a number, not \"" + text + "\"");
    }
    void *value = type == "integer" ? static_cast<void *>(&i)
                  : isFloat(type)   ? static_cast<void *>(&f)
                                    : static_cast<void *>(s.data());
    if (p.type == LWXP_FORM) {
        formSet(p.id, c.id, value);
        return 1;
    }
    const LWXPanelID id = p.id;
    const int rc = p.set ? p.set(p.instance, c.id, value) : 0;
    // The set function may have destroyed the panel.
    if (alive(id) && p.change)
        p.change(id, c.id, c.id, LWXPEVENT_VALUE);
    return rc;
}

void Panels::press(XPanelRecord &p, const XControl &c)
{
    if (c.kind != "vButton")
        throw PanelError("\"" + c.label + "\" is not a button");
    requireEnabled(p, c);
    if (!c.button)
        throw PanelError("the button \"" + c.label + "\" has no click function");
    c.button(p.id, c.id);
}

void Panels::popCommand(XPanelRecord &p, const XControl &c, const std::string &item)
{
    if (c.kind != "vPopCmd" || !c.command)
        throw PanelError("\"" + c.label + "\" is not a popup command");
    const std::vector<std::string> list = items(p, c);
    const int index = itemIndex(list, item);
    if (index < 0)
        throw PanelError("\"" + c.label + "\" has no command \"" + item + "\" (" +
                         std::to_string(list.size()) + " items)");
    c.command(p.id, c.id, index);
}

bool Panels::browse(XPanelRecord &p, const XControl &c)
{
    if (c.kind != "sFileName")
        throw PanelError("\"" + c.label + "\" is not a file name control");
    requireEnabled(p, c);
    std::string path(1024, '\0'), base(1024, '\0'), full(1024, '\0');
    LWFileReqLocal r{};
    r.reqType = c.requestType ? c.requestType : FREQ_LOAD;
    r.title = c.requestTitle.empty() ? c.label.c_str() : c.requestTitle.c_str();
    r.fileType = c.requestFileType.c_str();
    r.path = path.data();
    r.baseName = base.data();
    r.fullName = full.data();
    r.bufLen = 1024;
    fileRequest(&r);
    if (r.result != 1)
        return false;
    setValue(p, c, full.c_str());
    return true;
}

void Panels::chooseTab(XPanelRecord &p, const std::string &page)
{
    for (auto &[row, pages] : p.tabRows)
        for (unsigned int g : pages) {
            auto label = p.labels.find(g);
            if ((label != p.labels.end() && label->second == page) || std::to_string(g) == page) {
                p.chosenPage[row] = g;
                return;
            }
        }
    throw PanelError("the panel \"" + p.title() + "\" has no tab \"" + page + "\"");
}

bool Panels::enabled(XPanelRecord &p, unsigned int id, std::string *message) const
{
    for (const XEnableRule &r : p.rules) {
        bool listed = false;
        for (unsigned int i : r.ids)
            listed = listed || i == id;
        if (!listed)
            continue;
        const XControl *controller = p.control(r.controller);
        int value = 0;
        if (controller && p.type == LWXP_VIEW && p.get) {
            if (const void *v = p.get(p.instance, r.controller))
                value = *static_cast<const int *>(v);
        } else if (controller) {
            auto it = p.form.find(r.controller);
            value = it == p.form.end() ? 0 : it->second.i;
        }
        bool on = value != r.value;
        if (r.comparison == XPENABLE_EQUAL)
            on = value == r.value;
        else if (r.comparison == XPENABLE_ATLEAST)
            on = value >= r.value;
        else if (r.comparison == XPENABLE_MAP)
            on = value >= 0 && value < static_cast<int>(r.map.size()) &&
                 r.map[static_cast<std::size_t>(value)] != 0;
        if (!on) {
            if (message)
                *message = r.message;
            return false;
        }
    }
    return true;
}

// ---- classic panels

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

void Panels::snapshot(LWXPanelID id, const std::string &png)
{
    PanelPainter::writeXPanel(*this, id, xpanel(id), png);
}

void Panels::snapshot(LWPanelID id, const std::string &png)
{
    PanelPainter::writeClassic(*this, id, classic(id), png);
}

int Panels::fileRequest(LWFileReqLocal *r)
{
    if (!r)
        return AFUNC_BADLOCAL;
    r->result = 0;
    std::optional<std::string> answer;
    if (!files_.empty()) {
        answer = files_.front();
        files_.pop_front();
    }
    if (out_)
        *out_ << "file requester \"" << (r->title ? r->title : "") << "\": "
              << (answer ? *answer : std::string("cancel")) << "\n";
    if (!answer)
        return AFUNC_OK; // the requester ran; the user cancelled
    const std::string &full = *answer;
    if (!r->fullName || r->bufLen <= 0 || full.size() >= static_cast<std::size_t>(r->bufLen))
        return AFUNC_OK;
    std::strcpy(r->fullName, full.c_str());
    const std::size_t slash = full.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : full.substr(0, slash);
    const std::string base = slash == std::string::npos ? full : full.substr(slash + 1);
    if (r->path)
        std::strcpy(r->path, folder.c_str());
    if (r->baseName)
        std::strcpy(r->baseName, base.c_str());
    r->result = 1;
    return AFUNC_OK;
}

} // namespace devhost
