// loader_bench: the OpenEXR loader through the real module (dlopen'd by the
// development host, which makes the image and takes the rows) against the
// library reading the same file with its own stream into FLOAT slices of
// the same channels, over the whole data window in one readPixels call.
// Files: ordinary frames in half and float, a file with a 1 MB text
// attribute, one with a preview image, and one of many small parts.
//
// Prints "name: value" lines.
// Usage: loader_bench [--module PATH] [--runs N] [--only CASE]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfPreviewImage.h>
#include <ImfStringAttribute.h>
#include <half.h>

#include "devhost/Host.h"
#include "devhost/ImageLoading.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const char *const kRgba[] = {"R", "G", "B", "A"};

// A frame of RGBA channels of one pixel type; extra adds attributes.
void writeFrame(const std::string &path, int width, int height, Imf::PixelType type,
                Imf::Compression compression,
                const std::function<void(Imf::Header &)> &extra = {})
{
    Imf::Header h(width, height);
    h.compression() = compression;
    for (const char *c : kRgba)
        h.channels().insert(c, Imf::Channel(type));
    if (extra)
        extra(h);
    const std::size_t n = static_cast<std::size_t>(width) * height;
    std::vector<float> values(n * 4);
    for (std::size_t i = 0; i < n; ++i)
        for (int c = 0; c < 4; ++c)
            values[i * 4 + c] = static_cast<float>((i % width) * 0.001 + (i / width) * 0.002 +
                                                   c * 0.25 + ((i * 7919 + c) % 13) * 0.01);
    std::vector<half> halves(values.begin(), values.end());
    Imf::FrameBuffer fb;
    for (int c = 0; c < 4; ++c) {
        char *base = type == Imf::HALF ? reinterpret_cast<char *>(&halves[c])
                                       : reinterpret_cast<char *>(&values[c]);
        const std::size_t size = type == Imf::HALF ? sizeof(half) : sizeof(float);
        fb.insert(kRgba[c], Imf::Slice(type, base, 4 * size, 4 * size * width));
    }
    Imf::OutputFile out(path.c_str(), h);
    out.setFrameBuffer(fb);
    out.writePixels(height);
}

// Many small parts, each with R, G, B, A.
void writeParts(const std::string &path, int parts)
{
    std::vector<Imf::Header> headers;
    for (int p = 0; p < parts; ++p) {
        Imf::Header h(8, 8);
        h.compression() = Imf::ZIP_COMPRESSION;
        for (const char *c : kRgba)
            h.channels().insert(c, Imf::Channel(Imf::HALF));
        h.setName("part" + std::to_string(p));
        h.setType(Imf::SCANLINEIMAGE);
        headers.push_back(h);
    }
    Imf::MultiPartOutputFile out(path.c_str(), headers.data(), parts);
    std::vector<half> px(64 * 4, half(0.5f));
    for (int p = 0; p < parts; ++p) {
        Imf::OutputPart part(out, p);
        Imf::FrameBuffer fb;
        for (int c = 0; c < 4; ++c)
            fb.insert(kRgba[c], Imf::Slice(Imf::HALF, reinterpret_cast<char *>(&px[c]),
                                           4 * sizeof(half), 4 * sizeof(half) * 8));
        part.setFrameBuffer(fb);
        part.writePixels(8);
    }
}

// The library alone: its own stream, the file's colour channels as FLOAT
// slices of one image as large as the data window.
double libraryRead(const std::string &path)
{
    const auto start = Clock::now();
    Imf::InputFile in(path.c_str());
    const Imath::Box2i dw = in.header().dataWindow();
    const std::size_t width = static_cast<std::size_t>(dw.max.x - dw.min.x + 1);
    const std::size_t height = static_cast<std::size_t>(dw.max.y - dw.min.y + 1);
    std::vector<float> image(width * height * 4);
    char *origin = reinterpret_cast<char *>(image.data()) -
                   (static_cast<std::ptrdiff_t>(dw.min.x) +
                    static_cast<std::ptrdiff_t>(dw.min.y) * static_cast<std::ptrdiff_t>(width)) *
                       16;
    Imf::FrameBuffer fb;
    for (int c = 0; c < 4; ++c)
        fb.insert(kRgba[c], Imf::Slice(Imf::FLOAT, origin + 4 * c, 16, 16 * width, 1, 1,
                                       c == 3 ? 1.0 : 0.0));
    in.setFrameBuffer(fb);
    in.readPixels(dw.min.y, dw.max.y);
    return msSince(start);
}

double moduleRead(devhost::Host &host, const std::string &path)
{
    devhost::ImageLoading loading(host);
    const auto start = Clock::now();
    const devhost::LoadedImage img = loading.loadWith("LW_OpenEXR", path);
    const double ms = msSince(start);
    if (img.result != IPSTAT_OK)
        throw std::runtime_error("the module did not load " + path + " (result " +
                                 std::to_string(img.result) + ")");
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    std::string module = RAVELCAST_MODULE_PATH;
    int runs = 5;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--module")
            module = argv[i + 1];
        else if (a == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--only")
            only = argv[i + 1];
    }
    try {
        const fs::path dir = fs::temp_directory_path() / ("loader_bench." + std::to_string(::getpid()));
        fs::create_directories(dir);
        struct Case {
            std::string name;
            std::string file;
        };
        std::vector<Case> cases;
        auto add = [&](const std::string &name) {
            cases.push_back({name, (dir / (name + ".exr")).string()});
            return cases.back().file;
        };
        writeFrame(add("rgba_half_zip_1080p"), 1920, 1080, Imf::HALF, Imf::ZIP_COMPRESSION);
        writeFrame(add("rgba_half_none_1080p"), 1920, 1080, Imf::HALF, Imf::NO_COMPRESSION);
        writeFrame(add("rgba_float_piz_1080p"), 1920, 1080, Imf::FLOAT, Imf::PIZ_COMPRESSION);
        writeFrame(add("text_attribute_1mb"), 64, 64, Imf::HALF, Imf::ZIP_COMPRESSION,
                   [](Imf::Header &h) {
                       std::string text(1 << 20, 'x');
                       for (std::size_t i = 0; i < text.size(); i += 61)
                           text[i] = '\n';
                       h.insert("comments", Imf::StringAttribute(text));
                   });
        writeFrame(add("preview_1080p"), 1920, 1080, Imf::HALF, Imf::ZIP_COMPRESSION,
                   [](Imf::Header &h) {
                       std::vector<Imf::PreviewRgba> px(480 * 270, Imf::PreviewRgba(90, 120, 200, 255));
                       h.setPreviewImage(Imf::PreviewImage(480, 270, px.data()));
                   });
        writeParts(add("parts_2000"), 2000);
        writeParts(add("parts_20000"), 20000);

        devhost::Host host;
        host.messages().setOutput(nullptr, nullptr);
        host.loadModule(module);
        std::printf("runs: %d (medians, and the best run of each), library and module on the "
                    "calling thread\n",
                    runs);
        for (const Case &c : cases) {
            if (!only.empty() && c.name != only)
                continue;
            std::vector<double> lib, mod;
            for (int run = 0; run < runs; ++run) {
                lib.push_back(libraryRead(c.file));
                mod.push_back(moduleRead(host, c.file));
            }
            const double l = median(lib), m = median(mod);
            const double lBest = *std::min_element(lib.begin(), lib.end());
            const double mBest = *std::min_element(mod.begin(), mod.end());
            std::printf("%s_file_kib: %.0f\n", c.name.c_str(), fs::file_size(c.file) / 1024.0);
            std::printf("%s_library_ms: %.2f\n", c.name.c_str(), l);
            std::printf("%s_module_ms: %.2f\n", c.name.c_str(), m);
            std::printf("%s_ratio: %.3f\n", c.name.c_str(), m / l);
            // The fastest runs, less disturbed by other work on the machine.
            std::printf("%s_ratio_of_best: %.3f\n", c.name.c_str(), mBest / lBest);
            std::fflush(stdout);
        }
        host.unloadModule();
        fs::remove_all(dir);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "loader_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
