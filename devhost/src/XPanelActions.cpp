// What a user does with an XPanel: find a control as a script names it,
// read and set values, press buttons, choose popup commands and tabs, and
// ask the enable rules whether a control can be used.
#include "devhost/Panels.h"
#include "devhost/PanelPainter.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace devhost {

namespace {

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

} // namespace

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
    const std::string type = c.valueType();
    if (type.empty())
        throw PanelError("\"" + c.label + "\" (" + c.kind + ") has no value");
    const void *v = nullptr;
    if (p.type == LWXP_FORM) {
        auto it = p.form.find(c.id);
        if (it == p.form.end())
            return "";
        if (type == "integer")
            v = &it->second.i;
        else if (XControl::floatType(type))
            v = &it->second.f;
        else
            v = it->second.s.c_str();
    } else {
        v = p.get ? p.get(p.instance, c.id) : nullptr;
    }
    if (!v)
        return "";
    if (XControl::floatType(type))
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
    const std::string type = c.valueType();
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
    } else if (XControl::floatType(type)) {
        char *end = nullptr;
        f = std::strtod(text.c_str(), &end);
        if (text.empty() || *end)
            throw PanelError("\"" + c.label + "\" needs a number, not \"" + text + "\"");
    }
    void *value = type == "integer" ? static_cast<void *>(&i)
                  : XControl::floatType(type)   ? static_cast<void *>(&f)
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

} // namespace devhost
