// The plan of a frame from facts given by hand: windows, file names and
// which buffer goes where, without rendering anything.

#include <ImfCompression.h>

#include "ExportTest.h"
#include "devhost/BlockFile.h"
#include "export/FramePlan.h"
#include "export/FrameWriter.h"

namespace {

using ravelcast::FrameFacts;
using ravelcast::FramePlan;
using ravelcast::PlannedFile;

Imath::Box2i box(int x0, int y0, int x1, int y1) { return {Imath::V2i(x0, y0), Imath::V2i(x1, y1)}; }

class FramePlanTest : public ExportTest {
protected:
    ravelcast::OpenEXRFilter &filter(const std::string &settings)
    {
        ravelcast::OpenEXRFilter &f = makeFilter();
        devhost::TextBlockReader reader(settings);
        hostkit::LoadState load(reader.state());
        EXPECT_EQ(f.loadSettings(load, false), "");
        return f;
    }
    FrameFacts facts(int w, int h)
    {
        FrameFacts f;
        f.width = w;
        f.height = h;
        f.display = box(0, 0, w - 1, h - 1);
        f.frame = 7;
        f.names.sceneName = "shot.lws";
        f.names.cameraName = "Camera";
        return f;
    }
};

TEST_F(FramePlanTest, WindowsNamesAndBuffersOfAFrame)
{
    ravelcast::OpenEXRFilter &f =
        filter("{ useRGBPrefix 0 } { FileName \"out/shot\" } { PreviewScale 1 } "
               "{ Buffer { Name \"Final Render\" } { Settings { Active 1 } } } "
               "{ Buffer { Name \"Alpha\" } { Settings { Active 1 } { FitDataWindow 1 } } } "
               "{ Buffer { Name \"Depth\" } { Settings { Active 1 } { SaveAs 2 } } } "
               "{ Buffer { Name \"Raw Colour\" } { Settings { Active 1 } { SaveAs 3 } "
               "{ FitDataWindow 1 } } }");
    // A limited region of a 100 x 80 frame: the delivered lines are its own.
    FrameFacts region = facts(20, 10);
    region.display = box(0, 0, 99, 79);
    region.region = true;
    region.regionBox = box(30, 40, 49, 49);
    region.x0 = 30;
    region.y0 = 40;
    FramePlan plan = ravelcast::planFrame(region, f);
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

    // "VIPER only" writes nothing in Layout, everything on a render node.
    ravelcast::OpenEXRFilter &viper =
        filter("{ LayoutRenderMode 1 } { Buffer { Name \"Final Render\" } { Settings { Active 1 } } }");
    FrameFacts frame = facts(1000, 600);
    EXPECT_FALSE(ravelcast::planFrame(frame, viper).writes);
    frame.renderNode = true;
    const FramePlan node = ravelcast::planFrame(frame, viper);
    EXPECT_TRUE(node.writes);
    EXPECT_EQ(node.files.at(0).dataWindow, frame.display);
    EXPECT_EQ(node.progressTotal, 3u);
    EXPECT_EQ(node.previewWidth, 250) << "the default preview scale, a quarter";

    // Bands are whole line buffers, one per thread.
    EXPECT_EQ(ravelcast::bandRows(Imf::ZIP_COMPRESSION, 0), 16);
    EXPECT_EQ(ravelcast::bandRows(Imf::ZIP_COMPRESSION, 2), 32);
    EXPECT_EQ(ravelcast::bandRows(Imf::DWAB_COMPRESSION, 1), 256);
    EXPECT_EQ(ravelcast::bandRows(Imf::PIZ_COMPRESSION, 0), 32);
}

} // namespace
