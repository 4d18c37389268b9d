// What the user guide says of the data layers, read back from a rendered
// frame with OpenEXR: motion and depth as the host gives them, depth's
// backdrop in FLOAT and HALF, ids as unsigned integers.

#include <cmath>

#include <ImfChannelList.h>
#include <half.h>

#include "E2ESupport.h"

namespace {

using e2e::buffer;
using e2e::kEnd;
using e2e::kPlugin;
using e2e::readPlane;

class DataLayersTest : public e2e::RenderTest {};

TEST_F(DataLayersTest, MeasuresAreTheHostsOwnInTheirPixelTypes)
{
    render(e2e::sceneHeader() + kPlugin + buffer("Motion", "") + buffer("Depth", "{ PixelType 2 }") +
           buffer("Object ID", "") + buffer("Surface Normal", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    const Imf::Header h = e2e::headerOf(file);
    EXPECT_EQ(h.channels().findChannel("Motion.X")->type, Imf::HALF);
    EXPECT_EQ(h.channels().findChannel("Z")->type, Imf::FLOAT);
    EXPECT_EQ(h.channels().findChannel("ObjectID")->type, Imf::UINT) << "ids are whole numbers";

    // Motion: the host's pixels towards the next frame, x right and y down,
    // unchanged but for HALF; depth: the host's distance along the view
    // axis, its backdrop (1e30) kept in FLOAT; normals as the host gives them.
    const auto mx = readPlane(file, "Motion.X"), hmx = readPlane(dump(1), "B15");
    const auto my = readPlane(file, "Motion.Y"), hmy = readPlane(dump(1), "B16");
    const auto z = readPlane(file, "Z"), hz = readPlane(dump(1), "B12");
    const auto ny = readPlane(file, "N.Y"), hny = readPlane(dump(1), "B41");
    int backdrop = 0, moving = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(mx.at(x, y), static_cast<float>(half(hmx.at(x, y))));
            ASSERT_EQ(my.at(x, y), static_cast<float>(half(hmy.at(x, y))));
            ASSERT_EQ(z.at(x, y), hz.at(x, y));
            ASSERT_EQ(ny.at(x, y), static_cast<float>(half(hny.at(x, y))));
            backdrop += hz.at(x, y) >= 1e30f;
            moving += hmx.at(x, y) != 0.0f || hmy.at(x, y) != 0.0f;
        }
    EXPECT_GT(backdrop, 0) << "the frame shows the backdrop";
    EXPECT_GT(moving, 0) << "something moves";

    // In HALF the backdrop's depth is beyond the largest half: infinity.
    std::filesystem::remove_all(out("out"));
    render(e2e::sceneHeader() + kPlugin + buffer("Depth", "{ PixelType 1 }") + kEnd);
    const auto halfZ = readPlane(out("out/shot001.exr"), "Z"), hostZ = readPlane(dump(1), "B12");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            if (hostZ.at(x, y) >= 1e30f)
                ASSERT_TRUE(std::isinf(halfZ.at(x, y)) && halfZ.at(x, y) > 0) << x << "," << y;
            else
                ASSERT_EQ(halfZ.at(x, y), static_cast<float>(half(hostZ.at(x, y))));
}

TEST_F(DataLayersTest, NativeSeparateImagesCarryNoAlpha)
{
    // "Image+Alpha" adds the alpha to a host saver's image; a native OpenEXR
    // image holds the buffer's own channels only.
    render(e2e::sceneHeader() + kPlugin + buffer("Final Render", "{ SaveAs 6 }") +
           buffer("Diffuse Colour", "{ SaveAs 6 }") + kEnd);
    const std::vector<std::string> files = e2e::filesIn(out("out"));
    ASSERT_EQ(files.size(), 2u) << ::testing::PrintToString(files);
    for (const std::string &name : files) {
        const std::vector<std::string> channels = e2e::channelsOf(e2e::headerOf(out("out/" + name)));
        EXPECT_EQ(channels.size(), 3u) << name << ": " << ::testing::PrintToString(channels);
        for (const std::string &c : channels)
            EXPECT_TRUE(c != "A" && (c.size() < 2 || c.compare(c.size() - 2, 2, ".A") != 0))
                << name << ": " << c;
    }
}

} // namespace
