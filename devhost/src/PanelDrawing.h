// The host's look shared by the classic panel and XPanel painters: its
// colours and sizes, text with the host's markup, bevels, the title bar and
// the OK/Cancel row, drawn with Cairo.
#ifndef DEVHOST_SRC_PANELDRAWING_H
#define DEVHOST_SRC_PANELDRAWING_H

#include <string>
#include <vector>

#include <cairo.h>

namespace devhost::paint {

struct Rgb {
    double r, g, b;
};

inline constexpr double kFontSize = 12.0;
inline constexpr int kLineHeight = 16;
inline constexpr int kTitleBar = 22;
inline constexpr int kButtonRow = 32;
inline constexpr int kMargin = 8;
inline constexpr int kGap = 6;
inline constexpr double kIconWidth = 14;

inline constexpr Rgb kBackground{0.62, 0.62, 0.64};
inline constexpr Rgb kText{0.05, 0.05, 0.06};
inline constexpr Rgb kWhite{1, 1, 1};
inline constexpr Rgb kTitle{0.22, 0.23, 0.27};
inline constexpr Rgb kField{0.80, 0.80, 0.82};
inline constexpr Rgb kListBack{0.50, 0.50, 0.53};
inline constexpr Rgb kLight{0.86, 0.86, 0.88};
inline constexpr Rgb kShade{0.36, 0.36, 0.38};
inline constexpr Rgb kDisabledNote{0.25, 0.25, 0.30};

// Palette colours of the classic drawing functions.
Rgb palette(int colour);
// The host's named colours of the text markup; fallback for other names.
Rgb namedColour(const std::string &name, const Rgb &fallback);

void colour(cairo_t *cr, const Rgb &c);
void font(cairo_t *cr, bool bold = false, bool italic = false);
double ascent(cairo_t *cr);
double plainWidth(cairo_t *cr, const std::string &s);

// One piece of marked-up text: plain text, or a code.
struct Piece {
    char code = 0; // 0 text, 'c' colour, 'i' icon, 'a' move to, 'g' gap
    std::string arg;
};
std::vector<Piece> pieces(const std::string &s);

void drawIcon(cairo_t *cr, const std::string &name, double x, double top, const Rgb &c);
// Draws marked-up text with its top at y (or only measures it); answers
// the width it took.
double markupText(cairo_t *cr, const std::string &s, double x, double y, Rgb c, bool draw = true);
// The width of marked-up text, measured without a panel.
int textWidth(const char *text);

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
