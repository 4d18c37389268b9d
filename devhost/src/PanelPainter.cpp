#include "devhost/PanelPainter.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>

#include "devhost/Panels.h"

namespace devhost {

std::string plainTextOf(const std::string &s);

namespace {

struct Rgb {
    double r, g, b;
};

constexpr double kFontSize = 12.0;
constexpr int kLineHeight = 16;
constexpr int kTitleBar = 22;
constexpr int kButtonRow = 32;
constexpr int kMargin = 8;
constexpr int kGap = 6;

const Rgb kBackground{0.62, 0.62, 0.64};
const Rgb kText{0.05, 0.05, 0.06};
const Rgb kWhite{1, 1, 1};
const Rgb kTitle{0.22, 0.23, 0.27};
const Rgb kField{0.80, 0.80, 0.82};
const Rgb kListBack{0.50, 0.50, 0.53};
const Rgb kLight{0.86, 0.86, 0.88};
const Rgb kShade{0.36, 0.36, 0.38};
const Rgb kDisabledNote{0.25, 0.25, 0.30};

// Palette colours of the classic drawing functions.
Rgb palette(int colour)
{
    switch (colour) {
    case LWP_BLACK: return {0, 0, 0};
    case LWP_WHITE: return kWhite;
    case LWP_TEXT: return kText;
    case LWP_HILIGHT: return kWhite;
    case LWP_SHADOW: return kShade;
    case LWP_DARKGREY: return {0.3, 0.3, 0.3};
    case LWP_PANEL_TEXT: return kText;
    case LWP_PANEL_HILIGHT: return kWhite;
    default: return kBackground;
    }
}

// The host's named colours of the text markup.
Rgb namedColour(const std::string &name, const Rgb &fallback)
{
    if (name == "Nc_HILIGHT")
        return kWhite;
    if (name == "Nc_BLACK")
        return {0, 0, 0};
    if (name == "Nc_RAISED")
        return kLight;
    if (name == "Nc_SHADOW")
        return kShade;
    if (name.rfind("Ic_CHAN_MOTION_X", 0) == 0 || name == "Ic_RED")
        return {0.82, 0.08, 0.06};
    if (name.rfind("Ic_CHAN_MOTION_Y", 0) == 0 || name == "Ic_GREEN")
        return {0.1, 0.6, 0.1};
    if (name.rfind("Ic_CHAN_MOTION_Z", 0) == 0 || name == "Ic_BLUE")
        return {0.1, 0.25, 0.8};
    return fallback;
}

void colour(cairo_t *cr, const Rgb &c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void font(cairo_t *cr, bool bold = false, bool italic = false)
{
    cairo_select_font_face(cr, "DejaVu Sans",
                           italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
}

double ascent(cairo_t *cr)
{
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    return fe.ascent;
}

double plainWidth(cairo_t *cr, const std::string &s)
{
    cairo_text_extents_t te;
    cairo_text_extents(cr, s.c_str(), &te);
    return te.x_advance;
}

// One piece of marked-up text: plain text, or a code.
struct Piece {
    char code = 0; // 0 text, 'c' colour, 'i' icon, 'a' move to, 'g' gap
    std::string arg;
};

std::vector<Piece> pieces(const std::string &s)
{
    std::vector<Piece> out;
    std::string text;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\x03' && i + 3 < s.size() && s[i + 1] == '(' && s[i + 3] == ':') {
            const std::size_t close = s.find(')', i + 4);
            if (close != std::string::npos) {
                if (!text.empty())
                    out.push_back({0, std::move(text)});
                text.clear();
                out.push_back({s[i + 2], s.substr(i + 4, close - i - 4)});
                i = close;
                continue;
            }
        }
        text += s[i];
    }
    if (!text.empty())
        out.push_back({0, text});
    return out;
}

void drawIcon(cairo_t *cr, const std::string &name, double x, double top, const Rgb &c)
{
    colour(cr, c);
    if (name == "MIMG_CHECKMARK") {
        cairo_set_line_width(cr, 2.0);
        cairo_move_to(cr, x + 1, top + 8);
        cairo_line_to(cr, x + 4.5, top + 12);
        cairo_line_to(cr, x + 10, top + 3);
        cairo_stroke(cr);
    } else { // bullets and anything else
        cairo_arc(cr, x + 5, top + kLineHeight / 2.0, 3.0, 0, 2 * M_PI);
        cairo_fill(cr);
    }
}

constexpr double kIconWidth = 14;

// Draws marked-up text with its top at y; answers the width it took.
double markupText(cairo_t *cr, const std::string &s, double x, double y, Rgb c,
                  bool draw = true)
{
    font(cr);
    const double base = y + (kLineHeight - kFontSize) / 2 + ascent(cr) - 1;
    double pen = x;
    for (const Piece &p : pieces(s)) {
        switch (p.code) {
        case 0:
            if (draw) {
                colour(cr, c);
                cairo_move_to(cr, pen, base);
                cairo_show_text(cr, p.arg.c_str());
            }
            pen += plainWidth(cr, p.arg);
            break;
        case 'c': c = namedColour(p.arg, c); break;
        case 'i':
            if (draw)
                drawIcon(cr, p.arg, pen, y, c);
            pen += kIconWidth;
            break;
        case 'a': pen = x + std::atof(p.arg.c_str()); break;
        case 'g': pen += std::atof(p.arg.c_str()); break;
        default: break;
        }
    }
    return pen - x;
}

// Light above and left, shade below and right: raised; the other way round:
// sunken.
void edges(cairo_t *cr, double x, double y, double w, double h, bool sunken)
{
    cairo_set_line_width(cr, 1.0);
    colour(cr, sunken ? kShade : kLight);
    cairo_move_to(cr, x + 0.5, y + h - 0.5);
    cairo_line_to(cr, x + 0.5, y + 0.5);
    cairo_line_to(cr, x + w - 0.5, y + 0.5);
    cairo_stroke(cr);
    colour(cr, sunken ? kLight : kShade);
    cairo_move_to(cr, x + w - 0.5, y + 0.5);
    cairo_line_to(cr, x + w - 0.5, y + h - 0.5);
    cairo_line_to(cr, x + 0.5, y + h - 0.5);
    cairo_stroke(cr);
}

void bevel(cairo_t *cr, double x, double y, double w, double h, bool sunken, const Rgb &fill)
{
    colour(cr, fill);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    edges(cr, x, y, w, h, sunken);
}

void downArrow(cairo_t *cr, double x, double y)
{
    colour(cr, kText);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x + 8, y);
    cairo_line_to(cr, x + 4, y + 5);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// The host's OK (and Cancel) buttons, right-aligned at y.
void buttonRow(cairo_t *cr, int width, int y, bool cancel)
{
    const int w = 80, x0 = width - kMargin - (cancel ? 2 * w + kGap : w);
    const char *labels[] = {"OK", "Cancel"};
    for (int b = 0; b < (cancel ? 2 : 1); ++b) {
        const int x = x0 + b * (w + kGap);
        bevel(cr, x, y, w, 22, false, kBackground);
        font(cr);
        colour(cr, kText);
        cairo_move_to(cr, x + (w - plainWidth(cr, labels[b])) / 2, y + 15);
        cairo_show_text(cr, labels[b]);
    }
}

void titleBar(cairo_t *cr, int width, const std::string &title)
{
    colour(cr, kTitle);
    cairo_rectangle(cr, 0, 0, width, kTitleBar);
    cairo_fill(cr);
    font(cr, true);
    colour(cr, kWhite);
    cairo_move_to(cr, 10, 15);
    cairo_show_text(cr, plainTextOf(title).c_str());
}

// Frees a Cairo surface and context together.
struct Raster {
    cairo_surface_t *surface = nullptr;
    cairo_t *cr = nullptr;
    Raster(int w, int h)
    {
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(w, 1), std::max(h, 1));
        cr = cairo_create(surface);
    }
    ~Raster()
    {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    Raster(const Raster &) = delete;
    Raster &operator=(const Raster &) = delete;
};

void writePng(cairo_surface_t *surface, const std::string &png)
{
    cairo_surface_flush(surface);
    const cairo_status_t st = cairo_surface_write_to_png(surface, png.c_str());
    if (st != CAIRO_STATUS_SUCCESS)
        throw PanelError("Cannot write the picture \"" + png + "\": " + cairo_status_to_string(st));
}

} // namespace

std::string PanelPainter::plainText(const std::string &text) { return plainTextOf(text); }

std::string plainTextOf(const std::string &s)
{
    std::string out;
    for (const Piece &p : pieces(s))
        if (!p.code)
            out += p.arg;
    return out;
}

std::string PanelPainter::lineText(const std::string &s)
{
    std::string out;
    bool moved = false;
    for (const Piece &p : pieces(s)) {
        if (p.code == 'a' || p.code == 'g') {
            moved = true;
        } else if (!p.code) {
            // A column move or a gap between two texts keeps them apart.
            if (moved && !out.empty() && out.back() != ' ' && p.arg.front() != ' ')
                out += ' ';
            out += p.arg;
            moved = false;
        }
    }
    return out;
}

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
cairo_t *measuring()
{
    static Raster r(1, 1);
    return r.cr;
}

int cTextWidth(LWPanelID, const char *text)
{
    return text ? static_cast<int>(std::ceil(markupText(measuring(), text, 0, 0, kText, false)))
                : 0;
}

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

int xTextWidth(void *, const char *text) { return cTextWidth(nullptr, text); }
int xTextHeight(void *) { return kLineHeight; }

} // namespace

const LWDrawFuncs &PanelPainter::classicDrawing()
{
    static const LWDrawFuncs table = {
        guarded<cDrawPixel>,  guarded<cDrawRGBPixel>, guarded<cDrawBox>,
        guarded<cDrawRGBBox>, guarded<cDrawBorder>,   guarded<cTextWidth>,
        guarded<cDrawText>,   guarded<cMetrics>};
    return table;
}

const LWXPDrawFuncs &PanelPainter::xpanelDrawing()
{
    static const LWXPDrawFuncs table = {guarded<xDrawPixel>, guarded<xDrawBox>,
                                        guarded<xDrawText>, guarded<xTextWidth>,
                                        guarded<xTextHeight>};
    return table;
}

void PanelPainter::sizeControl(ClassicControl &c)
{
    const int label = c.label.empty() ? 0 : kLabelHeight;
    switch (c.desc.type) {
    case LWT_CANVAS:
        c.w = c.desc.canvas.width + 2;
        c.h = c.desc.canvas.height + 2 + label;
        break;
    case LWT_LISTBOX:
        c.w = c.desc.listbox.width;
        c.h = label + std::max(c.desc.listbox.visItems, 1) * kLineHeight + 4;
        break;
    case LWT_TEXT: {
        int w = 0;
        for (const std::string &l : c.lines)
            w = std::max(w, cTextWidth(nullptr, l.c_str()));
        c.w = w + 4;
        c.h = static_cast<int>(c.lines.size()) * kLineHeight + label;
        break;
    }
    default: break;
    }
}

void PanelPainter::layout(ClassicPanel &p)
{
    int y = kMargin;
    int right = 0, bottom = 0;
    for (auto &c : p.controls) {
        if (c->x < 0)
            c->x = kMargin;
        if (c->y < 0)
            c->y = y;
        y = c->y + c->h + kGap;
        right = std::max(right, c->x + c->w);
        bottom = std::max(bottom, c->y + c->h);
    }
    if (!p.fixedWidth)
        p.attributes[PAN_W].intv = std::max(right + kMargin, 200);
    if (!p.fixedHeight)
        p.attributes[PAN_H].intv = std::max(bottom + kMargin, 60);
    if (p.canvas && (p.canvas->width != p.attributes[PAN_W].intv ||
                     p.canvas->height != p.attributes[PAN_H].intv)) {
        delete p.canvas;
        p.canvas = nullptr;
    }
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

namespace {

// What a control shows as text: its label, then its lines; a list box
// every item it holds (scrolling shows those below the visible rows).
void recordText(ClassicPanel &p, const ClassicControl &c)
{
    if (!c.label.empty())
        p.drawnText.push_back(PanelPainter::lineText(c.label));
    if (c.desc.type == LWT_TEXT) {
        for (const std::string &l : c.lines)
            p.drawnText.push_back(PanelPainter::lineText(l));
    } else if (c.desc.type == LWT_LISTBOX) {
        const LWListBoxDesc &d = c.desc.listbox;
        const int n = d.countFn ? d.countFn(c.userData) : 0;
        for (int i = 0; i < n; ++i) {
            const char *name = d.nameFn ? d.nameFn(c.userData, i) : "";
            p.drawnText.push_back(PanelPainter::lineText(name ? name : ""));
        }
    }
}

} // namespace

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
        recordText(p, *c);
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

// ---- XPanels: laid out from their hints

namespace {

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
            const double w = plainWidth(cr, plainTextOf(text));
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
                const std::string text = plainTextOf(label(g).empty() ? std::to_string(g) : label(g));
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

    int control(const XControl &c, int x, int y, int width)
    {
        std::string why;
        const bool on = panels.enabled(p, c.id, &why);
        const int h = c.kind == "dThumbnail" ? kThumbnailHeight + 6 : kRow;
        if (!draw)
            return h + (on || why.empty() ? 0 : kLineHeight);
        if (!on)
            cairo_push_group(cr);
        const std::string text = plainTextOf(c.label);
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
            const int bw = std::min(ww, 240);
            const int bx = k == "vPopCmd" ? wx : wx;
            bevel(cr, bx, y + 2, bw, 20, false, k == "vPopCmd" ? kLight : kBackground);
            std::string shown = k == "vPopCmd" ? text : value(c);
            if (k == "iPopChoice") { // drawn with the item's own markup
                const std::vector<std::string> marked = panels.markedItems(p, c);
                for (const std::string &item : marked)
                    if (plainTextOf(item) == shown)
                        shown = item;
            }
            cairo_save(cr);
            cairo_rectangle(cr, bx, y, bw - 16, kRow);
            cairo_clip(cr);
            markupText(cr, shown, bx + 6, y + 4, kText);
            cairo_restore(cr);
            downArrow(cr, bx + bw - 14, y + 10);
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
