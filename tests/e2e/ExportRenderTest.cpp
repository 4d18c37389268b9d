// Scenes rendered through the real module: the files of every frame, read
// back with OpenEXR and checked against the host buffers the renderer
// delivered (dumped per frame).

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfIO.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOutputFile.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfStringAttribute.h>
#include <half.h>

#include "E2ESupport.h"
#include "devhost/SceneFile.h"

namespace {

using e2e::readPlane;

using e2e::buffer;
using e2e::kEnd;
using e2e::kPlugin;

using e2e::writeSource;

class ExportRenderTest : public e2e::RenderTest {};

TEST_F(ExportRenderTest, FinalRenderAndAlphaMakeAnRGBAFile)
{
    render(e2e::sceneHeader() + kPlugin + buffer("Final Render", "") + buffer("Alpha", "") + kEnd);
    EXPECT_EQ(e2e::filesIn(out("out")), std::vector<std::string>{"shot001.exr"});
    const std::string file = out("out/shot001.exr");
    const Imf::Header h = e2e::headerOf(file);
    EXPECT_EQ(e2e::channelsOf(h), (std::vector<std::string>{"A", "B", "G", "R"}));
    for (auto it = h.channels().begin(); it != h.channels().end(); ++it)
        EXPECT_EQ(it.channel().type, Imf::HALF);
    EXPECT_EQ(h.compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(h.displayWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(47, 31)));
    EXPECT_EQ(h.dataWindow(), h.displayWindow());
    EXPECT_EQ(h.lineOrder(), Imf::INCREASING_Y);
    EXPECT_EQ(h.screenWindowWidth(), 1.0f);

    // The values are the host's buffers, as half.
    const auto r = readPlane(file, "R"), a = readPlane(file, "A");
    const auto hr = readPlane(dump(1), "B32"), ha = readPlane(dump(1), "B35");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(r.at(x, y), static_cast<float>(half(hr.at(x, y)))) << x << "," << y;
            ASSERT_EQ(a.at(x, y), static_cast<float>(half(ha.at(x, y))));
        }

    // An independent reader sees the same file.
    if (testsupport::kIndependentReaders) {
        ASSERT_TRUE(testsupport::haveProgram("oiiotool", "openimageio-tools"));
        std::string info;
        ASSERT_EQ(testsupport::run("oiiotool --info -v " + file, &info), 0) << info;
        EXPECT_NE(info.find("48 x   32, 4 channel, half openexr"), std::string::npos) << info;
        EXPECT_NE(info.find("compression: \"zip\""), std::string::npos) << info;
        EXPECT_NE(info.find("LightWaveScene: \"e2e.lws\""), std::string::npos) << info;
    }
}

TEST_F(ExportRenderTest, LayerAndImageOfRawColour)
{
    render(e2e::sceneHeader() + kPlugin + buffer("Raw Colour", "{ SaveAs 3 }") + kEnd);
    const std::string layered = out("out/shot001.exr"), image = out("out/shotRaw001.exr");
    EXPECT_EQ(e2e::channelsOf(e2e::headerOf(layered)),
              (std::vector<std::string>{"Raw.B", "Raw.G", "Raw.R"}))
        << "a scene lists its active buffers; the others load inactive";
    EXPECT_EQ(e2e::channelsOf(e2e::headerOf(image)), (std::vector<std::string>{"B", "G", "R"}));
    EXPECT_EQ(e2e::headerOf(image).findTypedAttribute<Imf::StringAttribute>("comments"), nullptr)
        << "a separate image carries its own comment only";
    const auto raw = readPlane(dump(1), "B7");
    const auto inLayer = readPlane(layered, "Raw.G"), inImage = readPlane(image, "G");
    float sum = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(inLayer.at(x, y), static_cast<float>(half(raw.at(x, y))));
            ASSERT_EQ(inImage.at(x, y), inLayer.at(x, y));
            sum += raw.at(x, y);
        }
    EXPECT_GT(sum, 0.0f) << "the buffer holds data";
}

TEST_F(ExportRenderTest, FittedWindowsFromTheHostBuffers)
{
    // Alpha fitted: the file's window is the alpha's box, Final Render in it.
    render(e2e::sceneHeader() + kPlugin + buffer("Final Render", "") +
           buffer("Alpha", "{ FitDataWindow 1 }") + kEnd);
    const auto alpha = readPlane(dump(1), "B35");
    Imath::Box2i box;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            if (half(alpha.at(x, y)) != 0.0f)
                box.extendBy(Imath::V2i(x, y));
    ASSERT_FALSE(box.isEmpty());
    ASSERT_NE(box, Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(47, 31))) << "the sky has no alpha";
    const std::string file = out("out/shot001.exr");
    EXPECT_EQ(e2e::headerOf(file).dataWindow(), box);
    const auto r = readPlane(file, "R"), hr = readPlane(dump(1), "B32");
    EXPECT_EQ(r.window, box);
    EXPECT_EQ(r.at(box.max.x, box.max.y), static_cast<float>(half(hr.at(box.max.x, box.max.y))));

    // A frame without alpha anywhere: the 2 x 2 window.
    writeSource(out("black.exr"), 48, 32, {"A"}, [](int, int, int) { return 0.0f; });
    render(e2e::sceneHeader("{ BufferSource 35 \"black.exr\" \"A\" }") + kPlugin +
           buffer("Alpha", "{ FitDataWindow 1 }") + kEnd);
    EXPECT_EQ(e2e::headerOf(file).dataWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(1, 1)));

    // A pixel with red only holds data: any channel holding data is enough.
    writeSource(out("colour.exr"), 48, 32, {"R", "G", "B"}, [](int c, int x, int y) {
        if (x == 5 && y == 5)
            return c == 0 ? 0.5f : 0.0f;
        return x == 10 && y == 7 ? 0.5f : 0.0f;
    });
    render(e2e::sceneHeader("{ BufferSource 32 \"colour.exr\" \"R\" } { BufferSource 33 "
                            "\"colour.exr\" \"G\" } { BufferSource 34 \"colour.exr\" \"B\" }") +
           kPlugin + buffer("Final Render", "{ FitDataWindow 1 }") + kEnd);
    EXPECT_EQ(e2e::headerOf(file).dataWindow(), Imath::Box2i(Imath::V2i(5, 5), Imath::V2i(10, 7)));
    const auto red = readPlane(file, "R");
    EXPECT_EQ(red.at(5, 5), 0.5f) << "the pure red pixel is written";
}

TEST_F(ExportRenderTest, SurfaceIdsAsUnsignedRGB)
{
    render(e2e::sceneHeader() + kPlugin +
           buffer("Surface ID", "{ SaveAs 2 } { LumaAsRGB 1 }") + kEnd);
    const std::string image = out("out/shotSurface ID001.exr");
    const Imf::Header h = e2e::headerOf(image);
    EXPECT_EQ(e2e::channelsOf(h), (std::vector<std::string>{"B", "G", "R"}));
    for (auto it = h.channels().begin(); it != h.channels().end(); ++it)
        EXPECT_EQ(it.channel().type, Imf::UINT);
    const auto ids = readPlane(dump(1), "B43");
    const auto r = readPlane(image, "R"), g = readPlane(image, "G"), b = readPlane(image, "B");
    std::set<float> seen;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(r.at(x, y), std::trunc(ids.at(x, y)));
            ASSERT_EQ(g.at(x, y), r.at(x, y));
            ASSERT_EQ(b.at(x, y), r.at(x, y));
            seen.insert(r.at(x, y));
        }
    EXPECT_GE(seen.size(), 3u) << "background and several surfaces";
}

TEST_F(ExportRenderTest, ViperOnlySavesOnRenderNodesWithAnInformationLinePerFile)
{
    const std::string plugin = kPlugin + "{ LayoutRenderMode 1 }\n" + buffer("Final Render", "") +
                               buffer("Depth", "{ SaveAs 3 }") + kEnd;
    render(e2e::sceneHeader() + plugin);
    EXPECT_TRUE(e2e::filesIn(out("out")).empty());
    EXPECT_TRUE(infoLines().empty());
    // Saving nothing, the filter still hands the frame back unchanged.
    loadScene(e2e::sceneHeader() + plugin);
    devhost::RenderJob job(host(), {});
    const devhost::RenderedFrame before =
        devhost::Renderer(host()).render(1, devhost::sceneRequest(host().scene()));
    const devhost::RenderedFrame after = job.renderFrame(1);
    for (int i = 0; i < 48 * 32; i += 29) {
        EXPECT_EQ(after.plane(LWBUF_RED)[i], before.plane(LWBUF_RED)[i]);
        EXPECT_EQ(after.plane(LWBUF_ALPHA)[i], before.plane(LWBUF_ALPHA)[i]);
    }

    render(e2e::sceneHeader("", "screamernet") + plugin);
    EXPECT_EQ(e2e::filesIn(out("out")),
              (std::vector<std::string>{"shot001.exr", "shotDepth001.exr"}));
#if defined(_WIN32)
    const std::string tag = "Ravelcast(Win64)_V1.5a - Image saved: ";
#else
    const std::string tag = "Ravelcast(Linux64)_V1.5a - Image saved: ";
#endif
    // The layered file keeps the render path's own '/'; Windows takes both.
    std::vector<std::string> lines = infoLines();
    for (std::string &l : lines)
        l = testsupport::nativePath(l);
    EXPECT_EQ(lines, (std::vector<std::string>{tag + out("out/shot001.exr"),
                                                      tag + out("out/shotDepth001.exr")}));
}

TEST_F(ExportRenderTest, LimitedRegionRowsMapToTheFrame)
{
    render(e2e::sceneHeader("{ LimitedRegion 10 6 29 21 }") + kPlugin +
           buffer("Final Render", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    const Imf::Header h = e2e::headerOf(file);
    EXPECT_EQ(h.displayWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(47, 31)));
    EXPECT_EQ(h.dataWindow(), Imath::Box2i(Imath::V2i(10, 6), Imath::V2i(29, 21)));
    const auto r = readPlane(file, "R"), hr = readPlane(dump(1), "B32");
    ASSERT_EQ(hr.window.max, Imath::V2i(19, 15)) << "the host delivers the region only";
    for (int j = 6; j <= 21; ++j)
        for (int i = 10; i <= 29; ++i)
            ASSERT_EQ(r.at(i, j), static_cast<float>(half(hr.at(i - 10, j - 6)))) << i << "," << j;
}

TEST_F(ExportRenderTest, WrittenValuesAreTheProcessedHostBuffers)
{
    render(e2e::sceneHeader() + kPlugin +
           buffer("Depth", "{ Maximum { Value 20 } } { Invert 1 }") +
           buffer("Diffuse Colour", "{ PixelType 2 } { Gamma { Value 2 } } { Unmultiply 1 }") +
           buffer("Motion", "{ Channel { Name \"Y\" } { Settings { Flip 1 } } }") +
           buffer("Ambient Occlusion", "{ Scale { Value 0.5 } } { Offset { Value 1 } }") + kEnd);
    const std::string file = out("out/shot001.exr");
    const auto z = readPlane(file, "Z"), hz = readPlane(dump(1), "B12");
    const auto d = readPlane(file, "Diff.R"), hd = readPlane(dump(1), "B20");
    const auto alpha = readPlane(dump(1), "B35");
    const auto my = readPlane(file, "Motion.Y"), hmy = readPlane(dump(1), "B16");
    const auto ao = readPlane(file, "AO.G"), hao = readPlane(dump(1), "B49");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            const float depth = (hz.at(x, y) - 0.0f) / (20.0f - 0.0f);
            ASSERT_EQ(z.at(x, y), 0.5f - (depth - 0.5f));
            float diff = hd.at(x, y);
            const float a = alpha.at(x, y);
            if (a != 0.0f && a != 1.0f)
                diff /= a;
            const float expected = std::pow(diff, 0.5f);
            if (std::isnan(expected))
                ASSERT_TRUE(std::isnan(d.at(x, y)));
            else
                ASSERT_EQ(d.at(x, y), expected) << x << "," << y;
            ASSERT_EQ(my.at(x, y), static_cast<float>(half(-hmy.at(x, y))));
            ASSERT_EQ(ao.at(x, y), static_cast<float>(half(static_cast<float>(
                                        (static_cast<double>(hao.at(x, y)) + 1.0) * 0.5))));
        }
}

TEST_F(ExportRenderTest, DwaCompressionKeepsItsSettingAndItsError)
{
    const std::string plugin = kPlugin + "{ Compression 8 } { DWACompressionLevel 20 }\n" +
                               buffer("Final Render", "") + buffer("Depth", "{ SaveAs 3 }") + kEnd;
    render(e2e::sceneHeader() + plugin);
    const std::string file = out("out/shot001.exr");
    EXPECT_EQ(e2e::headerOf(file).compression(), Imf::DWAA_COMPRESSION);
    EXPECT_EQ(e2e::headerOf(out("out/shotDepth001.exr")).compression(), Imf::DWAA_COMPRESSION);
    // Lossy on colour, within a few percent of the host's values; DWA keeps
    // FLOAT channels such as depth exact.
    const auto r = readPlane(file, "R"), hr = readPlane(dump(1), "B32");
    const auto z = readPlane(file, "Z"), hz = readPlane(dump(1), "B12");
    double error = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            error = std::max(error, std::abs(double(r.at(x, y)) - hr.at(x, y)) /
                                        std::max(1.0, std::abs(double(hr.at(x, y)))));
            ASSERT_EQ(z.at(x, y), hz.at(x, y));
        }
    EXPECT_LT(error, 0.05);

    // The setting survives the scene, and a damaged level keeps the default.
    loadScene(e2e::sceneHeader() + plugin);
    const std::string saved = devhost::sceneText(host());
    EXPECT_NE(saved.find("{ DWACompressionLevel 20 }"), std::string::npos) << saved;
    loadScene(e2e::sceneHeader() + kPlugin + "{ DWACompressionLevel -3 }\n" + kEnd);
    EXPECT_NE(devhost::sceneText(host()).find("{ DWACompressionLevel 45 }"), std::string::npos);
}

TEST_F(ExportRenderTest, OnePartPerLayer)
{
    render(e2e::sceneHeader() + kPlugin + "{ MultiPart 1 } { Comment \"parts\" }\n" +
           buffer("Final Render", "") + buffer("Alpha", "") + buffer("Depth", "") +
           buffer("Raw Colour", "") + buffer("Surface Normal", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    Imf::MultiPartInputFile in(file.c_str());
    ASSERT_EQ(in.parts(), 3);
    const std::vector<std::pair<std::string, std::vector<std::string>>> want = {
        {"Base", {"A", "B", "G", "R", "Z"}},
        {"Raw", {"Raw.B", "Raw.G", "Raw.R"}},
        {"N", {"N.X", "N.Y", "N.Z"}}};
    for (int p = 0; p < 3; ++p) {
        const Imf::Header &h = in.header(p);
        EXPECT_EQ(h.name(), want[p].first);
        EXPECT_EQ(e2e::channelsOf(h), want[p].second) << h.name();
        EXPECT_EQ(h.typedAttribute<Imf::StringAttribute>("comments").value(), "parts");
        EXPECT_EQ(h.dataWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(47, 31)));
    }
    // Every value as the single-part file holds it.
    const auto raw = testsupport::readExrChannel(file, "Raw.G", 0.0f, 1);
    const auto z = testsupport::readExrChannel(file, "Z", 0.0f, 0);
    const auto hraw = readPlane(dump(1), "B7"), hz = readPlane(dump(1), "B12");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(raw.at(x, y), static_cast<float>(half(hraw.at(x, y))));
            ASSERT_EQ(z.at(x, y), hz.at(x, y));
        }
    if (testsupport::kIndependentReaders) {
        ASSERT_TRUE(testsupport::haveProgram("oiiotool", "openimageio-tools"));
        std::string info;
        ASSERT_EQ(testsupport::run("oiiotool --info -v " + file, &info), 0) << info;
        EXPECT_NE(info.find("3 subimages"), std::string::npos) << info;
    }
}

TEST_F(ExportRenderTest, ThreadsWriteTheSameFile)
{
    // Tall enough for many bands, so one band is written while the next is
    // converted; ZIP, PIZ and DWAB (bands of 256 rows) on both paths.
    for (const char *settings : {"{ Compression 3 }", "{ Compression 4 }", "{ Compression 9 }"}) {
        const std::string scene = e2e::sceneHeader("", "layout", 40, 300) + kPlugin + settings +
                                  "\n" + buffer("Final Render", "") + buffer("Alpha", "") +
                                  buffer("Depth", "") + buffer("Motion", "") + kEnd;
        const std::string file = out("out/shot001.exr");
        render(scene);
        std::vector<e2e::Plane> single;
        const Imf::Header h = e2e::headerOf(file);
        const std::vector<std::string> names = e2e::channelsOf(h);
        for (const std::string &c : names) {
            single.push_back(readPlane(file, c));
            ASSERT_TRUE(single.back().present) << c;
        }
        testsupport::setEnv("RAVELCAST_THREADS", "2");
        render(scene);
        testsupport::setEnv("RAVELCAST_THREADS", nullptr);
        EXPECT_EQ(e2e::channelsOf(e2e::headerOf(file)), names) << settings;
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(readPlane(file, names[i]).values, single[i].values)
                << settings << " " << names[i];
        if (testsupport::kIndependentReaders) {
            ASSERT_TRUE(testsupport::haveProgram("oiiotool", "openimageio-tools"));
            std::string info;
            EXPECT_EQ(testsupport::run("oiiotool --stats " + file, &info), 0) << info;
        }
    }
}

// An attribute's value as the file stores it.
std::string storedValue(const Imf::Attribute &a)
{
    struct Memory : Imf::OStream {
        std::string bytes;
        Memory() : Imf::OStream("memory") {}
        void write(const char c[], int n) override { bytes.append(c, static_cast<std::size_t>(n)); }
        uint64_t tellp() override { return bytes.size(); }
        void seekp(uint64_t) override {}
    } memory;
    a.writeValueTo(memory, 2);
    return memory.bytes;
}

TEST_F(ExportRenderTest, UncompressedFilesHoldWhatCompressedFilesHold)
{
    // Uncompressed lines go to the file packed by the filter itself: every
    // file of a frame must hold what the library's own path writes with a
    // lossless compression. The whole frame and a region (the host's lines
    // inside wider rows), float and integer channels, a luminance written as
    // R, G and B, fitted data windows (one a single pixel, narrower than the
    // host's line), the preview and the metadata.
    writeSource(out("colour.exr"), 48, 32, {"R", "G", "B"},
                [](int c, int x, int y) { return x == 10 && y == 7 ? 0.25f * (c + 1) : 0.0f; });
    const std::string layers =
        "{ EmbedPreview 1 } { PreviewScale 1 } { Comment \"take 3\" }\n" +
        buffer("Final Render", "") + buffer("Alpha", "{ SaveAs 3 } { FitDataWindow 1 }") +
        buffer("Depth", "{ PixelType 2 }") + buffer("Surface ID", "{ PixelType 0 }") +
        buffer("Shadow", "{ SaveAs 3 } { LumaAsRGB 1 }") + kEnd;
    const std::string pixel = buffer("Final Render", "{ FitDataWindow 1 } { SaveAs 3 }") + kEnd;
    const std::string colour = "{ BufferSource 32 \"colour.exr\" \"R\" } { BufferSource 33 "
                               "\"colour.exr\" \"G\" } { BufferSource 34 \"colour.exr\" \"B\" }";
    const std::pair<std::string, std::string> scenes[] = {
        {"", layers}, {"{ LimitedRegion 10 6 29 21 }", layers}, {colour, pixel}};
    for (const auto &[extra, buffers] : scenes) {
        const std::string region = extra;
        const std::string header = e2e::sceneHeader(extra) + kPlugin;
        std::filesystem::remove_all(out("out"));
        render(header + "{ Compression 3 }\n" + buffers);
        const std::vector<std::string> files = e2e::filesIn(out("out"));
        ASSERT_GE(files.size(), 2u) << region;
        std::map<std::string, std::pair<Imf::Header, std::vector<e2e::Plane>>> zip;
        for (const std::string &f : files) {
            auto &[h, planes] = zip[f];
            h = e2e::headerOf(out("out/" + f));
            for (const std::string &c : e2e::channelsOf(h))
                planes.push_back(readPlane(out("out/" + f), c));
        }

        render(header + "{ Compression 0 }\n" + buffers);
        ASSERT_EQ(e2e::filesIn(out("out")), files) << region;
        for (const std::string &f : files) {
            const std::string file = out("out/" + f);
            const Imf::Header h = e2e::headerOf(file);
            const Imf::Header &expected = zip[f].first;
            EXPECT_EQ(h.compression(), Imf::NO_COMPRESSION);
            EXPECT_EQ(h.dataWindow(), expected.dataWindow()) << f;
            for (auto a = expected.begin(); a != expected.end(); ++a) {
                const std::string name = a.name();
                if (name == "compression")
                    continue;
                ASSERT_TRUE(h.find(name) != h.end()) << f << ": " << name;
                EXPECT_EQ(h[name].typeName(), std::string(a.attribute().typeName())) << name;
                // The time of writing may have moved on a second.
                if (name != "capDate") {
                    EXPECT_EQ(storedValue(h[name]), storedValue(a.attribute())) << f << ": " << name;
                }
            }
            // Beside them only the part's type, which the core always states.
            for (auto a = h.begin(); a != h.end(); ++a)
                EXPECT_TRUE(expected.find(a.name()) != expected.end() ||
                            (std::string(a.name()) == "type" && h.type() == "scanlineimage"))
                    << f << ": " << a.name();
            const std::vector<std::string> channels = e2e::channelsOf(h);
            ASSERT_EQ(channels, e2e::channelsOf(expected)) << f;
            for (std::size_t i = 0; i < channels.size(); ++i) {
                const e2e::Plane p = readPlane(file, channels[i]);
                const e2e::Plane &want = zip[f].second[i];
                ASSERT_EQ(p.values.size(), want.values.size());
                EXPECT_EQ(std::memcmp(p.values.data(), want.values.data(),
                                      p.values.size() * sizeof(float)),
                          0)
                    << f << ": " << channels[i] << " " << region;
            }
        }
        if (testsupport::kIndependentReaders) {
            ASSERT_TRUE(testsupport::haveProgram("oiiotool", "openimageio-tools"));
            std::string info;
            EXPECT_EQ(testsupport::run("oiiotool --stats " + out("out/shot001.exr"), &info), 0) << info;
        }
    }
}

TEST_F(ExportRenderTest, EmbeddedPreviewCommentAndAuthor)
{
    testsupport::setEnv("USERNAME", "render01");
    render(e2e::sceneHeader("", "layout", 320, 180) + kPlugin +
           "{ EmbedPreview 1 } { PreviewScale 1 } { Comment \"take 3\" } { Author \"Ada\" }\n" +
           buffer("Final Render", "") + kEnd);
    const Imf::Header h = e2e::headerOf(out("out/shot001.exr"));
    const auto *p = h.findTypedAttribute<Imf::PreviewImageAttribute>("preview");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->value().width(), 160u);
    EXPECT_EQ(p->value().height(), 90u);
    EXPECT_EQ(h.typedAttribute<Imf::StringAttribute>("comments").value(), "take 3");
    // The account that rendered stays the owner; the author is beside it.
    EXPECT_EQ(h.typedAttribute<Imf::StringAttribute>("owner").value(), "render01");
    EXPECT_EQ(h.typedAttribute<Imf::StringAttribute>("author").value(), "Ada");
    testsupport::setEnv("USERNAME", nullptr);
    int lit = 0;
    for (unsigned int i = 0; i < 160u * 90u; ++i)
        lit += p->value().pixels()[i].r > 0;
    EXPECT_GT(lit, 1000) << "the preview shows the frame";
}

TEST_F(ExportRenderTest, ChannelNamesTheLibraryCannotHoldFailBeforeAnyFile)
{
    EXPECT_THROW(render(e2e::sceneHeader() + kPlugin +
                        buffer("Raw Colour", "{ EXRBufferName \"\" } { Channel { Name \"Green\" } "
                                             "{ Settings { EXRChannelName \"\" } } }") +
                        kEnd),
                 devhost::HostError);
    EXPECT_EQ(testsupport::nativePath(messages(devhost::Message::Error).back()),
              "An exception occured in ImageFilter::Process():|Cannot write \"" +
                  out("out/shot001.exr") +
                  "\": buffer \"Raw Colour\": Image channel name cannot be an empty string.");
    EXPECT_TRUE(e2e::filesIn(out("out")).empty());

    // OpenEXR holds names of up to 255 bytes: its writer cuts longer ones
    // (two channels may then fall into one) and its readers refuse them, so
    // a longer name stops the frame, compressed or not, before any file.
    const std::string longest(253, 'L'), tooLong(254, 'L');
    for (const char *compression : {"0", "3"}) {
        std::filesystem::remove_all(out("out"));
        const std::string header =
            e2e::sceneHeader() + kPlugin + "{ Compression " + compression + " }\n";
        render(header + buffer("Raw Colour", "{ EXRBufferName \"" + longest + "\" }") + kEnd);
        const auto raw = readPlane(out("out/shot001.exr"), longest + ".R");
        EXPECT_EQ(raw.at(20, 20), static_cast<float>(half(readPlane(dump(1), "B6").at(20, 20))));
        EXPECT_EQ(e2e::channelsOf(e2e::headerOf(out("out/shot001.exr"))).size(), 3u);

        std::filesystem::remove_all(out("out"));
        EXPECT_THROW(
            render(header + buffer("Raw Colour", "{ EXRBufferName \"" + tooLong + "\" }") + kEnd),
            devhost::HostError)
            << compression;
        EXPECT_EQ(testsupport::nativePath(messages(devhost::Message::Error).back()),
                  "An exception occured in ImageFilter::Process():|Cannot write \"" +
                      out("out/shot001.exr") + "\": buffer \"Raw Colour\": the channel name \"" +
                      tooLong + ".R\" is longer than 255 bytes, the most OpenEXR can hold.");
        EXPECT_TRUE(e2e::filesIn(out("out")).empty()) << compression;
    }
}

TEST_F(ExportRenderTest, MaskRequestsOfVersionFourHosts)
{
    // The bit mask cannot ask for normals: their slices stay empty.
    render(e2e::sceneHeader("{ FilterVersion 4 }") + kPlugin + "{ LayoutRenderMode 2 }\n" +
           buffer("Raw Colour", "") + buffer("Surface Normal", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    const auto raw = readPlane(file, "Raw.R"), hraw = readPlane(dump(1), "B6");
    EXPECT_EQ(raw.at(20, 20), static_cast<float>(half(hraw.at(20, 20))));
    const auto n = readPlane(file, "N.X");
    EXPECT_TRUE(std::all_of(n.values.begin(), n.values.end(), [](float v) { return v == 0.0f; }));
    const auto dumped = e2e::channelsOf(e2e::headerOf(dump(1)));
    EXPECT_EQ(std::count(dumped.begin(), dumped.end(), "B40"), 0);
    EXPECT_EQ(std::count(dumped.begin(), dumped.end(), "B6"), 1);
}

TEST_F(ExportRenderTest, PostAppliedDisplayGammaReachesTheFrameImage)
{
    loadScene(e2e::sceneHeader() + kPlugin +
              "{ PostApplyDisplayGamma 1 } { DisplayGamma 2 }\n" + buffer("Final Render", "") + kEnd);
    devhost::RenderJob job(host(), {});
    devhost::Renderer renderer(host());
    const devhost::RenderedFrame before =
        renderer.render(1, devhost::sceneRequest(host().scene()));
    const devhost::RenderedFrame after = job.renderFrame(1);
    for (int i = 0; i < 48 * 32; i += 37) {
        EXPECT_FLOAT_EQ(after.plane(LWBUF_GREEN)[i], std::pow(before.plane(LWBUF_GREEN)[i], 0.5f));
        EXPECT_EQ(after.plane(LWBUF_ALPHA)[i], before.plane(LWBUF_ALPHA)[i]);
    }
}

} // namespace
