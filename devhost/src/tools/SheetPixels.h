// The pixels of a contact sheet's tiles: what a tile shows, every n-th
// pixel of its channels read from the file, and that grid mapped to a
// Cairo picture (colour, motion, directions, ids or grey).
#ifndef DEVHOST_SRC_TOOLS_SHEETPIXELS_H
#define DEVHOST_SRC_TOOLS_SHEETPIXELS_H

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <cairo.h>

#include <ImfHeader.h>
#include <ImfMultiPartInputFile.h>

#include "devhost/tools/ExrLayers.h"

namespace devhost::sheet {

// Matte: a Cryptomatte layer, rank 0's id as a colour dimmed by its coverage.
enum class Show { Colour, Flow, Direction, Ids, Values, Matte, Nothing };

struct Plan {
    int part = 0;
    std::string title;
    Show show = Show::Values;
    std::vector<LayerChannel> channels;
    std::string note; // why nothing is shown
};

struct Rgb {
    double r, g, b;
};

// Every step-th pixel of the data window, with what the mapping needs to
// know about all of them.
struct Grid {
    int width = 0, height = 0, step = 1;
    std::vector<std::vector<float>> planes; // one per channel, row by row
    std::vector<std::uint32_t> ids;         // unsigned integer channels
    // Over every pixel of the data window, not only the kept ones.
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    double maxLength = 0, maxAbs = 0, maxColour = 0;
    std::int64_t noData = 0, total = 0;
    double noDataValue = 0;
    bool sameNoData = true, integral = true;
};

// The tiles of one part: colour, vectors, then every other channel alone.
std::vector<Plan> planPart(const Imf::Header &h, int part, const std::string &partName);
// "R G B half": the channels shown and their type.
std::string channelsText(const std::vector<LayerChannel> &channels);
// Whether a channel's name says it holds ids ("...ID").
bool looksLikeId(const std::string &base);
// Depth is stretched even when it lies within 0-1: its range is what matters.
bool isDepth(const LayerChannel &c);

// Throws std::exception when the data window is empty or too large, or the
// pixels cannot be read.
Grid readGrid(Imf::MultiPartInputFile &file, const Plan &plan);

struct SurfaceDeleter {
    void operator()(cairo_surface_t *s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t *c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

// Throws std::runtime_error when Cairo cannot make it.
Surface makeSurface(cairo_format_t format, int width, int height);

// Neighbouring ids land far apart on the colour wheel; 0 is "nothing".
Rgb idColour(std::uint64_t id);
// Direction as hue, length as saturation over white: the usual picture of
// a flow field.
Rgb flowColour(double x, double y, double maxLength);
// Values a renderer means as "nothing here" (beyond 1e20, infinities, NaN).
inline constexpr Rgb kNoDataColour = {0.16, 0.27, 0.52};

struct Mapping {
    Show show = Show::Values;
    bool stretch = false; // Values: over lo..hi instead of 0..1
    double lo = 0, hi = 1;
};

Surface picture(const Grid &g, const Plan &plan, const Mapping &m);

} // namespace devhost::sheet

#endif
