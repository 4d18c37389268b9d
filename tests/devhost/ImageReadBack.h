// Reading files back independently of the development host's own code:
// PNG through libpng's low-level interface, PFM by hand.
#ifndef RAVELCAST_TESTS_DEVHOST_IMAGEREADBACK_H
#define RAVELCAST_TESTS_DEVHOST_IMAGEREADBACK_H

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <png.h>

namespace readback {

struct Png {
    bool ok = false;
    int width = 0, height = 0, channels = 0, bitDepth = 0, colorType = -1;
    std::vector<unsigned char> samples; // 8-bit files only
    unsigned char at(int x, int y, int c) const
    {
        return samples[(static_cast<std::size_t>(y) * width + x) * channels + c];
    }
};

namespace detail {
inline void pngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
// Objects with destructors live in the caller: libpng leaves by longjmp.
inline bool readRows(std::FILE *f, Png *out, std::vector<unsigned char> *data,
                     std::vector<png_bytep> *rows)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFail, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    out->width = static_cast<int>(png_get_image_width(png, info));
    out->height = static_cast<int>(png_get_image_height(png, info));
    out->channels = png_get_channels(png, info);
    out->bitDepth = png_get_bit_depth(png, info);
    out->colorType = png_get_color_type(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    data->resize(rowBytes * static_cast<std::size_t>(out->height));
    rows->resize(static_cast<std::size_t>(out->height));
    for (int y = 0; y < out->height; ++y)
        (*rows)[static_cast<std::size_t>(y)] = data->data() + rowBytes * static_cast<std::size_t>(y);
    png_read_image(png, rows->data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}
} // namespace detail

inline Png readPng(const std::string &path)
{
    Png out;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return out;
    std::vector<png_bytep> rows;
    out.ok = detail::readRows(f, &out, &out.samples, &rows);
    std::fclose(f);
    return out;
}

struct Pfm {
    bool ok = false;
    std::string magic;
    int width = 0, height = 0;
    double scale = 0;
    std::vector<float> samples; // rows from the top, as the image was
    int channels() const { return magic == "PF" ? 3 : 1; }
    float at(int x, int y, int c) const
    {
        return samples[(static_cast<std::size_t>(y) * width + x) * channels() + c];
    }
};

// Follows the format: three text lines, then little-endian rows from the
// bottom (negative scale).
inline Pfm readPfm(const std::string &bytes)
{
    Pfm p;
    std::istringstream in(bytes);
    in.imbue(std::locale::classic());
    in >> p.magic >> p.width >> p.height >> p.scale;
    if (!in || in.get() != '\n' || (p.magic != "PF" && p.magic != "Pf") || p.scale >= 0)
        return p;
    const std::size_t header = static_cast<std::size_t>(in.tellg());
    const std::size_t count = static_cast<std::size_t>(p.width) * p.height * p.channels();
    if (bytes.size() != header + count * 4)
        return p;
    p.samples.resize(count);
    const std::size_t row = static_cast<std::size_t>(p.width) * p.channels();
    for (int fileRow = 0; fileRow < p.height; ++fileRow)
        for (std::size_t i = 0; i < row; ++i) {
            const std::size_t at = header + (static_cast<std::size_t>(fileRow) * row + i) * 4;
            const std::uint32_t bits = static_cast<unsigned char>(bytes[at]) |
                                       static_cast<unsigned char>(bytes[at + 1]) << 8 |
                                       static_cast<unsigned char>(bytes[at + 2]) << 16 |
                                       static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
            float v;
            std::memcpy(&v, &bits, 4);
            p.samples[(static_cast<std::size_t>(p.height - 1 - fileRow)) * row + i] = v;
        }
    p.ok = true;
    return p;
}

} // namespace readback

#endif
