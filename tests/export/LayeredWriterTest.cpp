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
#include "FakeFrame.h"
#include "devhost/BlockFile.h"
#include "export/EmbeddedPreview.h"

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
        f.process(hostkit::FrameAccess(big.access()));
        EXPECT_EQ(f.previewWidth(), 960);
        EXPECT_EQ(f.previewHeight(), 540);
    }
    testsupport::FakeFrame frame(8, 4);
    beauty(frame);
    frame.set(LWBUF_RED, std::vector<float>(32, 0.18f));
    ravelcast::OpenEXRFilter &f = filter();
    f.buffer("Final Render")->setActive(true);
    f.process(hostkit::FrameAccess(frame.access()));
    EXPECT_EQ(f.previewWidth(), 4);
    {
        // Closed before the next write: on Windows an open file is not replaced.
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
    }

    // "Custom Size" keeps the stored size.
    devhost::TextBlockReader custom("{ PreviewScale 5 } { PreviewWidth 3 } { PreviewHeight 1 }");
    hostkit::LoadState load(custom.state());
    f.loadSettings(load, true);
    f.process(hostkit::FrameAccess(frame.access()));
    EXPECT_EQ(f.previewWidth(), 3);
    Imf::InputFile again(out("shot007.exr").c_str());
    EXPECT_EQ(again.header().findTypedAttribute<Imf::PreviewImageAttribute>("preview")->value().width(), 3u);
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
    f.process(hostkit::FrameAccess(frame.access()));
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
        f.process(hostkit::FrameAccess(frame.access()));
        FAIL() << "no exception";
    } catch (const std::exception &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write \"" + out("shot007.exr") +
                                             "\": buffer \"Raw Colour\": Image channel name "
                                             "cannot be an empty string.");
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
        f.process(hostkit::FrameAccess(frame.access()));
        FAIL() << "no exception";
    } catch (const std::exception &e) {
        const std::string text = e.what();
        // The real cause, the folder's full path and what it was for.
        EXPECT_EQ(text, "Cannot create the folder \"" + dir_.file("blocker") +
                            "\" for the layered file: Not a directory")
            << text;
    }

    // The first file finished stays when a later one fails.
    host().scene().settings.rgbPrefix = dir_.file("out/shot");
    host().sceneChanged();
    f.buffer("Alpha")->setSaveAs(3);
    fs::create_directories(dir_.file("out"));
    fs::create_directories(out("shotAlpha007.exr")); // a folder where the image goes
    frame.rgb.assign(frame.rgb.size(), -1.0f);
    EXPECT_THROW(f.process(hostkit::FrameAccess(frame.access())), std::exception);
    {
        // Closed before the next write: on Windows an open file is not replaced.
        Imf::InputFile kept(out("shot007.exr").c_str());
        EXPECT_TRUE(kept.isComplete());
    }
    EXPECT_EQ(frame.rgb[3], 0.125f);

    // Without failures the display gamma is applied to the colour only.
    fs::remove_all(out("shotAlpha007.exr"));
    f.process(hostkit::FrameAccess(frame.access()));
    EXPECT_FLOAT_EQ(frame.rgb[3], std::sqrt(0.125f));
    EXPECT_EQ(frame.alpha[1], 1.0f);
}

} // namespace
