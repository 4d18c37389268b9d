// `devhost convert` and the frame image of `devhost render` through the
// module's OpenEXR loader and saver, run as separate devhost processes (so
// every run is a fresh process) and checked with the OpenEXR library.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfCompression.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <half.h>

#include "../devhost/ImageReadBack.h"
#include "../exrio/LoaderFiles.h"
#include "E2ESupport.h"
#include "ExrReadBack.h"
#include "TestSupport.h"

namespace {

using loaderfiles::box;
using testsupport::TempDir;

std::string quoted(const std::string &s) { return e2e::shellQuoted(s); }

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome devhost(const std::string &arguments)
{
    Outcome r;
    r.status = testsupport::run(quoted(testsupport::devhostPath()) + " --module " +
                                    quoted(testsupport::modulePath()) + " " + arguments,
                                &r.output);
    return r;
}

Outcome convert(const std::string &in, const std::string &out, const std::string &options = "")
{
    return devhost("convert " + quoted(in) + " " + quoted(out) + " " + options);
}

using testsupport::exrChannelNames;
Imf::Header headerOf(const std::string &file) { return testsupport::readExrHeader(file); }
// A FLOAT view of one channel over the data window.
std::vector<float> channelOf(const std::string &file, const std::string &name)
{
    return testsupport::readExrChannel(file, name, -99.0f).values;
}

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

// Every pixel of the saved image against the source's display-window
// pixels as the library's RGBA interface reads them. A saved "Y" is
// compared with the interface's red, which holds a grey file's Y.
void expectSameDisplayPixels(const std::string &source, const std::string &saved,
                             const std::vector<std::string> &channels)
{
    const Imf::Header sh = headerOf(source);
    Imath::Box2i all = sh.displayWindow();
    all.extendBy(sh.dataWindow());
    const loaderfiles::RgbaPixels lib = loaderfiles::readRgba(source, all);
    const Imath::Box2i display = sh.displayWindow();
    const Imf::Header out = headerOf(saved);
    const int w = display.max.x - display.min.x + 1, h = display.max.y - display.min.y + 1;
    ASSERT_EQ(out.displayWindow(), box(0, 0, w - 1, h - 1));
    ASSERT_EQ(out.dataWindow(), out.displayWindow());
    for (const std::string &c : channels) {
        const std::vector<float> v = channelOf(saved, c);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const Imf::Rgba &p = lib.at(display.min.x + i, display.min.y + j);
                const float want = c == "R" || c == "Y" ? p.r
                                   : c == "G"             ? p.g
                                   : c == "B"             ? p.b
                                                          : p.a;
                ASSERT_EQ(v[static_cast<std::size_t>(j) * w + i], want)
                    << c << " at " << i << "," << j;
            }
    }
}

TEST(ConvertCommand, ExrRoundTripInFloatReproducesTheDisplayWindow)
{
    TempDir dir;
    // The data window reaches past the display window at the sides and
    // stops short of it at the top and bottom; the display window does not
    // start at (0, 0).
    const std::string source = dir.file("source.exr");
    loaderfiles::writeChannels(source, box(3, 2, 42, 31), box(-1, 5, 46, 20),
                               {"R", "G", "B", "A"});
    const std::string saved = dir.file("saved.exr");
    const Outcome r = convert(source, saved, "--pixel-type float");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r.output, "loader LW_OpenEXR: result 0")) << r.output;
    EXPECT_TRUE(has(r.output, "metadata 9: 40")) << r.output;
    EXPECT_TRUE(has(r.output, "metadata 10: 30")) << r.output;
    EXPECT_TRUE(has(r.output, "metadata 1: 1")) << r.output;
    EXPECT_TRUE(has(r.output, "saver OpenEXR(.exr): result 0")) << r.output;

    const Imf::Header out = headerOf(saved);
    EXPECT_EQ(exrChannelNames(out), (std::vector<std::string>{"A", "B", "G", "R"}));
    for (auto it = out.channels().begin(); it != out.channels().end(); ++it)
        EXPECT_EQ(it.channel().type, Imf::FLOAT) << it.name();
    EXPECT_EQ(out.compression(), Imf::PIZ_COMPRESSION);
    expectSameDisplayPixels(source, saved, {"R", "G", "B", "A"});

    // An RGB source gives RGB, and a second round trip changes nothing.
    const std::string rgb = dir.file("rgb.exr");
    loaderfiles::writeChannels(rgb, box(0, 0, 15, 9), box(2, -3, 30, 7), {"R", "G", "B"},
                               Imf::ZIP_COMPRESSION);
    const std::string once = dir.file("once.exr"), twice = dir.file("twice.exr");
    ASSERT_EQ(convert(rgb, once, "--pixel-type float").status, 0);
    ASSERT_EQ(convert(once, twice, "--pixel-type float --compression none").status, 0);
    EXPECT_EQ(exrChannelNames(headerOf(twice)), (std::vector<std::string>{"B", "G", "R"}));
    EXPECT_EQ(headerOf(twice).compression(), Imf::NO_COMPRESSION);
    expectSameDisplayPixels(rgb, once, {"R", "G", "B"});
    expectSameDisplayPixels(rgb, twice, {"R", "G", "B"});
}

TEST(ConvertCommand, FreshProcessWritesPizHalfAndOptionsChangeIt)
{
    TempDir dir;
    const std::string source = dir.file("source.exr");
    loaderfiles::writeChannels(source, box(0, 0, 7, 5), box(0, 0, 7, 5), {"Y"});
    const std::string plain = dir.file("plain.exr");
    const Outcome r = convert(source, plain);
    ASSERT_EQ(r.status, 0) << r.output;
    const Imf::Header h = headerOf(plain);
    EXPECT_EQ(h.compression(), Imf::PIZ_COMPRESSION);
    EXPECT_EQ(exrChannelNames(h), std::vector<std::string>{"Y"});
    EXPECT_EQ(h.channels().findChannel("Y")->type, Imf::HALF);
    expectSameDisplayPixels(source, plain, {"Y"});

    const std::string ints = dir.file("ints.exr");
    ASSERT_EQ(convert(source, ints, "--compression ZIP --pixel-type int32").status, 0);
    EXPECT_EQ(headerOf(ints).compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(headerOf(ints).channels().findChannel("Y")->type, Imf::UINT);
    const std::string lossy = dir.file("lossy.exr");
    ASSERT_EQ(convert(source, lossy, "--compression pxr24").status, 0);
    EXPECT_EQ(headerOf(lossy).compression(), Imf::PXR24_COMPRESSION);

    for (const char *bad : {"--pixel-type double", "--compression lzw", "--pixel-type"}) {
        const Outcome u = convert(source, dir.file("bad.exr"), bad);
        EXPECT_EQ(u.status, 2) << bad << "\n" << u.output;
        EXPECT_TRUE(has(u.output, "devhost:")) << u.output;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("bad.exr")));
}

TEST(ConvertCommand, PngInAndOutThroughTheHostsOwnLoaderAndSaver)
{
    TempDir dir;
    const std::string source = dir.file("source.exr");
    loaderfiles::writeChannels(source, box(0, 0, 9, 4), box(0, 0, 9, 4), {"R", "G", "B"});
    const std::string png = dir.file("picture.png");
    const Outcome toPng = convert(source, png);
    ASSERT_EQ(toPng.status, 0) << toPng.output;
    EXPECT_TRUE(has(toPng.output, "saver PNG(.png): result 0")) << toPng.output;
    const readback::Png p = readback::readPng(png);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.channels, 3);

    const std::string back = dir.file("back.exr");
    const Outcome fromPng = convert(png, back);
    ASSERT_EQ(fromPng.status, 0) << fromPng.output;
    EXPECT_TRUE(has(fromPng.output, "loader PNG(.png): result 0")) << fromPng.output;
    EXPECT_FALSE(has(fromPng.output, "LW_OpenEXR")) << "the first loader that reads it wins";
    EXPECT_TRUE(has(fromPng.output, "image: 10 x 5, type 0 (RGB bytes)")) << fromPng.output;
    const std::vector<float> r = channelOf(back, "R"), b = channelOf(back, "B");
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * 10 + x;
            EXPECT_EQ(r[i], static_cast<float>(half(p.at(x, y, 0) * (1.0f / 255.0f))));
            EXPECT_EQ(b[i], static_cast<float>(half(p.at(x, y, 2) * (1.0f / 255.0f))));
        }

    // Any saver by name; the dummy one writes nothing.
    const std::string dummy = dir.file("dummy.exr");
    const Outcome d = convert(png, dummy, "--saver " + quoted("OpenEXR_Dummy(.exr)"));
    EXPECT_EQ(d.status, 0) << d.output;
    EXPECT_FALSE(std::filesystem::exists(dummy));
}

TEST(ConvertCommand, FailedLoadsAndSavesExitWithTheMessage)
{
    TempDir dir;
    const std::string text = dir.file("notes.txt");
    testsupport::writeFile(text, "not an image");
    const Outcome none = convert(text, dir.file("x.exr"));
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(has(none.output, "loader LW_OpenEXR: result 1")) << none.output;
    EXPECT_TRUE(has(none.output, "none of the host's loaders reads it")) << none.output;

    const Outcome cut = convert(testsupport::dataPath("damaged/missing_scanlines.exr"), dir.file("y.exr"));
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(has(cut.output, "loader LW_OpenEXR: result 2")) << cut.output;
    EXPECT_TRUE(has(cut.output, "result 2 (damaged or incomplete)")) << cut.output;

    const Outcome hostile = convert(testsupport::dataPath("damaged/huge_width.exr"), dir.file("z.exr"));
    EXPECT_EQ(hostile.status, 1);
    EXPECT_TRUE(has(hostile.output, "An exception occured when attempting to load an image:"))
        << hostile.output;
    EXPECT_TRUE(has(hostile.output, "too large to load")) << hostile.output;

    const std::string source = dir.file("source.exr");
    loaderfiles::writeChannels(source, box(0, 0, 3, 3), box(0, 0, 3, 3), {"R", "G", "B"});
    const std::string nowhere = dir.file("no/such/folder/out.exr");
    const Outcome unsaved = convert(source, nowhere);
    EXPECT_EQ(unsaved.status, 1);
    EXPECT_TRUE(has(unsaved.output, "Cannot open image file \"" + nowhere + "\"")) << unsaved.output;
    EXPECT_TRUE(has(unsaved.output, "Cannot save \"" + nowhere + "\" with OpenEXR(.exr)"))
        << unsaved.output;

    const Outcome unknown = convert(source, dir.file("out.tif"));
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(has(unknown.output, "No image saver writes")) << unknown.output;
    EXPECT_TRUE(std::filesystem::exists(source));
}

TEST(ConvertCommand, IsListedInTheHelp)
{
    const Outcome help = devhost("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(has(help.output,
                    "convert IN OUT [--saver NAME] [--pixel-type int32|half|float] "
                    "[--compression NAME]"))
        << help.output;
}

// The frame image of a render through the module's saver, against the
// final colour and alpha the renderer delivered.
TEST(RenderCommand, SavesTheFrameImageThroughTheOpenEXRSaver)
{
    TempDir dir;
    auto scene = [&](const std::string &plugins) {
        return "{ Host { Version 10 0 2009 } { Mode \"layout\" } }\n"
               "{ Scene { Name \"io.lws\" } { Frames 2 2 1 } { FrameSize 40 24 }"
               " { RGBPrefix \"out/frame\" } { ImageSaver \"OpenEXR(.exr)\" } }\n" +
               plugins;
    };
    const std::string plain = dir.file("plain.lws");
    testsupport::writeFile(plain, scene(""));
    const Outcome r = devhost("render " + quoted(plain) + " --content " + quoted(dir.file("a")) +
                          " --dump-buffers " + quoted(dir.file("dump")));
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string image = dir.file("a/out/frame0002.exr");
    const std::string dump = dir.file("dump/buffers.0002.exr");
    ASSERT_TRUE(std::filesystem::exists(image)) << r.output;
    Imf::Header h = headerOf(image);
    EXPECT_EQ(h.compression(), Imf::PIZ_COMPRESSION);
    EXPECT_EQ(h.channels().findChannel("R")->type, Imf::HALF);
    const char *names[] = {"R", "G", "B", "A"};
    for (int c = 0; c < 4; ++c) {
        const std::vector<float> got = channelOf(image, names[c]);
        const std::vector<float> want = channelOf(dump, "B" + std::to_string(32 + c));
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], static_cast<float>(half(want[i]))) << names[c] << i;
    }

    // With the settings master in the scene its values are used.
    const std::string withMaster = dir.file("master.lws");
    testsupport::writeFile(withMaster,
                           scene("Plugin MasterHandler 1 OpenEXRSettings\n{ Version 1 }\n"
                                 "{ PixelFormat 2 }\n{ Compression 3 }\nEndPlugin\n"));
    const Outcome d = devhost("describe " + quoted(withMaster));
    EXPECT_TRUE(has(d.output, "MasterHandler OpenEXRSettings: Orvo OpenEXR: Float 32 - ZIP "
                              "(lossless)"))
        << d.output;
    const Outcome m = devhost("render " + quoted(withMaster) + " --content " + quoted(dir.file("b")));
    ASSERT_EQ(m.status, 0) << m.output;
    const std::string floats = dir.file("b/out/frame0002.exr");
    h = headerOf(floats);
    EXPECT_EQ(h.compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(h.channels().findChannel("A")->type, Imf::FLOAT);
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(channelOf(floats, names[c]), channelOf(dump, "B" + std::to_string(32 + c)))
            << names[c];
}

} // namespace
