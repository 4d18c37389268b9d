// OpenEXR files for the loader tests, written with the library itself, and
// what the library's RGBA interface reads from them.
#ifndef RAVELCAST_TESTS_EXRIO_LOADERFILES_H
#define RAVELCAST_TESTS_EXRIO_LOADERFILES_H

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <cstdint>
#include <cstring>

#include <ImfChannelList.h>
#include <ImfDeepFrameBuffer.h>
#include <ImfDeepScanLineOutputPart.h>
#include <ImfDeepTiledOutputPart.h>
#include <ImfFrameBuffer.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfMultiView.h>
#include <ImfStandardAttributes.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <half.h>

namespace loaderfiles {

using Box = Imath::Box2i;

inline Box box(int x0, int y0, int x1, int y1) { return Box(Imath::V2i(x0, y0), Imath::V2i(x1, y1)); }

// A value that differs per channel, column and row and is exact in half.
inline float sample(int channel, int x, int y)
{
    return static_cast<float>(half((channel + 1) * 0.25f + x * 0.03125f - y * 0.0625f));
}

// HALF channels of the given names; channel c of pixel (x, y) is
// sample(c, x, y) with c the name's place in names.
inline void writeChannels(const std::string &path, const Box &display, const Box &data,
                          const std::vector<std::string> &names,
                          Imf::Compression compression = Imf::PIZ_COMPRESSION,
                          const std::function<void(Imf::Header &)> &extra = {})
{
    Imf::Header h(display, data);
    h.compression() = compression;
    for (const std::string &n : names)
        h.channels().insert(n, Imf::Channel(Imf::HALF));
    if (extra)
        extra(h);
    const int w = data.max.x - data.min.x + 1;
    const int rows = data.max.y - data.min.y + 1;
    std::vector<std::vector<half>> planes(names.size(),
                                          std::vector<half>(static_cast<std::size_t>(w) * rows));
    Imf::FrameBuffer fb;
    for (std::size_t c = 0; c < names.size(); ++c) {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < w; ++x)
                planes[c][static_cast<std::size_t>(y) * w + x] =
                    half(sample(static_cast<int>(c), data.min.x + x, data.min.y + y));
        char *base = reinterpret_cast<char *>(planes[c].data()) -
                     (static_cast<std::ptrdiff_t>(data.min.x) +
                      static_cast<std::ptrdiff_t>(data.min.y) * w) *
                         static_cast<std::ptrdiff_t>(sizeof(half));
        fb.insert(names[c], Imf::Slice(Imf::HALF, base, sizeof(half), sizeof(half) * w));
    }
    Imf::OutputFile out(path.c_str(), h);
    out.setFrameBuffer(fb);
    out.writePixels(rows);
}

// A luminance-chroma file through the RGBA interface.
inline void writeLuminanceChroma(const std::string &path, int width, int height)
{
    std::vector<Imf::Rgba> px(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            px[static_cast<std::size_t>(y) * width + x] =
                Imf::Rgba(sample(0, x, y), sample(1, x, y), sample(2, x, y), 1.0f);
    Imf::RgbaOutputFile out(path.c_str(), width, height, Imf::WRITE_YC);
    out.setFrameBuffer(px.data(), 1, width);
    out.writePixels(height);
}

// One part of a file written by writeParts. Flat parts hold channel c of
// pixel (x, y) as value(c, x, y) in the part's pixel type; deep parts hold
// (x + y) % 3 samples a pixel, all FLOAT, sample s of channel c being
// value(c, x, y) / (s + 1) and "Z" 1 + s.
struct PartSpec {
    enum Kind { Flat, DeepScanLine, DeepTiled };
    PartSpec(std::string name, const Box &display, const Box &data,
             std::vector<std::string> channels, Imf::PixelType type = Imf::HALF,
             Kind kind = Flat)
        : name(std::move(name)), display(display), data(data), channels(std::move(channels)),
          type(type), kind(kind)
    {
    }
    std::string name;
    Box display, data;
    std::vector<std::string> channels;
    Imf::PixelType type = Imf::HALF;
    Kind kind = Flat;
    std::string view;               // the part's "view", when not empty
    std::vector<std::string> views; // the file's "multiView", when not empty
};

using ValueFn = std::function<float(int channel, int x, int y)>;

inline unsigned deepSamples(int x, int y) { return static_cast<unsigned>((x + y) % 3); }

// A multi-part file (also when it has one part).
inline void writeParts(const std::string &path, const std::vector<PartSpec> &parts,
                       const ValueFn &value = sample)
{
    std::vector<Imf::Header> headers;
    for (const PartSpec &p : parts) {
        Imf::Header h(p.display, p.data);
        h.compression() = p.kind == PartSpec::Flat ? Imf::ZIP_COMPRESSION : Imf::ZIPS_COMPRESSION;
        for (const std::string &n : p.channels)
            h.channels().insert(n, Imf::Channel(p.kind == PartSpec::Flat ? p.type : Imf::FLOAT));
        h.setName(p.name);
        h.setType(p.kind == PartSpec::Flat           ? Imf::SCANLINEIMAGE
                  : p.kind == PartSpec::DeepScanLine ? Imf::DEEPSCANLINE
                                                     : Imf::DEEPTILE);
        if (p.kind == PartSpec::DeepTiled)
            h.setTileDescription(Imf::TileDescription(4, 4, Imf::ONE_LEVEL));
        if (!p.view.empty())
            h.setView(p.view);
        if (!p.views.empty())
            Imf::addMultiView(h, p.views);
        headers.push_back(h);
    }
    Imf::MultiPartOutputFile out(path.c_str(), headers.data(), static_cast<int>(headers.size()));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const PartSpec &p = parts[i];
        const int w = p.data.max.x - p.data.min.x + 1;
        const int rows = p.data.max.y - p.data.min.y + 1;
        const std::size_t n = static_cast<std::size_t>(w) * rows;
        const std::ptrdiff_t origin =
            static_cast<std::ptrdiff_t>(p.data.min.x) + static_cast<std::ptrdiff_t>(p.data.min.y) * w;
        if (p.kind == PartSpec::Flat) {
            const std::size_t size = p.type == Imf::HALF ? 2 : 4;
            std::vector<std::vector<char>> planes(p.channels.size(), std::vector<char>(n * size));
            Imf::FrameBuffer fb;
            for (std::size_t c = 0; c < p.channels.size(); ++c) {
                for (std::size_t k = 0; k < n; ++k) {
                    const float v = value(static_cast<int>(c), p.data.min.x + static_cast<int>(k % w),
                                          p.data.min.y + static_cast<int>(k / w));
                    char *at = &planes[c][k * size];
                    if (p.type == Imf::HALF) {
                        const half h(v);
                        std::memcpy(at, &h, 2);
                    } else if (p.type == Imf::FLOAT) {
                        std::memcpy(at, &v, 4);
                    } else {
                        const auto u = static_cast<std::uint32_t>(v);
                        std::memcpy(at, &u, 4);
                    }
                }
                fb.insert(p.channels[c], Imf::Slice(p.type, planes[c].data() - origin * static_cast<std::ptrdiff_t>(size),
                                                    size, size * w));
            }
            Imf::OutputPart part(out, static_cast<int>(i));
            part.setFrameBuffer(fb);
            part.writePixels(rows);
            continue;
        }
        std::vector<unsigned> counts(n);
        std::vector<std::vector<std::vector<float>>> samples(
            p.channels.size(), std::vector<std::vector<float>>(n));
        std::vector<std::vector<float *>> pointers(p.channels.size(), std::vector<float *>(n));
        for (std::size_t k = 0; k < n; ++k) {
            const int x = p.data.min.x + static_cast<int>(k % w);
            const int y = p.data.min.y + static_cast<int>(k / w);
            counts[k] = deepSamples(x, y);
            for (std::size_t c = 0; c < p.channels.size(); ++c) {
                for (unsigned s = 0; s < counts[k]; ++s)
                    samples[c][k].push_back(p.channels[c] == "Z"
                                                ? 1.0f + s
                                                : value(static_cast<int>(c), x, y) / (s + 1));
                pointers[c][k] = samples[c][k].data();
            }
        }
        Imf::DeepFrameBuffer fb;
        fb.insertSampleCountSlice(Imf::Slice(Imf::UINT, reinterpret_cast<char *>(counts.data() - origin),
                                             4, 4 * static_cast<std::size_t>(w)));
        for (std::size_t c = 0; c < p.channels.size(); ++c)
            fb.insert(p.channels[c],
                      Imf::DeepSlice(Imf::FLOAT, reinterpret_cast<char *>(pointers[c].data() - origin),
                                     sizeof(float *), sizeof(float *) * w, sizeof(float)));
        if (p.kind == PartSpec::DeepScanLine) {
            Imf::DeepScanLineOutputPart part(out, static_cast<int>(i));
            part.setFrameBuffer(fb);
            part.writePixels(rows);
        } else {
            Imf::DeepTiledOutputPart part(out, static_cast<int>(i));
            part.setFrameBuffer(fb);
            part.writeTiles(0, part.numXTiles(0) - 1, 0, part.numYTiles(0) - 1);
        }
    }
}

// What the library's RGBA interface reads, over a window covering at
// least the file's data window; pixels without data are 0.
struct RgbaPixels {
    Box window;
    std::vector<Imf::Rgba> pixels;
    const Imf::Rgba &at(int x, int y) const
    {
        const int w = window.max.x - window.min.x + 1;
        return pixels[static_cast<std::size_t>(y - window.min.y) * w + (x - window.min.x)];
    }
};

inline RgbaPixels readRgba(const std::string &path, const Box &window)
{
    Imf::RgbaInputFile in(path.c_str());
    RgbaPixels out;
    out.window = window;
    const int w = window.max.x - window.min.x + 1;
    const int h = window.max.y - window.min.y + 1;
    out.pixels.assign(static_cast<std::size_t>(w) * h, Imf::Rgba(0, 0, 0, 0));
    in.setFrameBuffer(out.pixels.data() - window.min.x - static_cast<std::ptrdiff_t>(window.min.y) * w,
                      1, static_cast<std::size_t>(w));
    const Box dw = in.dataWindow();
    in.readPixels(dw.min.y, dw.max.y);
    return out;
}

} // namespace loaderfiles

#endif
