// The plan of a frame from plain data (settings, buffers and facts given
// by hand): windows, file names and which buffer goes where, without a host
// and without rendering anything.

#include <ImfChannelList.h>
#include <ImfCompression.h>
#include <ImfPartType.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfStringAttribute.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "export/BufferCatalogue.h"
#include "export/FilterSettings.h"
#include "export/FrameHeaders.h"
#include "export/FramePlan.h"
#include "export/FrameWriter.h"
#include "export/OpenEXRBuffer.h"
#include "exrio/ExrFiles.h"
#include "hostkit/utility/Platform.h"

namespace {

using ravelcast::FrameFacts;
using ravelcast::OpenEXRBuffer;
using ravelcast::FramePlan;
using ravelcast::PlannedFile;

std::vector<std::string> channelNames(const Imf::Header &h)
{
    std::vector<std::string> names;
    for (auto c = h.channels().begin(); c != h.channels().end(); ++c)
        names.push_back(c.name());
    return names;
}

std::string text(const Imf::Header &h, const char *name)
{
    const auto *a = h.findTypedAttribute<Imf::StringAttribute>(name);
    return a ? a->value() : "<missing>";
}

Imath::Box2i box(int x0, int y0, int x1, int y1) { return {Imath::V2i(x0, y0), Imath::V2i(x1, y1)}; }

FrameFacts facts(int w, int h)
{
    FrameFacts f;
    f.width = w;
    f.height = h;
    f.display = box(0, 0, w - 1, h - 1);
    f.frame = 7;
    f.names.sceneName = "shot.lws";
    f.names.cameraName = "Camera";
    f.renderPath = "out/shot";
    return f;
}

// Every buffer of the catalogue, inactive, as a filter makes them.
std::vector<hostkit::Ref<OpenEXRBuffer>> catalogueBuffers()
{
    std::vector<hostkit::Ref<OpenEXRBuffer>> buffers;
    for (const ravelcast::CatalogueRow &row : ravelcast::catalogue()) {
        if (row.depth)
            buffers.emplace_back(new ravelcast::DepthBuffer(row.definition, nullptr));
        else
            buffers.emplace_back(new OpenEXRBuffer(row.definition, nullptr));
        buffers.back()->setActive(false);
    }
    return buffers;
}

OpenEXRBuffer &named(const std::vector<hostkit::Ref<OpenEXRBuffer>> &buffers,
                     const std::string &name)
{
    for (const auto &b : buffers)
        if (b->displayName() == name)
            return *b;
    throw std::runtime_error("no buffer " + name);
}

// Files named "out/shot..." whatever the render path.
ravelcast::FilterSettings outShot()
{
    ravelcast::FilterSettings s;
    s.useRGBPrefix = false;
    s.outputFile.set("out/shot");
    return s;
}

// Without a host: the settings and buffers are plain data made here.
TEST(FramePlanTest, WindowsNamesAndBuffersOfAFrame)
{
    ravelcast::FilterSettings settings;
    settings.previewScale = 1;
    const auto buffers = catalogueBuffers();
    named(buffers, "Final Render").setActive(true);
    OpenEXRBuffer &alpha = named(buffers, "Alpha");
    alpha.setActive(true);
    alpha.setFitDataWindow(true);
    OpenEXRBuffer &depth = named(buffers, "Depth");
    depth.setActive(true);
    depth.setSaveAs(ravelcast::kSaveImage);
    OpenEXRBuffer &raw = named(buffers, "Raw Colour");
    raw.setActive(true);
    raw.setSaveAs(ravelcast::kSaveLayer | ravelcast::kSaveImage);
    raw.setFitDataWindow(true);

    // A limited region of a 100 x 80 frame: the delivered lines are its own.
    FrameFacts region = facts(20, 10);
    region.display = box(0, 0, 99, 79);
    region.region = true;
    region.regionBox = box(30, 40, 49, 49);
    region.x0 = 30;
    region.y0 = 40;
    FramePlan plan = ravelcast::planFrame(region, settings, buffers);
    EXPECT_EQ(plan.display, box(0, 0, 99, 79));
    EXPECT_EQ(plan.previewWidth, 10);
    EXPECT_EQ(plan.progressTotal, 1u) << "10 rows of 3 files";
    ASSERT_EQ(plan.files.size(), 3u);
    EXPECT_EQ(plan.files[0].kind, PlannedFile::Layered);
    EXPECT_EQ(plan.files[0].fileName, "out/shot007.exr");
    EXPECT_EQ(plan.files[0].buffers.size(), 3u) << "Final Render, Alpha and Raw as layers";
    EXPECT_EQ(plan.files[0].dataWindow, box(30, 40, 31, 41))
        << "fitted layers without data: 2 x 2 at the region's corner";
    // Separate images in catalogue order.
    EXPECT_EQ(plan.files[1].fileName, testsupport::nativePath("out/shotRaw007.exr"));
    EXPECT_EQ(plan.files[1].dataWindow, box(30, 40, 31, 41));
    EXPECT_EQ(plan.files[2].fileName, testsupport::nativePath("out/shotDepth007.exr"));
    EXPECT_EQ(plan.files[2].dataWindow, region.regionBox);
    EXPECT_TRUE(plan.writes);

    // A measured window is shifted to where the region sits.
    alpha.setDataWindow(box(2, 3, 5, 6));
    EXPECT_EQ(ravelcast::planFrame(region, settings, buffers).files[0].dataWindow,
              box(32, 43, 35, 46));

    // "VIPER only" writes nothing in Layout, everything on a render node.
    ravelcast::FilterSettings viper;
    viper.layoutRenderMode = ravelcast::kViperOnly;
    const auto only = catalogueBuffers();
    named(only, "Final Render").setActive(true);
    FrameFacts frame = facts(1000, 600);
    EXPECT_FALSE(ravelcast::planFrame(frame, viper, only).writes);
    frame.renderNode = true;
    const FramePlan node = ravelcast::planFrame(frame, viper, only);
    EXPECT_TRUE(node.writes);
    EXPECT_EQ(node.files.at(0).dataWindow, frame.display);
    EXPECT_EQ(node.progressTotal, 3u);
    EXPECT_EQ(node.previewWidth, 250) << "the default preview scale, a quarter";

    // Not the render path: the output file names the files.
    viper.useRGBPrefix = false;
    viper.outputFile.set("elsewhere/take");
    EXPECT_EQ(ravelcast::planFrame(frame, viper, only).files.at(0).fileName,
              "elsewhere" + std::string(1, hostkit::kPathSeparator) + "take007.exr");

    // Bands are whole line buffers, one per thread.
    EXPECT_EQ(ravelcast::bandRows(Imf::ZIP_COMPRESSION, 0), 16);
    EXPECT_EQ(ravelcast::bandRows(Imf::ZIP_COMPRESSION, 2), 32);
    EXPECT_EQ(ravelcast::bandRows(Imf::DWAB_COMPRESSION, 1), 256);
    EXPECT_EQ(ravelcast::bandRows(Imf::PIZ_COMPRESSION, 0), 32);
}

TEST(FramePlanTest, HeadersOfAPlannedFrame)
{
    ravelcast::FilterSettings f = outShot();
    f.compression = Imf::DWAA_COMPRESSION;
    f.multiPart = true;
    const auto buffers = catalogueBuffers();
    for (const char *name : {"Final Render", "Alpha", "Raw Colour", "Surface Normal"})
        named(buffers, name).setActive(true);
    named(buffers, "Raw Colour").setSaveAs(ravelcast::kSaveLayer | ravelcast::kSaveImage);
    FrameFacts frame = facts(48, 32);
    frame.pixelAspect = 1.25f;
    const FramePlan plan = ravelcast::planFrame(frame, f, buffers);
    ASSERT_EQ(plan.files.size(), 2u);
    ravelcast::RenderFacts render;
    render.owner = "artist";
    render.captureDate = "2010:02:03 14:05:09";
    render.scene = hostkit::SceneFacts();
    render.scene->name = "shot.lws";
    Imf::PreviewImage preview(12, 8);
    ravelcast::HeaderSettings settings;
    settings.dwaLevel = 80.0;
    settings.comment = "take 2";
    settings.author = "ada";

    const ravelcast::FileHeaders layered =
        ravelcast::fileHeaders(plan, plan.files[0], settings, render, preview);
    const Imf::Header &h = layered.header;
    EXPECT_EQ(h.displayWindow(), frame.display);
    EXPECT_EQ(h.dataWindow(), plan.files[0].dataWindow);
    EXPECT_FLOAT_EQ(h.pixelAspectRatio(), 1.25f);
    EXPECT_EQ(h.compression(), Imf::DWAA_COMPRESSION);
    EXPECT_FLOAT_EQ(h.dwaCompressionLevel(), 80.f);
    EXPECT_EQ(text(h, "comments"), "take 2");
    EXPECT_EQ(text(h, "author"), "ada");
    EXPECT_EQ(text(h, "owner"), "artist");
    EXPECT_EQ(text(h, "LightWaveScene"), "shot.lws");
    EXPECT_EQ(text(h, "capDate"), "2010:02:03 14:05:09");
    ASSERT_NE(h.findTypedAttribute<Imf::PreviewImageAttribute>("preview"), nullptr);
    EXPECT_EQ(h.typedAttribute<Imf::PreviewImageAttribute>("preview").value().width(), 12u);
    std::vector<std::string> planned;
    for (const ravelcast::PlannedBuffer &b : plan.files[0].buffers)
        for (const auto &names : b.names)
            planned.insert(planned.end(), names.begin(), names.end());
    std::sort(planned.begin(), planned.end());
    EXPECT_EQ(channelNames(h), planned);
    EXPECT_EQ(channelNames(h),
              (std::vector<std::string>{"A", "B", "G", "N.X", "N.Y", "N.Z", "R", "Raw.B", "Raw.G",
                                        "Raw.R"}));

    // One part per layer in the order the layers come, the base channels
    // first, each part a scan-line image with the file's attributes.
    const std::vector<std::pair<std::string, std::vector<std::string>>> want = {
        {"Base", {"A", "B", "G", "R"}},
        {"Raw", {"Raw.B", "Raw.G", "Raw.R"}},
        {"N", {"N.X", "N.Y", "N.Z"}}};
    ASSERT_EQ(layered.parts.size(), want.size());
    for (std::size_t p = 0; p < want.size(); ++p) {
        const Imf::Header &part = layered.parts[p].header;
        EXPECT_EQ(part.name(), want[p].first);
        EXPECT_EQ(part.type(), Imf::SCANLINEIMAGE);
        EXPECT_EQ(channelNames(part), want[p].second);
        EXPECT_EQ(text(part, "comments"), "take 2");
        EXPECT_EQ(part.dataWindow(), h.dataWindow());
        EXPECT_EQ(part.compression(), Imf::DWAA_COMPRESSION);
    }
    EXPECT_EQ(layered.parts[0].buffers.size(), 2u);
    EXPECT_EQ(layered.parts[2].buffers.size(), 1u);
    EXPECT_EQ(layered.parts[2].buffers[0]->displayName(), "Surface Normal");

    // A separate image: one part, its buffer's comment (none here), no
    // preview unless given.
    const ravelcast::FileHeaders image =
        ravelcast::fileHeaders(plan, plan.files[1], settings, render, std::nullopt);
    EXPECT_TRUE(image.parts.empty());
    EXPECT_EQ(image.header.findTypedAttribute<Imf::StringAttribute>("comments"), nullptr);
    EXPECT_EQ(image.header.findTypedAttribute<Imf::PreviewImageAttribute>("preview"), nullptr);
    EXPECT_EQ(text(image.header, "author"), "ada");
    EXPECT_EQ(channelNames(image.header), (std::vector<std::string>{"B", "G", "R"}));
}

// A channel name OpenEXR cannot hold stops the headers before any file,
// naming the file and the buffer.
TEST(FramePlanTest, ChannelNamesOpenEXRCannotHoldStopTheHeaders)
{
    const ravelcast::FilterSettings f = outShot();
    const auto buffers = catalogueBuffers();
    named(buffers, "Final Render").setActive(true);
    const FramePlan plan = ravelcast::planFrame(facts(8, 8), f, buffers);
    ravelcast::HeaderSettings settings;
    settings.dwaLevel = 45.0;
    const ravelcast::RenderFacts render;
    FramePlan longest = plan;
    longest.files[0].buffers[0].names[0] = {std::string(255, 'L')};
    EXPECT_NE(ravelcast::fileHeaders(longest, longest.files[0], settings, render, std::nullopt)
                  .header.channels()
                  .findChannel(std::string(255, 'L')),
              nullptr);
    FramePlan tooLong = plan;
    tooLong.files[0].buffers[0].names[0] = {std::string(256, 'L')};
    try {
        ravelcast::fileHeaders(tooLong, tooLong.files[0], settings, render, std::nullopt);
        ADD_FAILURE() << "a 256-byte channel name was taken";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot write \"" + testsupport::nativePath("out/shot007.exr") +
                                                  "\": buffer \"Final Render\": the channel name",
                                              0),
                  0u)
            << e.what();
    }
}

} // namespace

// Every attribute the filter stamps must be one the fast ZIP writer carries:
// otherwise its files quietly go back to the library's slower writer.
TEST(FramePlanTest, ZipFilesWithEveryAttributeGoThroughTheLineOutput)
{
    for (const bool multiPart : {false, true}) {
        SCOPED_TRACE(multiPart ? "one part per layer" : "one part");
        ravelcast::FilterSettings f = outShot();
        f.compression = Imf::ZIP_COMPRESSION;
        f.multiPart = multiPart;
        f.colourSpace = ravelcast::kACEScg;
        const auto buffers = catalogueBuffers();
        for (const char *name : {"Final Render", "Alpha", "Depth", "Object ID", "Surface Normal"})
            named(buffers, name).setActive(true);
        const FramePlan plan = ravelcast::planFrame(facts(48, 32), f, buffers);
        ravelcast::RenderFacts render;
        render.owner = "artist";
        render.computerName = "node7";
        render.captureDate = "2010:02:03 14:05:09";
        render.scene = hostkit::SceneFacts();
        render.scene->name = "shot.lws";
        render.scene->framesPerSecond = 24;
        render.scene->frameWidth = 48;
        render.scene->frameHeight = 32;
        render.camera = hostkit::CameraOptics{35.0, 4.0, 2.8, 0.5};
        hostkit::CameraPlacement camera;
        camera.zoomFactor = 3.2;
        camera.filmWidth = 36.0;
        camera.filmHeight = 24.0;
        camera.stereo = true;
        render.cameraPlacement = camera;
        ravelcast::HeaderSettings settings;
        settings.comment = "take 2";
        settings.author = "ada";
        settings.choices = f.headerChoices();
        settings.userMetadata = {{"shot", ravelcast::kUserText, "sh010"},
                                 {"take", ravelcast::kUserInteger, "3"},
                                 {"fps", ravelcast::kUserFloat, "23.976"}};
        const ravelcast::FileHeaders headers =
            ravelcast::fileHeaders(plan, plan.files.at(0), settings, render, Imf::PreviewImage(4, 4));
        for (const char *name : {"worldToNDC", "chromaticities", "view", "take", "preview"})
            EXPECT_NE(headers.header.find(name), headers.header.end()) << name;
        EXPECT_TRUE(ravelcast::ExrLineOutput::carries(headers.header));
        if (multiPart) {
            std::vector<Imf::Header> parts;
            for (const ravelcast::PartHeader &p : headers.parts)
                parts.push_back(p.header);
            EXPECT_GT(parts.size(), 1u);
            EXPECT_TRUE(ravelcast::ExrLineOutput::carries(parts));
        }
    }
}
