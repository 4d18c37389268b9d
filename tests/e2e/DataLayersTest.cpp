// What the user guide says of the data layers, read back from a rendered
// frame with OpenEXR: motion and depth as the host gives them, depth's
// backdrop in FLOAT and HALF, ids as unsigned integers; where motion points,
// that depth is planar and what remapping does to it, which space the
// normals are in, and what the beauty's alpha holds at the objects' edges.

#include <array>
#include <cmath>

#include <ImathMatrix.h>
#include <ImfChannelList.h>
#include <ImfMatrixAttribute.h>
#include <half.h>

#include "E2ESupport.h"

namespace {

using e2e::buffer;
using e2e::kEnd;
using e2e::kPlugin;
using e2e::readPlane;

class DataLayersTest : public e2e::RenderTest {};

// A camera at the origin looking down +z, level, at placed objects.
std::string levelCamera(const std::string &objects)
{
    return e2e::sceneHeader(objects + " { Camera { Name \"Cam\" } { Position 0 0 0 } "
                                      "{ Rotation 0 0 0 } } { RenderCamera \"Cam\" }");
}

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

TEST_F(DataLayersTest, MotionLeadsToWhereThePointIsOnTheNextFrame)
{
    // The built-in red ball (object 2) bounces upwards from frame 1 to 2.
    // A pixel of it on frame 1 moved by its motion, in pixels with y
    // downwards, lands on the ball on frame 2; moved the other way (towards
    // the previous frame) a band of it misses.
    constexpr int w = 320, h = 240;
    render(e2e::sceneHeader("{ Frames 1 2 1 }", "layout", w, h) + kPlugin +
           buffer("Motion", "{ PixelType 2 }") + buffer("Object ID", "") + kEnd);
    const auto id = readPlane(out("out/shot001.exr"), "ObjectID");
    const auto mx = readPlane(out("out/shot001.exr"), "Motion.X");
    const auto my = readPlane(out("out/shot001.exr"), "Motion.Y");
    const auto next = readPlane(out("out/shot002.exr"), "ObjectID");
    const auto onBall = [&](double x, double y) {
        const int ix = static_cast<int>(std::lround(x)), iy = static_cast<int>(std::lround(y));
        return ix >= 0 && ix < w && iy >= 0 && iy < h && next.uintAt(ix, iy) == 2;
    };
    int pixels = 0, forward = 0, backward = 0;
    double up = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (id.uintAt(x, y) == 2) {
                ++pixels;
                forward += onBall(x + mx.at(x, y), y + my.at(x, y));
                backward += onBall(x - mx.at(x, y), y - my.at(x, y));
                up += my.at(x, y);
            }
    ASSERT_GT(pixels, 1000) << "the frame shows the red ball";
    EXPECT_LT(up / pixels, -3.0) << "the ball rises: up is negative";
    EXPECT_GT(forward, pixels * 98 / 100);
    EXPECT_LT(backward, pixels * 90 / 100);
}

TEST_F(DataLayersTest, DepthIsPlanarAndRemappingKeepsTheNameZ)
{
    // A wall 5 m ahead, square to the view axis: one depth across it,
    // though its edges are farther from the eye than its middle.
    const std::string wall =
        "{ Object { Name \"Wall\" } { Shape \"plane\" } { Position 0 0 5 } { Rotation 0 90 0 } "
        "{ Size 3 } }";
    render(levelCamera(wall) + kPlugin + buffer("Depth", "{ PixelType 2 }") + kEnd);
    const std::string file = out("out/shot001.exr");
    const auto z = readPlane(file, "Z");
    int onWall = 0, backdrop = 0;
    Imath::Box2i wallBox;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            if (z.at(x, y) < 1e30f) {
                ASSERT_NEAR(z.at(x, y), 5.0f, 1e-5f) << x << "," << y;
                ++onWall;
                wallBox.extendBy(Imath::V2i(x, y));
            } else {
                ++backdrop;
            }
    EXPECT_GT(onWall, 200);
    EXPECT_GT(backdrop, 100) << "the wall does not fill the frame";
    EXPECT_GT(wallBox.max.x - wallBox.min.x, 16) << "the wall spans a wide angle";

    // Minimum, Maximum and Invert map the depth onto 0..1 (5 m of 3..8 is
    // 0.4, inverted 0.6); the channel is still called Z, the name readers
    // take for a distance. The backdrop stays far outside, negative when
    // inverted.
    const std::string remap = "{ Minimum { Value 3 } } { Maximum { Value 8 } } { Invert 1 }";
    render(levelCamera(wall) + kPlugin + buffer("Depth", "{ PixelType 2 } " + remap) + kEnd);
    EXPECT_EQ(e2e::channelsOf(e2e::headerOf(file)), std::vector<std::string>{"Z"});
    const auto matte = readPlane(file, "Z");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            if (z.at(x, y) < 1e30f)
                ASSERT_NEAR(matte.at(x, y), 0.6f, 1e-6f) << x << "," << y;
            else
                ASSERT_LT(matte.at(x, y), -1e29f) << x << "," << y;
    // In HALF that backdrop is an infinity.
    render(levelCamera(wall) + kPlugin + buffer("Depth", "{ PixelType 1 } " + remap) + kEnd);
    const auto halfMatte = readPlane(file, "Z");
    EXPECT_TRUE(std::isinf(halfMatte.at(0, 0)) && halfMatte.at(0, 0) < 0);
    // A remapped depth renamed so that no reader takes it for a distance;
    // fitted by the host's depth, not by the remapped values (which hold
    // "data" on the backdrop too).
    render(levelCamera(wall) + kPlugin +
           buffer("Depth", remap + " { FitDataWindow 1 } { EXRBufferName \"DepthMatte\" } "
                                   "{ Channel { Name \"Depth\" } { Settings { EXRChannelName \"Y\" } } }") +
           kEnd);
    const Imf::Header renamed = e2e::headerOf(file);
    EXPECT_EQ(e2e::channelsOf(renamed), std::vector<std::string>{"DepthMatte.Y"});
    EXPECT_EQ(renamed.dataWindow(), wallBox);
}

TEST_F(DataLayersTest, NormalsAreInTheHostsWorld)
{
    // An unturned box seen by a camera turned 34 degrees and pitched down
    // 20: every face shows its world axis, not one turned with the camera.
    render(e2e::sceneHeader(
               "{ Object { Name \"Box\" } { Shape \"box\" } { Position 0 0.5 3 } { Size 1 } } "
               "{ Camera { Name \"Cam\" } { Position -2 2 0 } { Rotation 34 20 0 } } "
               "{ RenderCamera \"Cam\" }",
               "layout", 96, 64) +
           kPlugin + buffer("Surface Normal", "") + buffer("Object ID", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    const auto id = readPlane(file, "ObjectID");
    const auto nx = readPlane(file, "N.X"), ny = readPlane(file, "N.Y"), nz = readPlane(file, "N.Z");
    const Imath::V3f faces[3] = {{0, 1, 0}, {0, 0, -1}, {-1, 0, 0}}; // top, front, left
    int seen[3] = {0, 0, 0};
    const auto toCamera = e2e::headerOf(file).typedAttribute<Imf::M44fAttribute>("worldToCamera").value();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
            const Imath::V3f n(nx.at(x, y), ny.at(x, y), nz.at(x, y));
            if (id.uintAt(x, y) != 1) {
                ASSERT_EQ(n, Imath::V3f(0, 0, 0)) << "no normal off the box at " << x << "," << y;
                continue;
            }
            int face = 0;
            while (face < 3 && (n - faces[face]).length() > 1e-3f)
                ++face;
            ASSERT_LT(face, 3) << n << " at " << x << "," << y;
            ++seen[face];
            // What a compositor does for camera-space normals: the header's
            // worldToCamera turns them; the faces then point back at the
            // camera, which looks down +z.
            Imath::V3f inCamera;
            toCamera.multDirMatrix(n, inCamera);
            ASSERT_LT(inCamera.z, -0.3f) << n << " at " << x << "," << y;
        }
    EXPECT_GT(seen[0], 20) << "the top";
    EXPECT_GT(seen[1], 20) << "the front";
    EXPECT_GT(seen[2], 20) << "the left side";
}

TEST_F(DataLayersTest, TheBeautyHoldsTheBackdropWhereItsAlphaIsZero)
{
    // The built-in scene: balls and a box on a plate under the sky.
    constexpr int w = 96, h = 64;
    render(e2e::sceneHeader("", "layout", w, h) + kPlugin + buffer("Final Render", "") +
           buffer("Alpha", "") + buffer("Object ID", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    const auto a = readPlane(file, "A"), id = readPlane(file, "ObjectID");
    const std::array<e2e::Plane, 3> rgb = {readPlane(file, "R"), readPlane(file, "G"),
                                           readPlane(file, "B")};
    const std::array<e2e::Plane, 3> host = {readPlane(dump(1), "B32"), readPlane(dump(1), "B33"),
                                            readPlane(dump(1), "B34")};
    int edges = 0, glass = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(rgb[c].at(x, y), static_cast<float>(half(host[c].at(x, y))))
                    << "the host's colour as it is";
            if (id.uintAt(x, y) == 4 && a.at(x, y) < 1.0f) {
                // Glass showing the backdrop: partly covered, its colour
                // what is seen through it.
                EXPECT_GT(a.at(x, y), 0.0f);
                ++glass;
                continue;
            }
            // One sample per pixel: an edge is covered or not.
            ASSERT_TRUE(a.at(x, y) == 0.0f || a.at(x, y) == 1.0f) << x << "," << y;
            ASSERT_EQ(a.at(x, y) == 1.0f, id.uintAt(x, y) != 0) << x << "," << y;
            if (x + 1 < w && a.at(x, y) + a.at(x + 1, y) == 1.0f && id.uintAt(x + 1, y) != 4) {
                // Across an object's edge the uncovered side holds the
                // backdrop, not black: the colour is not premultiplied.
                const int empty = a.at(x, y) == 0.0f ? x : x + 1;
                ++edges;
                for (int c = 0; c < 3; ++c)
                    ASSERT_GT(rgb[c].at(empty, y), 0.1f) << empty << "," << y;
            }
        }
    EXPECT_GT(edges, 20) << "the objects' edges against the backdrop";
    EXPECT_GT(glass, 0) << "the glass ball shows the backdrop";
}

} // namespace
