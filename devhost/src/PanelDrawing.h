// The host's look shared by the classic panel and XPanel painters: its
// colours and sizes, text with the host's markup, bevels, the title bar and
// the OK/Cancel row, drawn with Cairo.
#ifndef DEVHOST_SRC_PANELDRAWING_H
#define DEVHOST_SRC_PANELDRAWING_H

#include <string>
#include <vector>

#include <cairo.h>

#include "PanelText.h"

namespace devhost::paint {

// Palette colours of the classic drawing functions.
Rgb palette(int colour);
// The host's named colours of the text markup; fallback for other names.
Rgb namedColour(const std::string &name, const Rgb &fallback);

void colour(cairo_t *cr, const Rgb &c);
void font(cairo_t *cr, bool bold = false, bool italic = false);
double ascent(cairo_t *cr);
double plainWidth(cairo_t *cr, const std::string &s);

void drawIcon(cairo_t *cr, const std::string &name, double x, double top, const Rgb &c);
// Draws marked-up text with its top at y (or only measures it); answers
// the width it took.
double markupText(cairo_t *cr, const std::string &s, double x, double y, Rgb c, bool draw = true);

// Light above and left, shade below and right: raised; the other way
// round: sunken.
void edges(cairo_t *cr, double x, double y, double w, double h, bool sunken);
void bevel(cairo_t *cr, double x, double y, double w, double h, bool sunken, const Rgb &fill);
void downArrow(cairo_t *cr, double x, double y);
// The host's OK (and Cancel) buttons, right-aligned at y.
void buttonRow(cairo_t *cr, int width, int y, bool cancel);
void titleBar(cairo_t *cr, int width, const std::string &title);

// A Cairo surface and its context, freed together.
struct Raster {
    cairo_surface_t *surface = nullptr;
    cairo_t *cr = nullptr;
    Raster(int w, int h);
    ~Raster();
    Raster(const Raster &) = delete;
    Raster &operator=(const Raster &) = delete;
};

// Throws PanelError naming the file and the cause.
void writePng(cairo_surface_t *surface, const std::string &png);

} // namespace devhost::paint

#endif
