// The plan of a frame from plain data (settings, buffers and facts given
// by hand): windows, file names and which buffer goes where, without a host
// and without rendering anything.

#include <ImfCompression.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/BufferCatalogue.h"
#include "export/FilterSettings.h"
#include "export/FramePlan.h"
#include "export/FrameWriter.h"
#include "export/OpenEXRBuffer.h"
#include "hostkit/utility/Platform.h"

namespace {

using ravelcast::FrameFacts;
using ravelcast::OpenEXRBuffer;
using ravelcast::FramePlan;
using ravelcast::PlannedFile;

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
    EXPECT_EQ(plan.files[1].fileName, "out/shotRaw007.exr");
    EXPECT_EQ(plan.files[1].dataWindow, box(30, 40, 31, 41));
    EXPECT_EQ(plan.files[2].fileName, "out/shotDepth007.exr");
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

} // namespace
