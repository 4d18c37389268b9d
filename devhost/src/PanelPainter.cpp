// Classic panels as the host shows them: controls placed top to bottom,
// the drawing functions the module paints with, and their pictures.
#include "devhost/PanelPainter.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>
#include <cairo.h>

#include "PanelDrawing.h"
#include "devhost/Panels.h"

namespace devhost {

using namespace paint;

// ---- classic panels

// The raster a classic panel's drawing functions paint: panel pixels, with
// the frame's title bar above them.
struct Canvas {
    Raster raster;
    int width, height;
    Canvas(int w, int h) : raster(w, h + kTitleBar + kButtonRow), width(w), height(h) {}
    cairo_t *cr() const { return raster.cr; }
};

namespace {

Canvas *canvasOf(LWPanelID id)
{
    Host *h = Host::current();
    if (!h)
        return nullptr;
    ClassicPanel &p = Panels::of(*h).classic(id);
    if (!p.canvas) {
        PanelPainter::layout(p);
        p.canvas = new Canvas(p.attributes[PAN_W].intv, p.attributes[PAN_H].intv);
    }
    return p.canvas;
}

// Runs f with the context translated to panel pixels.
template <class F> void onPanel(LWPanelID id, F &&f)
{
    if (Canvas *c = canvasOf(id)) {
        cairo_t *cr = c->cr();
        cairo_save(cr);
        cairo_rectangle(cr, 0, kTitleBar, c->width, c->height);
        cairo_clip(cr);
        cairo_translate(cr, 0, kTitleBar);
        f(cr);
        cairo_restore(cr);
    }
}

void cDrawPixel(LWPanelID id, int c, int x, int y)
{
    onPanel(id, [&](cairo_t *cr) {
        colour(cr, palette(c));
        cairo_rectangle(cr, x, y, 1, 1);
        cairo_fill(cr);
    });
}

void cDrawRGBPixel(LWPanelID id, int r, int g, int b, int x, int y)
{
    onPanel(id, [&](cairo_t *cr) {
        cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
        cairo_rectangle(cr, x, y, 1, 1);
        cairo_fill(cr);
    });
}

void cDrawBox(LWPanelID id, int c, int x, int y, int w, int h)
{
    onPanel(id, [&](cairo_t *cr) {
        colour(cr, palette(c));
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
    });
}

void cDrawRGBBox(LWPanelID id, int r, int g, int b, int x, int y, int w, int h)
{
    onPanel(id, [&](cairo_t *cr) {
        cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
    });
}

void cDrawBorder(LWPanelID id, int indent, int x, int y, int w, int h)
{
    onPanel(id, [&](cairo_t *cr) {
        cairo_save(cr);
        cairo_rectangle(cr, x, y, w, h);
        cairo_clip(cr);
        edges(cr, x, y, w, h, indent != 0);
        cairo_restore(cr);
    });
}

// Measuring needs no panel: one small raster serves every text.

int cTextWidth(LWPanelID, const char *text) { return textWidth(text); }

void cDrawText(LWPanelID id, const char *text, int c, int x, int y)
{
    if (!text)
        return;
    if (Host *h = Host::current())
        Panels::of(*h).classic(id).drawnText.push_back(PanelPainter::lineText(text));
    onPanel(id, [&](cairo_t *cr) { markupText(cr, text, x, y, palette(c)); });
}

const LWDisplayMetrics *cMetrics()
{
    static LWDisplayMetrics m{1920, 1080, kLineHeight, 12};
    return &m;
}


} // namespace

const LWDrawFuncs &PanelPainter::classicDrawing()
{
    static const LWDrawFuncs table = {
        guarded<cDrawPixel>,  guarded<cDrawRGBPixel>, guarded<cDrawBox>,
        guarded<cDrawRGBBox>, guarded<cDrawBorder>,   guarded<cTextWidth>,
        guarded<cDrawText>,   guarded<cMetrics>};
    return table;
}


bool PanelPainter::canvasFits(const ClassicPanel &p)
{
    return p.canvas->width == p.attributes.at(PAN_W).intv &&
           p.canvas->height == p.attributes.at(PAN_H).intv;
}

void PanelPainter::release(ClassicPanel &p)
{
    delete p.canvas;
    p.canvas = nullptr;
}

namespace {

void drawListBox(cairo_t *cr, const ClassicControl &c, int top)
{
    const LWListBoxDesc &d = c.desc.listbox;
    const int rows = std::max(d.visItems, 1);
    bevel(cr, c.x, top, c.w, rows * kLineHeight + 4, true, kListBack);
    const int n = d.countFn ? d.countFn(c.userData) : 0;
    cairo_save(cr);
    cairo_rectangle(cr, c.x + 2, top + 2, c.w - 4, rows * kLineHeight);
    cairo_clip(cr);
    for (int i = 0; i < std::min(n, rows); ++i) {
        const char *name = d.nameFn ? d.nameFn(c.userData, i) : "";
        markupText(cr, name ? name : "", c.x + 6, top + 2 + i * kLineHeight, kText);
    }
    cairo_restore(cr);
    if (n > rows) { // a scroll bar says there is more
        const double h = rows * kLineHeight;
        colour(cr, kShade);
        cairo_rectangle(cr, c.x + c.w - 8, top + 2, 6, h * rows / n);
        cairo_fill(cr);
    }
}

} // namespace

void PanelPainter::drawControlNow(ClassicControl &c)
{
    Canvas *canvas = canvasOf(c.panel->id);
    if (!canvas)
        return;
    cairo_t *cr = canvas->cr();
    cairo_save(cr);
    cairo_translate(cr, 0, kTitleBar);
    int top = c.y;
    if (!c.label.empty()) {
        markupText(cr, c.label, c.x, c.y, kText);
        top += kLabelHeight;
    }
    switch (c.desc.type) {
    case LWT_CANVAS: {
        bevel(cr, c.x, top, c.w, c.h - (top - c.y), true, kBackground);
        cairo_restore(cr);
        if (auto draw = reinterpret_cast<void (*)(LWControl *, void *, int)>(c.userDraw))
            draw(&c.table, c.userData, DR_REFRESH);
        return;
    }
    case LWT_TEXT:
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            markupText(cr, c.lines[i], c.x, top + static_cast<int>(i) * kLineHeight, kText);
        break;
    case LWT_LISTBOX: drawListBox(cr, c, top); break;
    default: break;
    }
    cairo_restore(cr);
}

void PanelPainter::paintClassic(Panels &, LWPanelID id, ClassicPanel &p, int mode)
{
    layout(p);
    Canvas *canvas = canvasOf(id);
    if (!canvas)
        return;
    cairo_t *cr = canvas->cr();
    p.drawnText.clear();
    colour(cr, kBackground);
    cairo_paint(cr);
    titleBar(cr, canvas->width, p.title);
    for (auto &c : p.controls) {
        recordDrawnText(p, *c);
        drawControlNow(*c);
    }
    if (auto draw = reinterpret_cast<void (*)(LWPanelID, void *, int)>(
            p.attributes[PAN_USERDRAW].func))
        draw(id, p.attributes[PAN_USERDATA].ptr, mode);
    // The host's own buttons.
    if (!(p.openFlags & PANF_NOBUTT)) {
        buttonRow(cr, canvas->width, kTitleBar + canvas->height + 4,
                  (p.openFlags & PANF_CANCEL) != 0);
    }
}

void PanelPainter::writeClassic(Panels &panels, LWPanelID id, ClassicPanel &p,
                                const std::string &png)
{
    paintClassic(panels, id, p, DR_REFRESH);
    if (Canvas *c = canvasOf(id)) {
        // Without the host's button row the picture ends at the panel.
        const int h = kTitleBar + c->height + ((p.openFlags & PANF_NOBUTT) ? 0 : kButtonRow);
        cairo_surface_t *part = cairo_surface_create_for_rectangle(c->raster.surface, 0, 0,
                                                                   c->width, h);
        Raster copy(c->width, h);
        cairo_set_source_surface(copy.cr, part, 0, 0);
        cairo_paint(copy.cr);
        cairo_surface_destroy(part);
        writePng(copy.surface, png);
    }
}

} // namespace devhost
