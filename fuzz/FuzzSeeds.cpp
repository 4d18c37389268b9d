// Writes the seed corpora of the fuzz targets: small OpenEXR files of every
// layout the loader meets (scanline in each compression, tiled, multipart,
// deep, layered, with a preview and metadata) written by the OpenEXR
// library, and scenes and filter settings in both block file forms written
// by the development host and the module itself.
//
//   fuzz_seeds OUTDIR SCENE...   (the scenes: shipped examples to start from)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <ImfChannelList.h>
#include <ImfDeepFrameBuffer.h>
#include <ImfDeepScanLineOutputFile.h>
#include <ImfDeepScanLineOutputPart.h>
#include <ImfDeepTiledOutputPart.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfPreviewImage.h>
#include <ImfStandardAttributes.h>
#include <ImfTiledOutputFile.h>
#include <half.h>

#include <lwsdk/filter.h>
#include <lwsdk/master.h>

#include "devhost/BlockFile.h"
#include "devhost/Host.h"
#include "devhost/SceneFile.h"

namespace fs = std::filesystem;

namespace {

constexpr int kW = 16, kH = 8;

// Channel values of one type over a window, addressed like the library wants.
struct Plane {
    Imf::PixelType type;
    Imath::Box2i window;
    std::vector<half> h;
    std::vector<float> f;
    std::vector<unsigned int> u;

    Plane(Imf::PixelType t, const Imath::Box2i &w, float seed) : type(t), window(w)
    {
        const int n = (w.max.x - w.min.x + 1) * (w.max.y - w.min.y + 1);
        for (int i = 0; i < n; ++i) {
            const float v = seed * static_cast<float>(i % 7) + 0.125f * static_cast<float>(i % 5);
            h.push_back(half(v));
            f.push_back(i % 11 == 0 ? 1e6f * seed : v);
            u.push_back(static_cast<unsigned int>(i * 2654435761u));
        }
    }
    Imf::Slice slice()
    {
        const int width = window.max.x - window.min.x + 1;
        const std::size_t size = type == Imf::HALF ? sizeof(half) : 4;
        char *base = type == Imf::HALF    ? reinterpret_cast<char *>(h.data())
                     : type == Imf::FLOAT ? reinterpret_cast<char *>(f.data())
                                          : reinterpret_cast<char *>(u.data());
        base -= (static_cast<std::ptrdiff_t>(window.min.y) * width + window.min.x) *
                static_cast<std::ptrdiff_t>(size);
        return Imf::Slice(type, base, size, size * static_cast<std::size_t>(width));
    }
};

struct Channels {
    std::vector<std::pair<std::string, Plane>> planes;
    void add(const std::string &name, Imf::PixelType t, const Imath::Box2i &w)
    {
        planes.emplace_back(name, Plane(t, w, 0.25f * static_cast<float>(planes.size() + 1)));
    }
    void declare(Imf::Header &h) const
    {
        for (const auto &[name, p] : planes)
            h.channels().insert(name, Imf::Channel(p.type));
    }
    Imf::FrameBuffer frameBuffer()
    {
        Imf::FrameBuffer fb;
        for (auto &[name, p] : planes)
            fb.insert(name, p.slice());
        return fb;
    }
};

Imath::Box2i box(int w, int h, int x = 0, int y = 0)
{
    return Imath::Box2i(Imath::V2i(x, y), Imath::V2i(x + w - 1, y + h - 1));
}

void scanline(const fs::path &file, Imf::Header header, Channels &c)
{
    c.declare(header);
    Imf::OutputFile out(file.c_str(), header);
    Imf::FrameBuffer fb = c.frameBuffer();
    out.setFrameBuffer(fb);
    const Imath::Box2i dw = header.dataWindow();
    out.writePixels(dw.max.y - dw.min.y + 1);
}

Channels rgba(Imf::PixelType t, const Imath::Box2i &w, const std::string &prefix = "")
{
    Channels c;
    for (const char *n : {"R", "G", "B", "A"})
        c.add(prefix + n, t, w);
    return c;
}

void writeImages(const fs::path &dir)
{
    fs::create_directories(dir);
    const Imath::Box2i full = box(kW, kH);
    const struct {
        Imf::Compression c;
        const char *name;
    } compressions[] = {{Imf::NO_COMPRESSION, "none"}, {Imf::RLE_COMPRESSION, "rle"},
                        {Imf::ZIPS_COMPRESSION, "zips"}, {Imf::ZIP_COMPRESSION, "zip"},
                        {Imf::PIZ_COMPRESSION, "piz"},  {Imf::PXR24_COMPRESSION, "pxr24"},
                        {Imf::B44_COMPRESSION, "b44"},   {Imf::B44A_COMPRESSION, "b44a"},
                        {Imf::DWAA_COMPRESSION, "dwaa"}, {Imf::DWAB_COMPRESSION, "dwab"}};
    for (const auto &k : compressions) {
        Imf::Header h(kW, kH);
        h.compression() = k.c;
        Channels c = rgba(Imf::HALF, full);
        scanline(dir / ("rgba-" + std::string(k.name) + ".exr"), h, c);
    }

    { // float, unsigned and luminance channels, decreasing lines, offset windows
        Imf::Header h(kW, kH);
        h.lineOrder() = Imf::DECREASING_Y;
        h.dataWindow() = box(10, 5, 3, 2);
        h.compression() = Imf::ZIP_COMPRESSION;
        Channels c;
        c.add("Y", Imf::FLOAT, h.dataWindow());
        c.add("Z", Imf::FLOAT, h.dataWindow());
        c.add("id", Imf::UINT, h.dataWindow());
        scanline(dir / "float-uint-luminance.exr", h, c);
    }
    { // a layered file with a preview and the attributes the loader reads back
        Imf::Header h(kW, kH);
        h.compression() = Imf::RLE_COMPRESSION;
        Imf::addOwner(h, "artist");
        Imf::addComments(h, "seed with metadata");
        Imf::addCapDate(h, "2026:12:09 08:00:00");
        Imf::addUtcOffset(h, -3600.0f);
        Imf::addXDensity(h, 300.0f);
        Imf::addAperture(h, 2.8f);
        Imf::addExpTime(h, 1.0f / 48.0f);
        Imf::addFramesPerSecond(h, Imf::Rational(24, 1));
        h.insert("LightWaveScene", Imf::StringAttribute("demo.lws"));
        Imf::PreviewImage preview(4, 2);
        for (unsigned i = 0; i < 8; ++i)
            preview.pixels()[i] = Imf::PreviewRgba(static_cast<unsigned char>(i * 30), 80, 160, 255);
        h.setPreviewImage(preview);
        Channels c = rgba(Imf::HALF, full, "diffuse.");
        c.add("depth.Z", Imf::FLOAT, full);
        scanline(dir / "layered-preview-metadata.exr", h, c);
    }
    { // tiled, one level and mipmapped
        for (const auto mode : {Imf::ONE_LEVEL, Imf::MIPMAP_LEVELS}) {
            Imf::Header h(kW, kH);
            h.setTileDescription(Imf::TileDescription(8, 4, mode));
            h.compression() = Imf::ZIP_COMPRESSION;
            Channels c = rgba(Imf::HALF, full);
            c.declare(h);
            const fs::path file = dir / (mode == Imf::ONE_LEVEL ? "tiled.exr" : "tiled-mipmap.exr");
            Imf::TiledOutputFile out(file.c_str(), h);
            for (int l = 0; l < out.numLevels(); ++l) {
                // Every level from the full-size planes: the values need not match.
                Channels level = rgba(Imf::HALF, out.dataWindowForLevel(l));
                Imf::FrameBuffer fb = level.frameBuffer();
                out.setFrameBuffer(fb);
                out.writeTiles(0, out.numXTiles(l) - 1, 0, out.numYTiles(l) - 1, l);
            }
        }
    }
    { // multipart: depth first, colour second
        Imf::Header depth(kW, kH), colour(kW, kH);
        depth.setName("depth");
        depth.setType(Imf::SCANLINEIMAGE);
        colour.setName("rgba");
        colour.setType(Imf::SCANLINEIMAGE);
        Channels z, c = rgba(Imf::HALF, full);
        z.add("Z", Imf::FLOAT, full);
        z.declare(depth);
        c.declare(colour);
        Imf::MultiPartOutputFile out((dir / "multipart-depth-rgba.exr").c_str(),
                                     std::vector<Imf::Header>{depth, colour}.data(), 2);
        Imf::OutputPart p0(out, 0), p1(out, 1);
        Imf::FrameBuffer fz = z.frameBuffer(), fc = c.frameBuffer();
        p0.setFrameBuffer(fz);
        p0.writePixels(kH);
        p1.setFrameBuffer(fc);
        p1.writePixels(kH);
    }
    { // deep scanline alone, then deep tiled beside a flat part
        Imf::Header deep(kW, kH);
        deep.setType(Imf::DEEPSCANLINE);
        deep.setName("deep");
        deep.compression() = Imf::ZIPS_COMPRESSION;
        deep.channels().insert("A", Imf::Channel(Imf::HALF));
        deep.channels().insert("Z", Imf::Channel(Imf::FLOAT));
        std::vector<unsigned int> counts(kW * kH);
        std::vector<std::vector<half>> a(kW * kH);
        std::vector<std::vector<float>> z(kW * kH);
        std::vector<half *> ap(kW * kH);
        std::vector<float *> zp(kW * kH);
        for (int i = 0; i < kW * kH; ++i) {
            counts[i] = static_cast<unsigned int>(i % 3);
            a[i].assign(counts[i], half(0.5f));
            for (unsigned s = 0; s < counts[i]; ++s)
                z[i].push_back(1.0f + static_cast<float>(s));
            ap[i] = a[i].data();
            zp[i] = z[i].data();
        }
        Imf::DeepFrameBuffer fb;
        fb.insertSampleCountSlice(Imf::Slice(Imf::UINT, reinterpret_cast<char *>(counts.data()),
                                             sizeof(unsigned int), sizeof(unsigned int) * kW));
        fb.insert("A", Imf::DeepSlice(Imf::HALF, reinterpret_cast<char *>(ap.data()),
                                      sizeof(half *), sizeof(half *) * kW, sizeof(half)));
        fb.insert("Z", Imf::DeepSlice(Imf::FLOAT, reinterpret_cast<char *>(zp.data()),
                                      sizeof(float *), sizeof(float *) * kW, sizeof(float)));
        {
            Imf::DeepScanLineOutputFile out((dir / "deep-scanline.exr").c_str(), deep);
            out.setFrameBuffer(fb);
            out.writePixels(kH);
        }
        Imf::Header deepTiled = deep;
        deepTiled.setType(Imf::DEEPTILE);
        deepTiled.setName("deeptiled");
        deepTiled.setTileDescription(Imf::TileDescription(8, 8));
        Imf::Header flat(kW, kH);
        flat.setName("flat");
        flat.setType(Imf::SCANLINEIMAGE);
        Channels c = rgba(Imf::HALF, full);
        c.declare(flat);
        Imf::MultiPartOutputFile out((dir / "deep-tiled-beside-flat.exr").c_str(),
                                     std::vector<Imf::Header>{deepTiled, flat}.data(), 2);
        Imf::DeepTiledOutputPart p0(out, 0);
        p0.setFrameBuffer(fb);
        p0.writeTiles(0, p0.numXTiles() - 1, 0, p0.numYTiles() - 1);
        Imf::OutputPart p1(out, 1);
        Imf::FrameBuffer fc = c.frameBuffer();
        p1.setFrameBuffer(fc);
        p1.writePixels(kH);
    }
}

void writeText(const fs::path &file, const std::string &text)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

// The filter's and the master's settings as each scene holds them, in the
// text of a scene's plug-in section and in the binary form with its magic.
void writeSettings(devhost::Host &host, const fs::path &blockDir, const fs::path &settingsDir,
                   const std::string &stem)
{
    int n = 0;
    for (const auto &server : host.scene().servers) {
        if (!server->instance)
            continue;
        const std::string base = stem + "-" + std::to_string(n++);
        devhost::BinaryBlockWriter binary(true);
        devhost::TextBlockWriter text;
        host.saveServer(*server, binary.state());
        host.saveServer(*server, text.state());
        writeText(blockDir / (base + ".lwbf"), binary.contents());
        if (server->className == LWIMAGEFILTER_HCLASS) {
            writeText(settingsDir / (base + ".lwbf"), binary.contents());
            writeText(settingsDir / (base + ".txt"), text.contents());
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTDIR [SCENE...]\n");
        return 2;
    }
    const fs::path out = argv[1];
    try {
        writeImages(out / "loader");
        const fs::path blocks = out / "blockfile", settings = out / "settings";
        fs::create_directories(blocks);
        fs::create_directories(settings);

        devhost::Host host;
        host.messages().setOutput(nullptr, nullptr);
        const char *module = std::getenv("RAVELCAST_MODULE");
        host.loadModule(module && *module ? module : RAVELCAST_MODULE_PATH);

        // A scene with every server of the module at its defaults.
        host.applyServer(LWIMAGEFILTER_HCLASS, "Ravelcast");
        host.applyServer(LWMASTER_HCLASS, "OpenEXRSettings");
        writeText(blocks / "defaults.lws", devhost::sceneText(host));
        writeSettings(host, blocks, settings, "defaults");

        for (int i = 2; i < argc; ++i) {
            const fs::path scene = argv[i];
            devhost::readSceneFile(host, scene.string());
            const std::string stem = scene.stem().string();
            writeText(blocks / (stem + ".lws"), devhost::sceneText(host));
            writeSettings(host, blocks, settings, stem);
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
