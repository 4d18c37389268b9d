#include "SheetPixels.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cmath>
#include <map>
#include <stdexcept>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputPart.h>
#include <ImfStringAttribute.h>

namespace devhost::sheet {

namespace {

// Larger magnitudes are a renderer's "nothing here" (a backdrop depth of
// 1e30), not data to stretch the grey ramp over.
constexpr double kNoData = 1e20;
// The grid a tile is read into: every n-th row and column of the data
// window, at most this many on the long side. The tile is smaller still.
constexpr std::int64_t kGridSide = 1024;
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 31;
// Floats read at once while walking the data window.
constexpr std::int64_t kChunkFloats = std::int64_t(1) << 22;

void account(Grid &g, const Plan &plan, const float *const *v, std::size_t i)
{
    switch (plan.show) {
    case Show::Values: {
        const double x = v[0][i];
        ++g.total;
        if (!std::isfinite(x) || std::fabs(x) >= kNoData) {
            if (g.noData == 0)
                g.noDataValue = x;
            else if (!(x == g.noDataValue || (std::isnan(x) && std::isnan(g.noDataValue))))
                g.sameNoData = false;
            ++g.noData;
            return;
        }
        g.lo = std::min(g.lo, x);
        g.hi = std::max(g.hi, x);
        if (x < 0 || x != std::floor(x) || x > 16777216.0)
            g.integral = false;
        return;
    }
    case Show::Flow: {
        const double l = std::hypot(v[0][i], v[1][i]);
        if (std::isfinite(l))
            g.maxLength = std::max(g.maxLength, l);
        return;
    }
    case Show::Direction:
        for (int c = 0; c < 3; ++c)
            if (std::isfinite(v[c][i]))
                g.maxAbs = std::max(g.maxAbs, std::fabs(static_cast<double>(v[c][i])));
        return;
    case Show::Colour:
        for (int c = 0; c < 3; ++c)
            if (std::isfinite(v[c][i]))
                g.maxColour = std::max(g.maxColour, static_cast<double>(v[c][i]));
        return;
    default: return;
    }
}


double clamp01(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0); }

double toSrgb(double linear)
{
    const double v = clamp01(linear);
    return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

Rgb hsv(double h, double s, double v)
{
    h = (h - std::floor(h)) * 6.0;
    const int i = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
    case 0: return {v, t, p};
    case 1: return {q, v, p};
    case 2: return {p, v, t};
    case 3: return {p, q, v};
    case 4: return {t, p, v};
    default: return {v, p, q};
    }
}

std::uint32_t pack(const Rgb &c, double alpha = 1.0)
{
    auto byte = [](double v) { return static_cast<std::uint32_t>(std::lround(clamp01(v) * 255.0)); };
    // Cairo keeps colour premultiplied by alpha.
    return byte(alpha) << 24 | byte(c.r * alpha) << 16 | byte(c.g * alpha) << 8 | byte(c.b * alpha);
}

} // namespace

// ---- planning

bool looksLikeId(const std::string &base)
{
    return base.size() >= 2 && (base.compare(base.size() - 2, 2, "ID") == 0 ||
                                base.compare(base.size() - 2, 2, "Id") == 0 || base == "id");
}

bool isDepth(const LayerChannel &c)
{
    std::string lower;
    for (char ch : c.name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return c.base == "Z" || lower.find("depth") != std::string::npos;
}

std::string channelsText(const std::vector<LayerChannel> &channels)
{
    std::string types;
    for (const LayerChannel &c : channels) {
        const std::string t = pixelTypeName(c.type);
        if (types.find(t) == std::string::npos)
            types += (types.empty() ? "" : "/") + t;
    }
    return baseNames(channels) + "  " + types;
}

namespace {

// A layer of a Cryptomatte type the header names: the type's name and two
// digits.
bool isMatteLayer(const Imf::Header &h, const std::string &layer)
{
    if (layer.size() < 3 || !std::isdigit(static_cast<unsigned char>(layer[layer.size() - 1])) ||
        !std::isdigit(static_cast<unsigned char>(layer[layer.size() - 2])))
        return false;
    const std::string type = layer.substr(0, layer.size() - 2);
    for (auto it = h.begin(); it != h.end(); ++it) {
        const std::string name = it.name();
        if (name.rfind("cryptomatte/", 0) != 0 || name.size() < 5 ||
            name.compare(name.size() - 5, 5, "/name") != 0)
            continue;
        if (const auto *a = dynamic_cast<const Imf::StringAttribute *>(&it.attribute()))
            if (a->value() == type)
                return true;
    }
    return false;
}

} // namespace

// Colour, vectors, then every other channel alone.
std::vector<Plan> planPart(const Imf::Header &h, int part, const std::string &partName)
{
    std::vector<Plan> plans;
    const std::string prefix = partName.empty() ? "" : partName + ": ";
    for (const Layer &layer : layersOf(h.channels())) {
        std::map<std::string, const LayerChannel *> byBase;
        for (const LayerChannel &c : layer.channels)
            if (c.xSampling == 1 && c.ySampling == 1)
                byBase[c.base] = &c;
        std::vector<const LayerChannel *> used;
        auto take = [&](Show show, std::initializer_list<const char *> bases, const char *optional,
                        const std::string &rootTitle) {
            Plan p;
            p.part = part;
            p.show = show;
            for (const char *b : bases) {
                if (!byBase.count(b))
                    return;
                p.channels.push_back(*byBase[b]);
            }
            if (optional && byBase.count(optional))
                p.channels.push_back(*byBase[optional]);
            for (const LayerChannel &c : p.channels) {
                used.push_back(byBase[c.base]);
                byBase.erase(c.base);
            }
            p.title = prefix + (layer.name.empty() ? rootTitle : layer.name);
            plans.push_back(std::move(p));
        };
        if (isMatteLayer(h, layer.name))
            take(Show::Matte, {"R", "G", "B", "A"}, nullptr, "");
        take(Show::Colour, {"R", "G", "B"}, "A", "RGBA");
        if (!plans.empty() && plans.back().part == part && plans.back().show == Show::Colour &&
            plans.back().channels.size() == 3 && layer.name.empty())
            plans.back().title = prefix + "RGB";
        // The top level's Z is depth, not the third part of a direction.
        if (!layer.name.empty()) {
            take(Show::Direction, {"X", "Y", "Z"}, nullptr, "");
            take(Show::Flow, {"X", "Y"}, nullptr, "");
        }
        for (const LayerChannel &c : layer.channels) {
            if (std::find(used.begin(), used.end(), &c) != used.end())
                continue;
            Plan p;
            p.part = part;
            p.title = prefix + c.name;
            p.channels.push_back(c);
            if (c.xSampling != 1 || c.ySampling != 1) {
                p.show = Show::Nothing;
                p.note = "not drawn: sampled every " + std::to_string(c.xSampling) + " x " +
                         std::to_string(c.ySampling) + " pixels";
            } else {
                p.show = c.type == Imf::UINT ? Show::Ids : Show::Values;
            }
            plans.push_back(std::move(p));
        }
    }
    return plans;
}

Grid readGrid(Imf::MultiPartInputFile &file, const Plan &plan)
{
    const Imf::Header &h = file.header(plan.part);
    const Imath::Box2i data = h.dataWindow();
    const std::int64_t dw = std::int64_t(data.max.x) - data.min.x + 1;
    const std::int64_t dh = std::int64_t(data.max.y) - data.min.y + 1;
    if (dw <= 0 || dh <= 0 || dw * dh > kMaxPixels)
        throw std::runtime_error("its data window is empty or too large to draw");

    Grid g;
    g.step = static_cast<int>(std::max<std::int64_t>(1, (std::max(dw, dh) + kGridSide - 1) / kGridSide));
    g.width = static_cast<int>((dw + g.step - 1) / g.step);
    g.height = static_cast<int>((dh + g.step - 1) / g.step);
    const std::size_t cells = static_cast<std::size_t>(g.width) * g.height;
    const std::size_t n = plan.channels.size();
    const bool ids = plan.show == Show::Ids;
    if (ids)
        g.ids.resize(cells);
    else
        g.planes.assign(n, std::vector<float>(cells));

    const std::int64_t rows = std::clamp<std::int64_t>(kChunkFloats / (dw * static_cast<std::int64_t>(n)), 1, 64);
    std::vector<std::vector<float>> chunk(ids ? 0 : n, std::vector<float>(static_cast<std::size_t>(dw * rows)));
    std::vector<std::uint32_t> idChunk(ids ? static_cast<std::size_t>(dw * rows) : 0);
    Imf::InputPart in(file, plan.part);
    for (std::int64_t y0 = data.min.y; y0 <= data.max.y; y0 += rows) {
        const std::int64_t y1 = std::min<std::int64_t>(data.max.y, y0 + rows - 1);
        const Imath::V2i origin(data.min.x, static_cast<int>(y0));
        Imf::FrameBuffer fb;
        for (std::size_t c = 0; c < n; ++c) {
            if (ids)
                fb.insert(plan.channels[c].name,
                          Imf::Slice::Make(Imf::UINT, idChunk.data(), origin, dw, rows,
                                           sizeof(std::uint32_t)));
            else
                fb.insert(plan.channels[c].name,
                          Imf::Slice::Make(Imf::FLOAT, chunk[c].data(), origin, dw, rows, sizeof(float)));
        }
        in.setFrameBuffer(fb);
        in.readPixels(static_cast<int>(y0), static_cast<int>(y1));

        const float *planes[4] = {};
        for (std::size_t c = 0; c < n && !ids; ++c)
            planes[c] = chunk[c].data();
        for (std::int64_t y = y0; y <= y1; ++y) {
            const std::int64_t row = (y - y0) * dw;
            const bool keepRow = (y - data.min.y) % g.step == 0;
            const std::size_t gy = static_cast<std::size_t>((y - data.min.y) / g.step);
            for (std::int64_t x = 0; x < dw; ++x) {
                const std::size_t i = static_cast<std::size_t>(row + x);
                if (!ids)
                    account(g, plan, planes, i);
                if (!keepRow || x % g.step != 0)
                    continue;
                const std::size_t cell = gy * g.width + static_cast<std::size_t>(x / g.step);
                if (ids)
                    g.ids[cell] = idChunk[i];
                else
                    for (std::size_t c = 0; c < n; ++c)
                        g.planes[c][cell] = planes[c][i];
            }
        }
    }
    return g;
}

Surface makeSurface(cairo_format_t format, int width, int height)
{
    Surface s(cairo_image_surface_create(format, width, height));
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error(std::string("cannot make a picture of ") + std::to_string(width) +
                                 " x " + std::to_string(height) + " pixels: " +
                                 cairo_status_to_string(cairo_surface_status(s.get())));
    return s;
}

Rgb idColour(std::uint64_t id)
{
    if (id == 0)
        return {0, 0, 0};
    const double hue = std::fmod(static_cast<double>(id) * 0.6180339887, 1.0);
    const double value = (id / 7) % 2 == 0 ? 0.95 : 0.7;
    return hsv(hue, 0.7, value);
}

Rgb flowColour(double x, double y, double maxLength)
{
    const double l = std::hypot(x, y);
    if (!std::isfinite(l) || maxLength <= 0)
        return {1, 1, 1};
    const double angle = std::atan2(-y, x) / (2 * M_PI); // y runs down the image
    return hsv(angle, clamp01(l / maxLength), 1.0);
}

Surface picture(const Grid &g, const Plan &plan, const Mapping &m)
{
    Surface s = makeSurface(CAIRO_FORMAT_ARGB32, g.width, g.height);
    cairo_surface_flush(s.get());
    unsigned char *bytes = cairo_image_surface_get_data(s.get());
    const int stride = cairo_image_surface_get_stride(s.get());
    const bool alpha = plan.channels.size() == 4;
    for (int y = 0; y < g.height; ++y) {
        auto *row = reinterpret_cast<std::uint32_t *>(bytes + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < g.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * g.width + x;
            auto at = [&](int c) { return static_cast<double>(g.planes[c][i]); };
            switch (m.show) {
            case Show::Colour: {
                const double a = alpha ? clamp01(at(3)) : 1.0;
                const double k = a > 0 ? 1.0 / a : 0.0;
                row[x] = pack({toSrgb(at(0) * k), toSrgb(at(1) * k), toSrgb(at(2) * k)}, a);
                break;
            }
            case Show::Flow: row[x] = pack(flowColour(at(0), at(1), g.maxLength)); break;
            case Show::Direction: {
                const double scale = std::max(1.0, g.maxAbs);
                auto d = [&](int c) { return std::isfinite(at(c)) ? 0.5 + 0.5 * at(c) / scale : 0.5; };
                row[x] = pack({d(0), d(1), d(2)});
                break;
            }
            case Show::Ids:
                row[x] = pack(idColour(g.ids.empty() ? static_cast<std::uint64_t>(at(0)) : g.ids[i]));
                break;
            case Show::Matte: {
                const float id = g.planes[0][i];
                std::uint32_t bits = 0;
                std::memcpy(&bits, &id, sizeof bits);
                // Ids are spread over all 32 bits: folded to a small number,
                // neighbouring hues do not all land alike.
                std::uint32_t k = (bits ^ (bits >> 16)) * 0x45d9f3bu;
                k ^= k >> 16;
                const Rgb c = idColour(bits ? k % 65521u + 1 : 0);
                const double cover = std::isfinite(at(1)) ? clamp01(at(1)) : 0.0;
                row[x] = pack({c.r * cover, c.g * cover, c.b * cover});
                break;
            }
            default: {
                const double v = at(0);
                if (!std::isfinite(v) || std::fabs(v) >= kNoData) {
                    row[x] = pack(kNoDataColour);
                    break;
                }
                const double t = !m.stretch ? v : m.hi > m.lo ? (v - m.lo) / (m.hi - m.lo) : 0.5;
                row[x] = pack({t, t, t});
                break;
            }
            }
        }
    }
    cairo_surface_mark_dirty(s.get());
    return s;
}

} // namespace devhost::sheet
