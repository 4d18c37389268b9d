// XPanels as the host shows them: laid out from their hints (groups, tabs,
// enable rules), the drawing functions of their thumbnails, and their
// pictures.
#include "devhost/PanelPainter.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>
#include <cairo.h>
#include <map>
#include <set>

#include "PanelDrawing.h"
#include "devhost/Panels.h"

namespace devhost {

using namespace paint;

namespace {

// ---- the XPanel drawing functions: a region is a control's area
struct Region {
    cairo_t *cr;
    int width, height;
};

template <class F> void inRegion(void *region, F &&f)
{
    if (auto *r = static_cast<Region *>(region)) {
        cairo_save(r->cr);
        cairo_rectangle(r->cr, 0, 0, r->width, r->height);
        cairo_clip(r->cr);
        f(r->cr);
        cairo_restore(r->cr);
    }
}

void xDrawPixel(void *region, int r, int g, int b, int x, int y)
{
    inRegion(region, [&](cairo_t *cr) {
        cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
        cairo_rectangle(cr, x, y, 1, 1);
        cairo_fill(cr);
    });
}

void xDrawBox(void *region, int r, int g, int b, int x, int y, int w, int h)
{
    inRegion(region, [&](cairo_t *cr) {
        cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
    });
}

void xDrawText(void *region, const char *text, int r, int g, int b, int x, int y)
{
    if (text)
        inRegion(region, [&](cairo_t *cr) {
            markupText(cr, text, x, y, Rgb{r / 255.0, g / 255.0, b / 255.0});
        });
}

int xTextWidth(void *, const char *text) { return textWidth(text); }
int xTextHeight(void *) { return kLineHeight; }


constexpr int kPanelWidth = 560;
constexpr int kLabelColumn = 180;
constexpr int kRow = 24;
constexpr int kThumbnailHeight = 92;

struct XLayout {
    Panels &panels;
    XPanelRecord &p;
    cairo_t *cr;
    bool draw; // false: measure heights only

    bool isGroup(unsigned int id) const { return p.groups.count(id) != 0; }
    bool isTabs(unsigned int id) const { return p.tabRows.count(id) != 0; }

    std::string label(unsigned int id) const
    {
        auto it = p.labels.find(id);
        return it == p.labels.end() ? std::string() : it->second;
    }

    // The ids shown at the top: the panel's order, else every control and
    // container not inside another, where its first control is declared.
    std::vector<unsigned int> topLevel() const
    {
        if (!p.order.empty())
            return p.order;
        std::map<unsigned int, unsigned int> parent;
        for (const auto &[g, members] : p.groups)
            for (unsigned int m : members)
                parent[m] = g;
        for (const auto &[t, pages] : p.tabRows)
            for (unsigned int m : pages)
                parent[m] = t;
        std::vector<unsigned int> out;
        std::set<unsigned int> seen;
        for (const XControl &c : p.controls) {
            unsigned int id = c.id;
            for (int guard = 0; parent.count(id) && guard < 64; ++guard)
                id = parent[id];
            if (seen.insert(id).second)
                out.push_back(id);
        }
        return out;
    }

    int item(unsigned int id, int x, int y, int width, int depth)
    {
        if (depth > 16)
            return 0; // a cycle in the hints
        if (isTabs(id))
            return tabs(id, x, y, width, depth);
        if (isGroup(id))
            return group(id, x, y, width, depth);
        if (const XControl *c = p.control(id))
            return control(*c, x, y, width);
        return 0;
    }

    int members(const std::vector<unsigned int> &ids, int x, int y, int width, int depth)
    {
        int h = 0;
        for (unsigned int m : ids)
            h += item(m, x, y + h, width, depth + 1);
        return h;
    }

    int group(unsigned int id, int x, int y, int width, int depth)
    {
        const std::string text = label(id);
        const std::vector<unsigned int> &ids = p.groups.at(id);
        if (text.empty())
            return members(ids, x, y, width, depth);
        const int inner = members(ids, x + 8, y + 20, width - 16, depth);
        const int h = inner + 28;
        if (draw) {
            cairo_set_line_width(cr, 1.0);
            colour(cr, kShade);
            cairo_rectangle(cr, x + 0.5, y + 8.5, width - 1, h - 12);
            cairo_stroke(cr);
            font(cr, true);
            const double w = plainWidth(cr, PanelPainter::plainText(text));
            colour(cr, kBackground);
            cairo_rectangle(cr, x + 10, y, w + 8, 16);
            cairo_fill(cr);
            markupText(cr, text, x + 14, y, kText);
        }
        return h;
    }

    int tabs(unsigned int id, int x, int y, int width, int depth)
    {
        const std::vector<unsigned int> &pages = p.tabRows.at(id);
        if (pages.empty())
            return 0;
        auto chosen = p.chosenPage.find(id);
        const unsigned int page = chosen == p.chosenPage.end() ? pages.front() : chosen->second;
        font(cr);
        if (draw) {
            double tx = x + 4;
            for (unsigned int g : pages) {
                const std::string text =
                    PanelPainter::plainText(label(g).empty() ? std::to_string(g) : label(g));
                const bool on = g == page;
                font(cr, true); // the chosen tab's bold text fits every tab
                const double w = plainWidth(cr, text) + 20;
                bevel(cr, tx, y + (on ? 0 : 3), w, on ? 24 : 21, false, on ? kLight : kBackground);
                font(cr, on);
                colour(cr, kText);
                cairo_move_to(cr, tx + 10, y + 16);
                cairo_show_text(cr, text.c_str());
                tx += w + 2;
            }
        }
        // The chosen page's controls, without its own frame.
        auto members_ = p.groups.find(page);
        const int inner = members_ == p.groups.end()
                              ? item(page, x + 8, y + 30, width - 16, depth + 1)
                              : members(members_->second, x + 8, y + 30, width - 16, depth);
        const int h = inner + 36;
        if (draw) {
            cairo_set_line_width(cr, 1.0);
            colour(cr, kLight);
            cairo_rectangle(cr, x + 0.5, y + 24.5, width - 1, h - 28);
            cairo_stroke(cr);
        }
        return h;
    }

    std::string value(const XControl &c)
    {
        try {
            return panels.valueText(p, c);
        } catch (const std::exception &) {
            return "?";
        }
    }

    // A popup choice shows its value, a popup command its label.
    void popup(const XControl &c, const std::string &label, int wx, int ww, int y)
    {
        const std::string &k = c.kind;
        const int bw = std::min(ww, 240);
        const int bx = wx;
        bevel(cr, bx, y + 2, bw, 20, false, k == "vPopCmd" ? kLight : kBackground);
        std::string shown = k == "vPopCmd" ? label : value(c);
        if (k == "iPopChoice") { // drawn with the item's own markup
            const std::vector<std::string> marked = panels.markedItems(p, c);
            for (const std::string &item : marked)
                if (PanelPainter::plainText(item) == shown)
                    shown = item;
        }
        cairo_save(cr);
        cairo_rectangle(cr, bx, y, bw - 16, kRow);
        cairo_clip(cr);
        markupText(cr, shown, bx + 6, y + 4, kText);
        cairo_restore(cr);
        downArrow(cr, bx + bw - 14, y + 10);
    }

    // A number or text field; file names and envelopes with their button.
    void field(const XControl &c, int wx, int ww, int y)
    {
        const std::string &k = c.kind;
        const bool number = k == "integer" || k == "float" || k == "float-env";
        const int fw = number ? 100 : std::min(ww, 300);
        bevel(cr, wx, y + 2, fw, 20, true, kField);
        cairo_save(cr);
        cairo_rectangle(cr, wx + 2, y, fw - 4, kRow);
        cairo_clip(cr);
        markupText(cr, value(c), wx + 5, y + 4, kText);
        cairo_restore(cr);
        if (k == "sFileName" || k == "float-env") {
            bevel(cr, wx + fw + 4, y + 2, 22, 20, false, kBackground);
            font(cr);
            colour(cr, kText);
            cairo_move_to(cr, wx + fw + 9, y + 16);
            cairo_show_text(cr, k == "float-env" ? "E" : "...");
        }
    }

    int control(const XControl &c, int x, int y, int width)
    {
        std::string why;
        const bool on = panels.enabled(p, c.id, &why);
        const int h = c.kind == "dThumbnail" ? kThumbnailHeight + 6 : kRow;
        if (!draw)
            return h + (on || why.empty() ? 0 : kLineHeight);
        if (!on)
            cairo_push_group(cr);
        const std::string text = PanelPainter::plainText(c.label);
        const bool labelled = c.kind != "vButton" && c.kind != "vPopCmd" &&
                              c.kind != "dThumbnail" && !text.empty();
        font(cr);
        if (labelled) {
            colour(cr, kText);
            cairo_move_to(cr, x + kLabelColumn - plainWidth(cr, text), y + 16);
            cairo_show_text(cr, text.c_str());
        }
        const int wx = x + kLabelColumn + 8;
        const int ww = std::max(60, width - kLabelColumn - 8);
        const std::string &k = c.kind;
        if (k == "iBoolean") {
            bevel(cr, wx, y + 4, 15, 15, true, kField);
            if (value(c) == "1")
                drawIcon(cr, "MIMG_CHECKMARK", wx + 2, y + 3, kText);
        } else if (k == "iPopChoice" || k == "vPopCmd") {
            popup(c, text, wx, ww, y);
        } else if (k == "vButton") {
            font(cr);
            const double bw = plainWidth(cr, text) + 24;
            bevel(cr, wx, y + 2, bw, 20, false, kLight);
            colour(cr, kText);
            cairo_move_to(cr, wx + 12, y + 16);
            cairo_show_text(cr, text.c_str());
        } else if (k == "dThumbnail") {
            const int tw = width;
            bevel(cr, x, y + 2, tw, kThumbnailHeight + 2, true, kBackground);
            if (c.draw) {
                cairo_save(cr);
                cairo_translate(cr, x + 1, y + 3);
                Region region{cr, tw - 2, kThumbnailHeight};
                c.draw(p.id, c.id, &region, region.width, region.height);
                cairo_restore(cr);
            }
        } else if (k == "sInfo") {
            markupText(cr, value(c), wx, y + 4, kText);
        } else {
            field(c, wx, ww, y);
        }
        if (!on) {
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, 0.4);
            if (!why.empty()) {
                font(cr, false, true);
                colour(cr, kDisabledNote);
                cairo_move_to(cr, wx, y + kRow + 11);
                cairo_show_text(cr, why.c_str());
            }
            return h + (why.empty() ? 0 : kLineHeight);
        }
        return h;
    }

    int all(int y)
    {
        int h = 0;
        for (unsigned int id : topLevel())
            h += item(id, kMargin + 4, y + h, kPanelWidth - 2 * kMargin - 8, 0) + 2;
        return h;
    }
};

} // namespace

const LWXPDrawFuncs &PanelPainter::xpanelDrawing()
{
    static const LWXPDrawFuncs table = {guarded<xDrawPixel>, guarded<xDrawBox>,
                                        guarded<xDrawText>, guarded<xTextWidth>,
                                        guarded<xTextHeight>};
    return table;
}

void PanelPainter::writeXPanel(Panels &panels, LWXPanelID, XPanelRecord &p, const std::string &png)
{
    Raster measure(1, 1);
    XLayout sizing{panels, p, measure.cr, false};
    const int content = sizing.all(0);
    const bool form = p.type == LWXP_FORM;
    const int height = kTitleBar + kMargin + content + kMargin + (form ? kButtonRow : 0);
    Raster r(kPanelWidth, height);
    colour(r.cr, kBackground);
    cairo_paint(r.cr);
    titleBar(r.cr, kPanelWidth, p.title().empty() ? "(untitled panel)" : p.title());
    XLayout painting{panels, p, r.cr, true};
    painting.all(kTitleBar + kMargin);
    if (form)
        buttonRow(r.cr, kPanelWidth, height - kButtonRow + 4, true);
    writePng(r.surface, png);
}

} // namespace devhost
