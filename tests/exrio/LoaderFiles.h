// OpenEXR files for the loader tests, written with the library itself, and
// what the library's RGBA interface reads from them.
#ifndef RAVELCAST_TESTS_EXRIO_LOADERFILES_H
#define RAVELCAST_TESTS_EXRIO_LOADERFILES_H

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
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
