// The per-frame writing of the filter, on hand-filled frames; every file is
// read back with OpenEXR.

#include <cmath>
#include <filesystem>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfStringAttribute.h>
#include <half.h>

#include "ExportTest.h"
#include "ExrReadBack.h"
#include "devhost/BlockFile.h"
#include "FakeFrame.h"
#include "export/PreviewPixels.h"

namespace {

namespace fs = std::filesystem;
using ravelcast::OpenEXRBuffer;

using Channel = testsupport::ExrChannel;
using testsupport::exrChannelNames;
Channel readChannel(const std::string &path, const std::string &name)
{
    return testsupport::readExrChannel(path, name, -999.0f);
}

std::vector<float> ramp(int n, float start, float step)
{
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = start + step * i;
    return v;
}

class LayeredWriterTest : public ExportTest {
protected:
    void SetUp() override
    {
        ExportTest::SetUp();
        cwd_ = fs::current_path();
        host().scene().host.contentDir = dir_.path().string();
        host().scene().settings.rgbPrefix = dir_.file("out/shot");
        host().scene().settings.name = "shot.lws";
        host().sceneChanged();
        host().setFrame(7);
    }
    void TearDown() override
    {
        fs::current_path(cwd_);
        ExportTest::TearDown();
    }
    // Final colour, alpha and depth of a w x h frame.
    void beauty(testsupport::FakeFrame &f)
    {
        const int n = f.width() * f.height();
        f.set(LWBUF_RED, ramp(n, 0.0f, 0.125f));
        f.set(LWBUF_GREEN, ramp(n, 1.0f, -0.0625f));
        f.set(LWBUF_BLUE, std::vector<float>(n, 0.25f));
        f.set(LWBUF_ALPHA, std::vector<float>(n, 1.0f));
    }
    std::string out(const std::string &name) const { return dir_.file("out/" + name); }
    ravelcast::OpenEXRFilter &filter()
    {
        if (filters_.empty())
            makeFilter();
        return *filters_.front();
    }

    testsupport::TempDir dir_;
    fs::path cwd_;
};

TEST_F(LayeredWriterTest, FinalRenderAndAlphaMakeOneRGBAFile)
{
    testsupport::FakeFrame frame(6, 4);
    beauty(frame);
    filter().process(frame.access());
    const std::string path = out("shot007.exr");
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.file("out")), fs::directory_iterator()), 1);

    Imf::InputFile in(path.c_str());
    const Imf::Header &h = in.header();
    EXPECT_EQ(exrChannelNames(h), (std::vector<std::string>{"A", "B", "G", "R"}));
    for (auto it = h.channels().begin(); it != h.channels().end(); ++it)
        EXPECT_EQ(it.channel().type, Imf::HALF) << it.name();
    EXPECT_EQ(h.compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(h.displayWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(5, 3)));
    EXPECT_EQ(h.dataWindow(), h.displayWindow());
    EXPECT_EQ(h.lineOrder(), Imf::INCREASING_Y);
    EXPECT_EQ(h.screenWindowWidth(), 1.0f);
    ASSERT_NE(h.findTypedAttribute<Imf::StringAttribute>("LightWaveScene"), nullptr);
    EXPECT_EQ(h.findTypedAttribute<Imf::StringAttribute>("LightWaveScene")->value(), "shot.lws");

    const Channel r = readChannel(path, "R");
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(r.at(x, y), static_cast<float>(half(0.125f * (y * 6 + x))));
    EXPECT_EQ(readChannel(path, "A").at(5, 3), 1.0f);

    // The frame goes back to the host unchanged.
    EXPECT_EQ(frame.rgb[3 * 7], 0.125f * 7);
    EXPECT_EQ(frame.alpha[23], 1.0f);
}

TEST_F(LayeredWriterTest, LayerAndImageOfOneBuffer)
{
    testsupport::FakeFrame frame(4, 3);
    beauty(frame);
    frame.set(6, ramp(12, 0.5f, 0.5f));
    frame.set(7, ramp(12, 0.0f, 0.25f));
    frame.set(8, std::vector<float>(12, 2.0f));
    OpenEXRBuffer &raw = *filter().buffer("Raw Colour");
    raw.setActive(true);
    raw.setSaveAs(3);
    filter().process(frame.access());

    const std::string layered = out("shot007.exr");
    Imf::InputFile in(layered.c_str());
    EXPECT_EQ(exrChannelNames(in.header()),
              (std::vector<std::string>{"A", "B", "G", "R", "Raw.B", "Raw.G", "Raw.R"}));
    EXPECT_EQ(readChannel(layered, "Raw.R").at(3, 2), 6.0f);
    EXPECT_EQ(readChannel(layered, "Raw.B").at(0, 0), 2.0f);

    const std::string image = out("shotRaw007.exr");
    ASSERT_TRUE(fs::exists(image));
    Imf::InputFile img(image.c_str());
    EXPECT_EQ(exrChannelNames(img.header()), (std::vector<std::string>{"B", "G", "R"}));
    EXPECT_EQ(readChannel(image, "G").at(1, 1), 1.25f);
    EXPECT_EQ(img.header().findTypedAttribute<Imf::StringAttribute>("comments"), nullptr);
}

TEST_F(LayeredWriterTest, FittedDataWindows)
{
    testsupport::FakeFrame frame(8, 6);
    beauty(frame);
    std::vector<float> alpha(48, 0.0f);
    for (int y = 2; y <= 3; ++y)
        for (int x = 1; x <= 4; ++x)
            alpha[y * 8 + x] = 0.5f;
    frame.set(LWBUF_ALPHA, alpha);
    filter().buffer("Alpha")->setFitDataWindow(true);
    filter().process(frame.access());
    const std::string path = out("shot007.exr");
    Imf::InputFile in(path.c_str());
    const Imath::Box2i box(Imath::V2i(1, 2), Imath::V2i(4, 3));
    EXPECT_EQ(in.header().dataWindow(), box);
    EXPECT_EQ(in.header().displayWindow().max, Imath::V2i(7, 5));
    const Channel r = readChannel(path, "R");
    EXPECT_EQ(r.window, box);
    EXPECT_EQ(r.at(4, 3), static_cast<float>(half(0.125f * 28))) << "Final Render inside it";

    // An empty frame with a fitted buffer writes a 2 x 2 window.
    frame.fill(LWBUF_ALPHA, 0.0f);
    filter().process(frame.access());
    Imf::InputFile empty(path.c_str());
    EXPECT_EQ(empty.header().dataWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(1, 1)));

    // Every channel must hold data: a half-red pixel is empty.
    filter().buffer("Alpha")->setFitDataWindow(false);
    OpenEXRBuffer &beautyBuffer = *filter().buffer("Final Render");
    beautyBuffer.setFitDataWindow(true);
    std::vector<float> zero(48, 0.0f), red(48, 0.0f);
    red[10] = 0.5f;
    frame.set(LWBUF_RED, red);
    frame.set(LWBUF_GREEN, zero);
    frame.set(LWBUF_BLUE, zero);
    filter().process(frame.access());
    Imf::InputFile halfRed(path.c_str());
    EXPECT_EQ(halfRed.header().dataWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(1, 1)));
}

TEST_F(LayeredWriterTest, LuminanceAsRGBInASeparateImage)
{
    testsupport::FakeFrame frame(3, 2);
    beauty(frame);
    frame.set(LWBUF_SURFACEID, {0, 1, 2, 3, 4, 70000});
    OpenEXRBuffer &id = *filter().buffer("Surface ID");
    id.setActive(true);
    id.setSaveAs(2);
    id.setLumaAsRGB(true);
    filter().process(frame.access());
    const std::string image = out("shotSurface ID007.exr");
    ASSERT_TRUE(fs::exists(image));
    Imf::InputFile in(image.c_str());
    EXPECT_EQ(exrChannelNames(in.header()), (std::vector<std::string>{"B", "G", "R"}));
    for (auto it = in.header().channels().begin(); it != in.header().channels().end(); ++it)
        EXPECT_EQ(it.channel().type, Imf::UINT);
    std::vector<std::uint32_t> r(6), g(6), b(6);
    Imf::FrameBuffer fb;
    fb.insert("R", Imf::Slice(Imf::UINT, reinterpret_cast<char *>(r.data()), 4, 12));
    fb.insert("G", Imf::Slice(Imf::UINT, reinterpret_cast<char *>(g.data()), 4, 12));
    fb.insert("B", Imf::Slice(Imf::UINT, reinterpret_cast<char *>(b.data()), 4, 12));
    in.setFrameBuffer(fb);
    in.readPixels(0, 1);
    EXPECT_EQ(r, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 70000}));
    EXPECT_EQ(g, r);
    EXPECT_EQ(b, r);
}

TEST_F(LayeredWriterTest, ViperOnlyLeavesSavingToRenderNodes)
{
    testsupport::FakeFrame frame(4, 2);
    beauty(frame);
    ravelcast::OpenEXRFilter &f = filter();
    f.buffer("Depth")->setActive(true);
    f.buffer("Depth")->setSaveAs(3);
    frame.fill(LWBUF_DEPTH, 10.0f);
    devhost::TextBlockReader settings("{ LayoutRenderMode 1 }");
    hostkit::LoadState load(settings.state());
    // Only the one block: the buffers keep their state when loaded as a preset.
    f.loadSettings(load, true);
    ASSERT_EQ(f.layoutRenderMode(), 1);
    f.process(frame.access());
    EXPECT_FALSE(fs::exists(dir_.file("out")));
    EXPECT_EQ(frame.alpha[0], 1.0f) << "the frame is still handed back";

    useHost(10, 0, 2009, devhost::RunMode::ScreamerNet);
    f.process(frame.access());
    EXPECT_TRUE(fs::exists(out("shot007.exr")));
    EXPECT_TRUE(fs::exists(out("shotDepth007.exr")));
    const auto info = messages(devhost::Message::Info);
    ASSERT_EQ(info.size(), 2u);
    const std::string tag = "Ravelcast(Linux64)_V1.5a - Image saved: ";
    EXPECT_EQ(info[0], tag + out("shot007.exr") + "|");
    EXPECT_EQ(info[1], tag + out("shotDepth007.exr") + "|")
        << "a buffer without layer name is named by its display name";
}

TEST_F(LayeredWriterTest, LimitedRegionKeepsTheWholeFrameAsDisplayWindow)
{
    // A 10 x 8 frame of which the host rendered the region (3, 2)-(6, 4).
    host().scene().settings.frameWidth = 10;
    host().scene().settings.frameHeight = 8;
    host().scene().settings.limitedRegion = true;
    host().scene().settings.regionX0 = 3;
    host().scene().settings.regionY0 = 2;
    host().scene().settings.regionX1 = 6;
    host().scene().settings.regionY1 = 4;
    host().sceneChanged();
    testsupport::FakeFrame frame(4, 3);
    beauty(frame);
    filter().process(frame.access());
    const std::string path = out("shot007.exr");
    Imf::InputFile in(path.c_str());
    EXPECT_EQ(in.header().displayWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(9, 7)));
    EXPECT_EQ(in.header().dataWindow(), Imath::Box2i(Imath::V2i(3, 2), Imath::V2i(6, 4)));
    const Channel r = readChannel(path, "R");
    // File row j is host row j - 2, file column i host column i - 3.
    EXPECT_EQ(r.at(3, 2), 0.0f);
    EXPECT_EQ(r.at(6, 4), static_cast<float>(half(0.125f * 11)));
    EXPECT_EQ(r.at(4, 3), static_cast<float>(half(0.125f * 5)));
}

TEST_F(LayeredWriterTest, PreviewSizeAndEmbeddedPreview)
{
    {
        testsupport::FakeFrame big(1920, 1080);
        ravelcast::OpenEXRFilter &f = filter();
        devhost::TextBlockReader settings("{ PreviewScale 1 } { EmbedPreview 1 }");
        hostkit::LoadState load(settings.state());
        f.loadSettings(load, true);
        f.buffer("Final Render")->setActive(false);
        f.buffer("Alpha")->setActive(false);
        f.process(big.access());
        EXPECT_EQ(f.previewWidth(), 960);
        EXPECT_EQ(f.previewHeight(), 540);
    }
    testsupport::FakeFrame frame(8, 4);
    beauty(frame);
    frame.set(LWBUF_RED, std::vector<float>(32, 0.18f));
    ravelcast::OpenEXRFilter &f = filter();
    f.buffer("Final Render")->setActive(true);
    f.process(frame.access());
    EXPECT_EQ(f.previewWidth(), 4);
    Imf::InputFile in(out("shot007.exr").c_str());
    const auto *p = in.header().findTypedAttribute<Imf::PreviewImageAttribute>("preview");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->value().width(), 4u);
    EXPECT_EQ(p->value().height(), 2u);
    const Imf::PreviewRgba &px = p->value().pixel(1, 1);
    EXPECT_EQ(px.r, ravelcast::previewByte(0.18f));
    EXPECT_EQ(px.r, 84);
    EXPECT_EQ(px.b, ravelcast::previewByte(0.25f));
    EXPECT_EQ(px.a, 255);

    // "Custom Size" keeps the stored size.
    devhost::TextBlockReader custom("{ PreviewScale 5 } { PreviewWidth 3 } { PreviewHeight 1 }");
    hostkit::LoadState load(custom.state());
    f.loadSettings(load, true);
    f.process(frame.access());
    EXPECT_EQ(f.previewWidth(), 3);
    Imf::InputFile again(out("shot007.exr").c_str());
    EXPECT_EQ(again.header().findTypedAttribute<Imf::PreviewImageAttribute>("preview")->value().width(), 3u);
}

TEST_F(LayeredWriterTest, WrittenValuesAreTheProcessedHostValues)
{
    testsupport::FakeFrame frame(4, 2);
    beauty(frame);
    frame.set(LWBUF_DEPTH, {0, 25, 50, 100, 200, 2e30f, 75, 10});
    frame.set(LWBUF_MOTION_X, ramp(8, -2, 0.5f));
    frame.set(LWBUF_MOTION_Y, ramp(8, 3, -1));
    ravelcast::OpenEXRFilter &f = filter();
    OpenEXRBuffer &depth = *f.buffer("Depth");
    depth.setActive(true);
    depth.maximum().set(100.0);
    depth.setInvert(true);
    OpenEXRBuffer &motion = *f.buffer("Motion");
    motion.setActive(true);
    motion.setPixelType(Imf::FLOAT);
    motion.channel(1).setFlip(true);
    motion.gamma().set(2.0);
    f.process(frame.access());
    const std::string path = out("shot007.exr");
    const Channel z = readChannel(path, "Z");
    EXPECT_EQ(z.at(1, 0), 0.75f);
    EXPECT_EQ(z.at(3, 0), 0.0f);
    EXPECT_EQ(z.at(0, 1), -1.0f);
    const Channel mx = readChannel(path, "Motion.X");
    const Channel my = readChannel(path, "Motion.Y");
    EXPECT_EQ(mx.at(0, 1), std::pow(0.0f, 0.5f));
    EXPECT_EQ(mx.at(1, 1), std::pow(0.5f, 0.5f));
    EXPECT_TRUE(std::isnan(mx.at(0, 0))) << "a negative value with gamma";
    EXPECT_EQ(my.at(0, 0), -std::pow(3.0f, 0.5f)) << "flipped after gamma";
}

TEST_F(LayeredWriterTest, MissingHostLinesAreNeverRead)
{
    testsupport::FakeFrame frame(4, 2);
    // No colour and no alpha at all; Raw Colour with one of three channels.
    frame.set(6, std::vector<float>(8, 0.5f));
    ravelcast::OpenEXRFilter &f = filter();
    f.buffer("Raw Colour")->setActive(true);
    f.buffer("Raw Colour")->setUnmultiply(true);
    f.buffer("Raw Colour")->setFitDataWindow(true);
    f.buffer("Alpha")->setSaveAs(7);
    f.buffer("Alpha")->setFitDataWindow(true);
    f.process(frame.access());
    const std::string path = out("shot007.exr");
    EXPECT_EQ(readChannel(path, "R").at(0, 0), 0.0f) << "the library's default";
    EXPECT_TRUE(fs::exists(out("shotAlpha007.exr")));
    EXPECT_EQ(frame.rgb[0], -1.0f) << "no colour line, nothing handed back";
    EXPECT_EQ(frame.alpha[0], -1.0f);
}

TEST_F(LayeredWriterTest, FailuresHandTheFrameBackAndNameTheFile)
{
    testsupport::FakeFrame frame(4, 2);
    beauty(frame);
    ravelcast::OpenEXRFilter &f = filter();
    devhost::TextBlockReader settings("{ PostApplyDisplayGamma 1 } { DisplayGamma 2 }");
    hostkit::LoadState load(settings.state());
    f.loadSettings(load, true);

    // An empty channel name fails before any file is opened.
    OpenEXRBuffer &raw = *f.buffer("Raw Colour");
    raw.setActive(true);
    raw.setLayerName("");
    raw.channel(0).setChannelName("");
    try {
        f.process(frame.access());
        FAIL() << "no exception";
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "Image channel name cannot be an empty string.");
    }
    EXPECT_FALSE(fs::exists(out("shot007.exr")));
    EXPECT_EQ(frame.rgb[3], 0.125f) << "unchanged: no display gamma on failure";
    raw.setActive(false);

    // A folder that cannot be made: the message names the file and the cause.
    testsupport::writeFile(dir_.file("blocker"), "a file where a folder should be");
    host().scene().settings.rgbPrefix = dir_.file("blocker/shot");
    host().sceneChanged();
    f.buffer("Alpha")->setSaveAs(3); // the layered file first, then this image
    try {
        f.process(frame.access());
        FAIL() << "no exception";
    } catch (const std::exception &e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("Cannot open image file \"" + dir_.file("blocker/shot007.exr") + "\""),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("Win32OFStream::Win32OFStream() failed with error: "), std::string::npos)
            << text;
    }

    // The first file finished stays when a later one fails.
    host().scene().settings.rgbPrefix = dir_.file("out/shot");
    host().sceneChanged();
    f.buffer("Alpha")->setSaveAs(3);
    fs::create_directories(dir_.file("out"));
    fs::create_directories(out("shotAlpha007.exr")); // a folder where the image goes
    frame.rgb.assign(frame.rgb.size(), -1.0f);
    EXPECT_THROW(f.process(frame.access()), std::exception);
    Imf::InputFile kept(out("shot007.exr").c_str());
    EXPECT_TRUE(kept.isComplete());
    EXPECT_EQ(frame.rgb[3], 0.125f);

    // Without failures the display gamma is applied to the colour only.
    fs::remove_all(out("shotAlpha007.exr"));
    f.process(frame.access());
    EXPECT_FLOAT_EQ(frame.rgb[3], std::sqrt(0.125f));
    EXPECT_EQ(frame.alpha[1], 1.0f);
}

} // namespace
