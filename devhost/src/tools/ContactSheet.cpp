#include "devhost/tools/ContactSheet.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <ostream>

#include <cairo.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfPartType.h>

#include "devhost/tools/ExrLayers.h"
#include "devhost/tools/ExrSummary.h"
#include "devhost/Host.h"

#include "SheetPixels.h"

namespace devhost {

using namespace sheet;

namespace {

// Page layout, in pixels.
constexpr int kMargin = 24, kGap = 20, kPad = 10;
constexpr int kBoxWidth = 352, kBoxHeight = 264; // a tile's picture fits in this
constexpr int kHeaderHeight = 64, kTextHeight = 78;

// --------------------------------------------------------------- drawing

struct Swatch {
    Rgb colour;
    std::string label;
};

// What a tile shows before its legend text: a ramp with its ends, swatches,
// a colour wheel or a checkerboard sample.
struct LegendArt {
    bool ramp = false, wheel = false, checker = false;
    std::string low, high; // the ramp's ends
    std::vector<Swatch> swatches;
};

struct TileDraw {
    SheetTile tile;
    Plan plan;
    Surface image;
    Imath::Box2i display, data;
    int step = 1;
    bool nearest = false;
    LegendArt art;
};

std::string shortNumber(double v) { return numberText(v, 4); }

std::string percent(std::int64_t part, std::int64_t whole)
{
    const double p = whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0;
    return p < 1 ? "<1%" : numberText(std::round(p)) + "%";
}

void describe(TileDraw &t, const Grid &g)
{
    const Plan &p = t.plan;
    switch (p.show) {
    case Show::Colour:
        t.tile.legend = "linear as sRGB";
        if (p.channels.size() == 4) {
            t.tile.legend += ", checks where A < 1";
            t.art.checker = true;
        }
        if (g.maxColour > 1)
            t.tile.legend += ", clipped at 1 (max\xC2\xA0" + shortNumber(g.maxColour) + ")";
        break;
    case Show::Flow:
        t.tile.legend = "hue: direction, saturation: length (max\xC2\xA0" + shortNumber(g.maxLength) + ")";
        t.art.wheel = true;
        break;
    case Show::Direction: {
        const std::string s = shortNumber(std::max(1.0, g.maxAbs));
        t.tile.legend = "X Y Z as R G B, -" + s + " to " + s;
        t.art.swatches = {{{1, 0.5, 0.5}, "+X"}, {{0.5, 1, 0.5}, "+Y"}, {{0.5, 0.5, 1}, "+Z"}};
        break;
    }
    case Show::Matte: t.tile.legend = "Cryptomatte: rank 0, one colour per id, dimmed by its coverage"; break;
    default: break;
    }
}

void describeIds(TileDraw &t, const std::vector<std::uint64_t> &seen, bool more)
{
    for (std::size_t i = 0; i < seen.size() && i < 8; ++i)
        t.art.swatches.push_back({idColour(seen[i]), std::to_string(seen[i])});
    t.tile.legend = std::to_string(seen.size()) + (more ? "+" : "") +
                    (seen.size() == 1 && !more ? " id" : " ids") + ", one colour each, 0 black";
}

// Cuts text to fit a width, marking the cut.
std::string fitted(cairo_t *cr, std::string text, double width)
{
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    if (e.x_advance <= width)
        return text;
    const std::string ellipsis = "\xE2\x80\xA6";
    while (!text.empty()) {
        text.pop_back();
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
            text.pop_back(); // whole UTF-8 characters only
        cairo_text_extents(cr, (text + ellipsis).c_str(), &e);
        if (e.x_advance <= width)
            break;
    }
    return text + ellipsis;
}

void setColour(cairo_t *cr, const Rgb &c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void text(cairo_t *cr, double x, double y, double size, bool bold, const Rgb &colour,
          const std::string &s, double width)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    setColour(cr, colour);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, fitted(cr, s, width).c_str());
}

// Breaks text at blanks into at most maxLines lines of the given width, the
// last one cut when the text is longer; uses the current font.
std::vector<std::string> wrapped(cairo_t *cr, const std::string &s, double width, int maxLines)
{
    std::vector<std::string> lines;
    std::string line;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t blank = s.find(' ', i);
        const std::string word = s.substr(i, blank == std::string::npos ? std::string::npos : blank - i);
        i = blank == std::string::npos ? s.size() : blank + 1;
        const std::string candidate = line.empty() ? word : line + " " + word;
        cairo_text_extents_t e;
        cairo_text_extents(cr, candidate.c_str(), &e);
        if (e.x_advance <= width || line.empty()) {
            line = candidate;
            continue;
        }
        lines.push_back(line);
        line = word;
        if (static_cast<int>(lines.size()) == maxLines - 1) {
            line += i < s.size() ? " " + s.substr(i) : "";
            break;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    if (!lines.empty())
        lines.back() = fitted(cr, lines.back(), width);
    return lines;
}

void paragraph(cairo_t *cr, double x, double y, double size, const Rgb &colour, const std::string &s,
               double width, int maxLines)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    for (const std::string &line : wrapped(cr, s, width, maxLines)) {
        setColour(cr, colour);
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, line.c_str());
        y += size * 1.4;
    }
}

void checker(cairo_t *cr, double x, double y, double w, double h, double size)
{
    cairo_save(cr);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.42, 0.42, 0.42);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.58, 0.58, 0.58);
    for (int j = 0; j * size < h; ++j)
        for (int i = j % 2; i * size < w; i += 2)
            cairo_rectangle(cr, x + i * size, y + j * size, size, size);
    cairo_fill(cr);
    cairo_restore(cr);
}

const Rgb kPage = {0.11, 0.115, 0.13}, kCard = {0.17, 0.18, 0.2}, kFrame = {0.07, 0.07, 0.08};
const Rgb kTitle = {0.95, 0.95, 0.95}, kSub = {0.68, 0.7, 0.74}, kFaint = {0.55, 0.57, 0.6};
const Rgb kError = {1.0, 0.45, 0.4};

double label(cairo_t *cr, double x, double baseline, const std::string &s)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 11);
    setColour(cr, kSub);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, s.c_str());
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    return x + e.x_advance;
}

// Returns the x after the art.
double drawArt(cairo_t *cr, const LegendArt &art, double x, double baseline)
{
    const double h = 11, top = baseline - 10;
    if (art.checker) {
        checker(cr, x, top, 2 * h, h, h / 2);
        x += 2 * h + 8;
    }
    if (art.wheel) {
        const double r = 7, cx = x + r, cy = top + h / 2;
        for (int i = 0; i < 36; ++i) {
            const double a0 = i * 2 * M_PI / 36, a1 = (i + 1) * 2 * M_PI / 36;
            // Cairo's angles turn the way the image's y runs: down from +x.
            setColour(cr, flowColour(std::cos(a0 + M_PI / 36), std::sin(a0 + M_PI / 36), 1.0));
            cairo_move_to(cr, cx, cy);
            cairo_arc(cr, cx, cy, r, a0, a1 + 0.01);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
        x += 2 * r + 8;
    }
    if (art.ramp) {
        x = label(cr, x, baseline, art.low) + 4;
        cairo_pattern_t *ramp = cairo_pattern_create_linear(x, 0, x + 80, 0);
        cairo_pattern_add_color_stop_rgb(ramp, 0, 0, 0, 0);
        cairo_pattern_add_color_stop_rgb(ramp, 1, 1, 1, 1);
        cairo_rectangle(cr, x, top, 80, h);
        cairo_set_source(cr, ramp);
        cairo_fill(cr);
        cairo_pattern_destroy(ramp);
        x = label(cr, x + 84, baseline, art.high) + 10;
    }
    for (const Swatch &s : art.swatches) {
        setColour(cr, s.colour);
        cairo_rectangle(cr, x, top, h, h);
        cairo_fill(cr);
        x = label(cr, x + h + 3, baseline, s.label) + 8;
    }
    return x + 2;
}

void drawTile(cairo_t *cr, const TileDraw &t, double cellX, double cellY, double cellW, double cellH,
              double pictureH)
{
    setColour(cr, kCard);
    cairo_rectangle(cr, cellX, cellY, cellW, cellH);
    cairo_fill(cr);

    const SheetTile &s = t.tile;
    setColour(cr, kFrame);
    cairo_rectangle(cr, s.x - 1, s.y - 1, s.width + 2, s.height + 2);
    cairo_fill(cr);
    if (t.image) {
        const double dispW = double(t.display.max.x) - t.display.min.x + 1;
        const double dispH = double(t.display.max.y) - t.display.min.y + 1;
        const double sx = s.width / dispW, sy = s.height / dispH;
        if (t.plan.show == Show::Colour)
            checker(cr, s.x, s.y, s.width, s.height, 8);
        const double dx = s.x + (t.data.min.x - t.display.min.x) * sx;
        const double dy = s.y + (t.data.min.y - t.display.min.y) * sy;
        cairo_save(cr);
        cairo_rectangle(cr, s.x, s.y, s.width, s.height);
        cairo_clip(cr);
        cairo_translate(cr, dx, dy);
        cairo_scale(cr, sx * t.step, sy * t.step);
        cairo_set_source_surface(cr, t.image.get(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), t.nearest || sx * t.step >= 1
                                                           ? CAIRO_FILTER_NEAREST
                                                           : CAIRO_FILTER_GOOD);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_NONE);
        cairo_paint(cr);
        cairo_restore(cr);
        if (t.data != t.display) {
            // Where the data window lies in the frame.
            const double dataW = (double(t.data.max.x) - t.data.min.x + 1) * sx;
            const double dataH = (double(t.data.max.y) - t.data.min.y + 1) * sy;
            const double dash[] = {4, 3};
            cairo_save(cr);
            cairo_rectangle(cr, s.x, s.y, s.width, s.height);
            cairo_clip(cr);
            cairo_set_dash(cr, dash, 2, 0);
            cairo_set_line_width(cr, 1);
            cairo_set_source_rgb(cr, 1, 0.8, 0.2);
            cairo_rectangle(cr, dx + 0.5, dy + 0.5, dataW - 1, dataH - 1);
            cairo_stroke(cr);
            cairo_restore(cr);
        }
    } else {
        const std::string why = !s.error.empty() ? s.error : t.plan.note;
        paragraph(cr, s.x + 10, s.y + 22, 12, s.error.empty() ? kSub : kError, why, s.width - 20,
                  std::max(1, (s.height - 16) / 17));
    }

    const double textX = cellX + kPad, width = cellW - 2 * kPad;
    double y = cellY + kPad + pictureH + 22;
    text(cr, textX, y, 15, true, kTitle, s.title, width);
    y += 19;
    text(cr, textX, y, 12, false, kSub, s.channels, width);
    if (!s.error.empty())
        return;
    y += 19;
    const double after = drawArt(cr, t.art, textX, y);
    paragraph(cr, after, y, 11.5, kFaint, s.legend, textX + width - after, 2);
}

std::string sizeText(std::uintmax_t bytes)
{
    const double b = static_cast<double>(bytes);
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    if (bytes < 1024 * 1024)
        return numberText(b / 1024, 3) + " KiB";
    return numberText(b / (1024 * 1024), 3) + " MiB";
}

std::string windowSize(const Imath::Box2i &w)
{
    return std::to_string(std::int64_t(w.max.x) - w.min.x + 1) + " \xC3\x97 " +
           std::to_string(std::int64_t(w.max.y) - w.min.y + 1);
}

// Every part's tiles, in order, with their channels and windows; answers
// how many channels the file has in *channelCount.
std::vector<TileDraw> planTiles(Imf::MultiPartInputFile &file, std::size_t *channelCount)
{
    std::vector<TileDraw> tiles;
    for (int p = 0; p < file.parts(); ++p) {
        const Imf::Header &h = file.header(p);
        for (auto it = h.channels().begin(); it != h.channels().end(); ++it)
            ++*channelCount;
        const bool deep = h.hasType() && Imf::isDeepData(h.type());
        std::string partName;
        if (file.parts() > 1)
            partName = h.hasName() ? h.name() : "part " + std::to_string(p);
        for (Plan &plan : planPart(h, p, partName)) {
            TileDraw t;
            t.plan = std::move(plan);
            t.display = h.displayWindow();
            t.data = h.dataWindow();
            t.tile.title = t.plan.title;
            t.tile.channels = channelsText(t.plan.channels);
            if (deep) {
                t.plan.show = Show::Nothing;
                t.plan.note = "not drawn: deep data";
            }
            tiles.push_back(std::move(t));
        }
    }
    return tiles;
}

// A single channel: ids when every value is a whole number and the name
// says so, else grey, stretched where the values leave 0-1.
Mapping valuesMapping(TileDraw &t, const Grid &g)
{
    Mapping m;
    m.show = Show::Values;
    const bool finite = g.noData < g.total;
    if (finite && g.noData == 0 && g.integral && looksLikeId(t.plan.channels[0].base)) {
        m.show = Show::Ids;
        return m;
    }
    m.stretch = finite && (g.lo < 0 || g.hi > 1 || isDepth(t.plan.channels[0]));
    m.lo = m.stretch ? g.lo : 0;
    m.hi = m.stretch ? g.hi : 1;
    t.art.ramp = finite;
    t.art.low = shortNumber(m.lo);
    t.art.high = shortNumber(m.hi);
    t.tile.legend = !finite ? "no finite values" : m.stretch ? "stretched" : "as stored";
    if (g.noData > 0)
        t.art.swatches.push_back(
            {kNoDataColour, (g.sameNoData ? shortNumber(g.noDataValue) : "beyond 1e20") + " (" +
                                percent(g.noData, g.total) + ")"});
    return m;
}

void describeGridIds(TileDraw &t, const Grid &g)
{
    std::vector<std::uint64_t> seen;
    bool more = false;
    auto note = [&](std::uint64_t id) {
        if (std::find(seen.begin(), seen.end(), id) != seen.end())
            return;
        if (seen.size() >= 4096)
            more = true;
        else
            seen.push_back(id);
    };
    if (!g.ids.empty())
        for (std::uint32_t id : g.ids)
            note(id);
    else
        for (float v : g.planes[0])
            note(static_cast<std::uint64_t>(v));
    std::sort(seen.begin(), seen.end());
    describeIds(t, seen, more);
    t.nearest = true;
}

// Reads the tile's pixels and makes its picture and legend; a tile that
// cannot be read keeps the reason as its error.
void drawPixels(Imf::MultiPartInputFile &file, TileDraw &t)
{
    if (t.plan.show == Show::Nothing)
        return;
    try {
        const Grid g = readGrid(file, t.plan);
        Mapping m;
        m.show = t.plan.show;
        t.step = g.step;
        if (m.show == Show::Values)
            m = valuesMapping(t, g);
        if (m.show == Show::Ids)
            describeGridIds(t, g);
        describe(t, g);
        t.image = picture(g, t.plan, m);
    } catch (const std::exception &e) {
        t.tile.error = std::string("cannot read the pixels: ") + e.what();
    }
}

// One picture size per tile within the box; answers the tallest.
int sizePictures(std::vector<TileDraw> &tiles)
{
    int pictureH = 1;
    for (TileDraw &t : tiles) {
        const double dispW = double(t.display.max.x) - t.display.min.x + 1;
        const double dispH = double(t.display.max.y) - t.display.min.y + 1;
        double w = kBoxWidth, h = kBoxWidth * dispH / dispW;
        if (!(dispW > 0 && dispH > 0))
            h = kBoxHeight;
        if (h > kBoxHeight) {
            w = kBoxHeight * dispW / dispH;
            h = kBoxHeight;
        }
        t.tile.width = std::max(1, static_cast<int>(std::lround(w)));
        t.tile.height = std::max(1, static_cast<int>(std::lround(h)));
        pictureH = std::max(pictureH, t.tile.height);
    }
    return pictureH;
}

// The line under the file's name: size, parts, compression, channels,
// tiles, bytes and the path.
std::string fileFacts(Imf::MultiPartInputFile &file, const std::string &input,
                      std::size_t channelCount, int tiles)
{
    const Imf::Header &first = file.header(0);
    std::string facts = windowSize(first.displayWindow());
    facts += " \xC2\xB7 " + std::to_string(file.parts()) + (file.parts() == 1 ? " part" : " parts");
    facts += " \xC2\xB7 " + attributeText(first["compression"]);
    facts += " \xC2\xB7 " + std::to_string(channelCount) + " channels in " +
             std::to_string(tiles) + (tiles == 1 ? " tile" : " tiles");
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(input, ec);
    if (!ec)
        facts += " \xC2\xB7 " + sizeText(bytes);
    return facts + " \xC2\xB7 " + input;
}

} // namespace

ContactSheet writeContactSheet(const std::string &input, const std::string &output)
{
    const std::unique_ptr<Imf::MultiPartInputFile> file = openExrFile(input);
    std::size_t channelCount = 0;
    std::vector<TileDraw> tiles = planTiles(*file, &channelCount);
    for (TileDraw &t : tiles)
        drawPixels(*file, t);

    // A common cell for all tiles.
    const int pictureH = sizePictures(tiles);
    const int n = static_cast<int>(tiles.size());
    int columns = std::max(1, std::min(n, 4));
    if (n > 4)
        columns = (n % 4 == 0 || (4 - n % 4) <= (3 - n % 3) % 3) ? 4 : 3;
    const int rows = n == 0 ? 0 : (n + columns - 1) / columns;
    const int cellW = kBoxWidth + 2 * kPad, cellH = pictureH + 2 * kPad + kTextHeight;
    ContactSheet sheet;
    sheet.width = std::max(2 * kMargin + columns * cellW + (columns - 1) * kGap, 640);
    sheet.height = kMargin + kHeaderHeight + rows * cellH + std::max(0, rows - 1) * kGap + kMargin;

    try {
        Surface page = makeSurface(CAIRO_FORMAT_RGB24, sheet.width, sheet.height);
        Context cr(cairo_create(page.get()));
        setColour(cr.get(), kPage);
        cairo_paint(cr.get());

        const std::string name = std::filesystem::path(input).filename().string();
        const double inner = sheet.width - 2.0 * kMargin;
        text(cr.get(), kMargin, kMargin + 22, 22, true, kTitle, name, inner);
        text(cr.get(), kMargin, kMargin + 46, 13, false, kSub,
             fileFacts(*file, input, channelCount, n), inner);
        if (n == 0)
            text(cr.get(), kMargin, kMargin + kHeaderHeight + 20, 14, false, kSub,
                 "The file has no channels.", inner);

        for (int i = 0; i < n; ++i) {
            TileDraw &t = tiles[static_cast<std::size_t>(i)];
            const int cx = kMargin + (i % columns) * (cellW + kGap);
            const int cy = kMargin + kHeaderHeight + (i / columns) * (cellH + kGap);
            t.tile.x = cx + kPad + (kBoxWidth - t.tile.width) / 2;
            t.tile.y = cy + kPad + (pictureH - t.tile.height) / 2;
            drawTile(cr.get(), t, cx, cy, cellW, cellH, pictureH);
        }
        cr.reset();
        const cairo_status_t status = cairo_surface_write_to_png(page.get(), output.c_str());
        if (status != CAIRO_STATUS_SUCCESS)
            throw std::runtime_error(cairo_status_to_string(status));
    } catch (const std::exception &e) {
        throw HostError("Cannot write the contact sheet \"" + output + "\": " + e.what());
    }
    for (TileDraw &t : tiles)
        sheet.tiles.push_back(t.tile);
    return sheet;
}

int reportContactSheet(const ContactSheet &sheet, const std::string &output, std::ostream *out,
                       std::ostream &err)
{
    int status = 0;
    for (const SheetTile &t : sheet.tiles)
        if (!t.error.empty()) {
            err << "devhost: " << t.title << ": " << t.error << "\n";
            status = 1;
        }
    if (out)
        *out << "contact sheet: " << output << " (" << sheet.tiles.size()
             << (sheet.tiles.size() == 1 ? " tile, " : " tiles, ") << sheet.width << " x "
             << sheet.height << ")\n";
    return status;
}

} // namespace devhost

