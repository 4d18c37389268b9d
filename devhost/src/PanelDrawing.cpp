// The host's look shared by classic panels and XPanels: colours, the text
// markup, bevels, the title bar and the OK/Cancel row.
#include "PanelDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "devhost/PanelPainter.h"
#include "devhost/Panels.h"

namespace devhost {

namespace paint {

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

void font(cairo_t *cr, bool bold, bool italic)
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

// Draws marked-up text with its top at y; answers the width it took.
double markupText(cairo_t *cr, const std::string &s, double x, double y, Rgb c, bool draw)
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
    cairo_show_text(cr, PanelPainter::plainText(title).c_str());
}

Raster::Raster(int w, int h)
{
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(w, 1), std::max(h, 1));
    cr = cairo_create(surface);
}

Raster::~Raster()
{
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

void writePng(cairo_surface_t *surface, const std::string &png)
{
    cairo_surface_flush(surface);
    const cairo_status_t st = cairo_surface_write_to_png(surface, png.c_str());
    if (st != CAIRO_STATUS_SUCCESS)
        throw PanelError("Cannot write the picture \"" + png + "\": " + cairo_status_to_string(st));
}

// Measuring needs no panel: one small raster serves every text.
cairo_t *measuring()
{
    static Raster r(1, 1);
    return r.cr;
}

int textWidth(const char *text)
{
    return text ? static_cast<int>(std::ceil(markupText(measuring(), text, 0, 0, kText, false)))
                : 0;
}

} // namespace paint

} // namespace devhost
