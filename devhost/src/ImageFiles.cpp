#include "devhost/ImageFiles.h"

#include <algorithm>

#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include <png.h>

#include "devhost/Host.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

namespace devhost {

namespace {

// Large enough for any real render buffer, small enough that a damaged
// header cannot make us allocate gigabytes.
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 28;

struct FileCloser {
    void operator()(std::FILE *f) const
    {
        if (f)
            std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// libpng reports errors by longjmp; these helpers keep every object with a
// destructor outside the functions that call setjmp.
struct PngJob {
    char error[256] = "unknown libpng error";
};

void pngError(png_structp png, png_const_charp message)
{
    auto *job = static_cast<PngJob *>(png_get_error_ptr(png));
    if (job) {
        std::strncpy(job->error, message ? message : "libpng error", sizeof job->error - 1);
        job->error[sizeof job->error - 1] = '\0';
    }
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

bool pngWriteRows(std::FILE *file, PngJob *job, png_uint_32 width, png_uint_32 height,
                  int colorType, png_bytep *rows)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, pngError, pngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

struct PngImage {
    png_uint_32 width = 0, height = 0;
    int channels = 0, depth = 0, colorType = 0;
    std::size_t rowBytes = 0;
    unsigned char *data = nullptr; // malloc'd
    png_bytep *rows = nullptr;     // malloc'd
};

bool pngReadRows(std::FILE *file, PngJob *job, PngImage *img)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, pngError, pngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    // Palettes become RGB, low bit depths 8 bits, transparency an alpha
    // channel; 16-bit samples arrive in the machine's byte order.
    png_set_expand(png);
    if (png_get_bit_depth(png, info) == 16) {
        const std::uint16_t probe = 1;
        unsigned char first;
        std::memcpy(&first, &probe, 1);
        if (first == 1)
            png_set_swap(png);
    }
    png_read_update_info(png, info);
    img->width = png_get_image_width(png, info);
    img->height = png_get_image_height(png, info);
    img->channels = png_get_channels(png, info);
    img->depth = png_get_bit_depth(png, info);
    img->colorType = png_get_color_type(png, info);
    img->rowBytes = png_get_rowbytes(png, info);
    if (static_cast<std::int64_t>(img->width) * img->height > kMaxPixels) {
        std::strcpy(job->error, "the image is too large");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    img->data = static_cast<unsigned char *>(std::malloc(img->rowBytes * img->height));
    img->rows = static_cast<png_bytep *>(std::malloc(sizeof(png_bytep) * img->height));
    if (!img->data || !img->rows) {
        std::strcpy(job->error, "out of memory");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    for (png_uint_32 y = 0; y < img->height; ++y)
        img->rows[y] = img->data + y * img->rowBytes;
    png_read_image(png, img->rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

std::string systemError() { return std::strerror(errno); }


Pixels<float> readExrChannel(const std::string &path, const std::string &channel)
{
    try {
        Imf::InputFile in(path.c_str());
        const Imf::Header &h = in.header();
        const Imath::Box2i display = h.displayWindow();
        const Imath::Box2i data = h.dataWindow();
        const Imf::Channel *c = h.channels().findChannel(channel);
        if (!c) {
            std::string list;
            for (auto it = h.channels().begin(); it != h.channels().end(); ++it)
                list += (list.empty() ? "" : ", ") + std::string(it.name());
            throw ImageFileError("it has no channel \"" + channel + "\" (its channels: " +
                                 (list.empty() ? std::string("none") : list) + ")");
        }
        if (c->xSampling != 1 || c->ySampling != 1)
            throw ImageFileError("channel \"" + channel + "\" is subsampled");
        const std::int64_t dw = std::int64_t(data.max.x) - data.min.x + 1;
        const std::int64_t dh = std::int64_t(data.max.y) - data.min.y + 1;
        const std::int64_t w = std::int64_t(display.max.x) - display.min.x + 1;
        const std::int64_t hgt = std::int64_t(display.max.y) - display.min.y + 1;
        if (dw <= 0 || dh <= 0 || w <= 0 || hgt <= 0 || dw * dh > kMaxPixels || w * hgt > kMaxPixels)
            throw ImageFileError("its windows are empty or too large");

        std::vector<float> rows(static_cast<std::size_t>(dw * dh));
        Imf::FrameBuffer fb;
        char *base = reinterpret_cast<char *>(rows.data()) -
                     (std::int64_t(data.min.x) + std::int64_t(data.min.y) * dw) *
                         static_cast<std::int64_t>(sizeof(float));
        fb.insert(channel, Imf::Slice(Imf::FLOAT, base, sizeof(float),
                                      static_cast<std::size_t>(dw) * sizeof(float), 1, 1, 0.0));
        in.setFrameBuffer(fb);
        in.readPixels(data.min.y, data.max.y);

        Pixels<float> out;
        out.width = static_cast<int>(w);
        out.height = static_cast<int>(hgt);
        out.channels = 1;
        out.samples.assign(static_cast<std::size_t>(w * hgt), 0.0f);
        for (std::int64_t y = data.min.y; y <= data.max.y; ++y) {
            const std::int64_t oy = y - display.min.y;
            if (oy < 0 || oy >= hgt)
                continue;
            for (std::int64_t x = data.min.x; x <= data.max.x; ++x) {
                const std::int64_t ox = x - display.min.x;
                if (ox >= 0 && ox < w)
                    out.samples[static_cast<std::size_t>(oy * w + ox)] =
                        rows[static_cast<std::size_t>((y - data.min.y) * dw + (x - data.min.x))];
            }
        }
        return out;
    } catch (const ImageFileError &) {
        throw;
    } catch (const std::exception &e) {
        throw ImageFileError(e.what());
    }
}

void writeAll(std::ofstream &out, const void *data, std::size_t n)
{
    out.write(static_cast<const char *>(data), static_cast<std::streamsize>(n));
}

} // namespace

void writePng(const std::string &path, const Pixels<unsigned char> &image)
{
    static const int kTypes[] = {0, PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                 PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA};
    if (image.channels < 1 || image.channels > 4)
        throw ImageFileError("a PNG image has 1 to 4 channels, not " +
                             std::to_string(image.channels));
    if (image.width <= 0 || image.height <= 0 ||
        image.samples.size() != static_cast<std::size_t>(image.width) * image.height * image.channels)
        throw ImageFileError("the image is empty or its pixels do not match its size");
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file)
        throw ImageFileError(systemError());
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
    const std::size_t stride = static_cast<std::size_t>(image.width) * image.channels;
    for (int y = 0; y < image.height; ++y)
        rows[y] = const_cast<png_bytep>(image.samples.data() + y * stride);
    PngJob job;
    if (!pngWriteRows(file.get(), &job, static_cast<png_uint_32>(image.width),
                      static_cast<png_uint_32>(image.height), kTypes[image.channels], rows.data()))
        throw ImageFileError(job.error);
    std::FILE *f = file.release();
    if (std::ferror(f) || std::fclose(f) != 0)
        throw ImageFileError(systemError());
}

void writePfm(const std::string &path, const Pixels<float> &image)
{
    if (image.channels != 1 && image.channels != 3)
        throw ImageFileError("a PFM image has 1 or 3 channels, not " +
                             std::to_string(image.channels));
    if (image.width <= 0 || image.height <= 0 ||
        image.samples.size() != static_cast<std::size_t>(image.width) * image.height * image.channels)
        throw ImageFileError("the image is empty or its pixels do not match its size");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw ImageFileError(systemError());
    // A negative scale marks little-endian samples.
    const std::string header = std::string(image.channels == 3 ? "PF" : "Pf") + "\n" +
                               std::to_string(image.width) + " " + std::to_string(image.height) +
                               "\n-1.0\n";
    writeAll(out, header.data(), header.size());
    const std::size_t stride = static_cast<std::size_t>(image.width) * image.channels;
    std::vector<unsigned char> row(stride * 4);
    for (int y = image.height - 1; y >= 0; --y) {
        const float *src = image.samples.data() + y * stride;
        for (std::size_t i = 0; i < stride; ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, &src[i], 4);
            row[4 * i] = static_cast<unsigned char>(bits);
            row[4 * i + 1] = static_cast<unsigned char>(bits >> 8);
            row[4 * i + 2] = static_cast<unsigned char>(bits >> 16);
            row[4 * i + 3] = static_cast<unsigned char>(bits >> 24);
        }
        writeAll(out, row.data(), row.size());
    }
    out.close();
    if (!out)
        throw ImageFileError(systemError());
}

Pixels<std::uint16_t> readPng(const std::string &path, int *bitDepth)
{
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file)
        throw ImageFileError(systemError());
    PngJob job;
    PngImage img;
    const bool ok = pngReadRows(file.get(), &job, &img);
    std::unique_ptr<unsigned char, decltype(&std::free)> data(img.data, &std::free);
    std::unique_ptr<png_bytep, decltype(&std::free)> rows(img.rows, &std::free);
    if (!ok)
        throw ImageFileError(job.error);
    Pixels<std::uint16_t> out;
    out.width = static_cast<int>(img.width);
    out.height = static_cast<int>(img.height);
    out.channels = img.channels;
    out.samples.resize(static_cast<std::size_t>(out.width) * out.height * out.channels);
    const std::size_t perRow = static_cast<std::size_t>(out.width) * out.channels;
    for (int y = 0; y < out.height; ++y) {
        const unsigned char *row = img.rows[y];
        std::uint16_t *dst = out.samples.data() + static_cast<std::size_t>(y) * perRow;
        for (std::size_t s = 0; s < perRow; ++s) {
            if (img.depth == 16)
                std::memcpy(&dst[s], row + 2 * s, 2);
            else
                dst[s] = row[s];
        }
    }
    if (bitDepth)
        *bitDepth = img.depth;
    return out;
}

Pixels<float> readPngChannel(const std::string &path, const std::string &channel)
{
    int depth = 8;
    const Pixels<std::uint16_t> png = readPng(path, &depth);
    static const std::vector<std::string> kNames[] = {
        {}, {"Y"}, {"Y", "A"}, {"R", "G", "B"}, {"R", "G", "B", "A"}};
    const std::vector<std::string> &names = kNames[std::clamp(png.channels, 0, 4)];
    const auto it = std::find(names.begin(), names.end(), channel);
    if (it == names.end()) {
        std::string list;
        for (const std::string &n : names)
            list += (list.empty() ? "" : ", ") + n;
        throw ImageFileError("it has no channel \"" + channel + "\" (its channels: " + list + ")");
    }
    const std::size_t index = static_cast<std::size_t>(it - names.begin());
    Pixels<float> out;
    out.width = png.width;
    out.height = png.height;
    out.channels = 1;
    out.samples.resize(static_cast<std::size_t>(out.width) * out.height);
    const float scale = depth == 16 ? 1.0f / 65535.0f : 1.0f / 255.0f;
    for (std::size_t i = 0; i < out.samples.size(); ++i)
        out.samples[i] = png.samples[i * png.channels + index] * scale;
    return out;
}

Pixels<float> readImageChannel(const std::string &path, const std::string &channel)
{
    const std::string problem = inputFileProblem(path);
    if (!problem.empty())
        throw ImageFileError(problem);
    unsigned char magic[8] = {};
    {
        FilePtr file(std::fopen(path.c_str(), "rb"));
        if (!file)
            throw ImageFileError(systemError());
        if (std::fread(magic, 1, sizeof magic, file.get()) < 4)
            throw ImageFileError("the file is too short to be an image");
    }
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    static const unsigned char kExr[4] = {0x76, 0x2F, 0x31, 0x01};
    if (std::memcmp(magic, kPng, 8) == 0)
        return readPngChannel(path, channel);
    if (std::memcmp(magic, kExr, 4) == 0)
        return readExrChannel(path, channel);
    throw ImageFileError("it is neither a PNG nor an OpenEXR file");
}

} // namespace devhost
