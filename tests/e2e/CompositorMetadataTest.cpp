// What compositors read beyond the pixels, in files the real module wrote
// for placed scenes and read back with the OpenEXR library: the camera
// matrices against the Object ID buffer, the lens, the colour space (the
// filter's and the saver's), and each stereo eye's view and matrices.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ImathMatrix.h>
#include <ImfChromaticitiesAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfMatrixAttribute.h>
#include <ImfStringAttribute.h>

#include "E2ESupport.h"

namespace {

using V3 = Imath::V3d;

constexpr double kPi = 3.14159265358979323846;
constexpr int kWidth = 96, kHeight = 64;
constexpr double kPixelAspect = 1.3;

// A rig turned 30 degrees carries a ball and the camera (itself turned,
// pitched and banked); a ground plane below.
std::string placedScene(const std::string &camera, const std::string &filter)
{
    return e2e::sceneHeader(
               "{ PixelAspect 1.3 } "
               "{ Surface { Name \"Paint\" } { Colour 0.1 0.6 0.2 } } "
               "{ Object { Name \"Rig\" } { Shape \"null\" } { Position 0.5 0 0 } { Rotation 30 0 0 } } "
               "{ Object { Name \"Ball\" } { Shape \"sphere\" } { Position 0 0.5 2 } { Surface \"Paint\" } "
               "{ Parent \"Rig\" } } "
               "{ Object { Name \"Ground\" } { Shape \"plane\" } { Size 8 } } "
               "{ Camera { Name \"Cam\" } { Position 0 1.2 -4 } { Rotation 5 8 12 } { ZoomFactor 2.5 } "
               "{ Parent \"Rig\" } " + camera + " } { RenderCamera \"Cam\" }",
               "layout", kWidth, kHeight) +
           e2e::kPlugin + "{ useRGBPrefix 1 }\n" + filter +
           e2e::buffer("Final Render", "{ SaveAs 1 }") +
           e2e::buffer("Object ID", "{ SaveAs 3 } { PixelType 2 }") + e2e::kEnd;
}

// Worked out here from the scene text, not asked of the host.
const double kRig = 30 * kPi / 180;
const V3 kBall(0.5 + 2 * std::sin(kRig), 0.5, 2 * std::cos(kRig));
const V3 kCamera(0.5 - 4 * std::sin(kRig), 1.2, -4 * std::cos(kRig));

Imath::M44d matrix(const Imf::Header &h, const char *name)
{
    const auto *a = h.findTypedAttribute<Imf::M44fAttribute>(name);
    EXPECT_TRUE(a) << name;
    return a ? Imath::M44d(a->value()) : Imath::M44d();
}

V3 times(const V3 &p, const Imath::M44d &m)
{
    V3 out;
    m.multVecMatrix(p, out); // p * M, divided by w
    return out;
}

// The rotation part is orthonormal and keeps handedness; the translation
// takes `origin` to (0, 0, 0).
void expectRigid(const Imath::M44d &m, const V3 &origin)
{
    Imath::M33d r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = m[i][j];
    const Imath::M33d rrt = r * r.transposed();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(rrt[i][j], i == j ? 1.0 : 0.0, 1e-6);
    EXPECT_NEAR(r.determinant(), 1.0, 1e-6);
    EXPECT_NEAR(m[0][3], 0, 0);
    EXPECT_NEAR(m[3][3], 1, 0);
    const V3 o = times(origin, m);
    EXPECT_NEAR(o.length(), 0, 1e-5) << o;
}

// The Object ID at the pixel a world point lands on through worldToNDC.
int objectIdWhere(const std::string &file, const V3 &point, const Imath::M44d &toNDC)
{
    const V3 ndc = times(point, toNDC);
    const int x = static_cast<int>(std::floor(ndc.x * kWidth));
    const int y = static_cast<int>(std::floor(ndc.y * kHeight));
    EXPECT_TRUE(x >= 0 && x < kWidth && y >= 0 && y < kHeight) << ndc;
    const e2e::Plane ids = e2e::readPlane(file, "ObjectID");
    EXPECT_TRUE(ids.present);
    if (!ids.present || x < 0 || x >= kWidth || y < 0 || y >= kHeight)
        return -1;
    return static_cast<int>(ids.values[static_cast<std::size_t>(y * ids.width() + x)]);
}

bool has(const Imf::Header &h, const char *name) { return h.find(name) != h.end(); }

class CompositorMetadataTest : public e2e::RenderTest {};

TEST_F(CompositorMetadataTest, MatricesPutThePlacedBallOnItsPixel)
{
    render(placedScene("", ""));
    const std::string file = out("out/shot001.exr");
    const Imf::Header h = e2e::headerOf(file);
    // The ball is object 2 (the null rig is 1); its centre lands on it.
    const Imath::M44d toNDC = matrix(h, "worldToNDC");
    EXPECT_EQ(objectIdWhere(file, kBall, toNDC), 2);
    // A point of the ground far to the ball's side lands on the ground.
    const V3 ground = kBall + V3(-std::cos(kRig), -0.5, std::sin(kRig)) * 1.2;
    EXPECT_EQ(objectIdWhere(file, ground, toNDC), 3);
    const Imath::M44d toCamera = matrix(h, "worldToCamera");
    expectRigid(toCamera, kCamera);
    // The ball is ahead of the camera in its own space (z forward).
    EXPECT_GT(times(kBall, toCamera).z, 0);
    // worldToNDC is worldToCamera followed by the projection: the centre
    // of the view axis lands in the display window's middle.
    const V3 ahead = kCamera + V3(toCamera[0][2], toCamera[1][2], toCamera[2][2]) * 3.0;
    EXPECT_NEAR(times(ahead, toNDC).x, 0.5, 1e-5);
    EXPECT_NEAR(times(ahead, toNDC).y, 0.5, 1e-5);

    // The lens: the focal length of zoom 2.5 on the 36 mm film, and the
    // film's height from the frame's aspect.
    EXPECT_FLOAT_EQ(h.typedAttribute<Imf::FloatAttribute>("FocalLength").value(), 45.0f);
    EXPECT_FLOAT_EQ(h.typedAttribute<Imf::FloatAttribute>("FilmApertureHorizontal").value(), 36.0f);
    EXPECT_FLOAT_EQ(h.typedAttribute<Imf::FloatAttribute>("FilmApertureVertical").value(),
                    static_cast<float>(36.0 / (kWidth * kPixelAspect / kHeight)));
    EXPECT_EQ(has(h, "view"), false) << "a mono camera has no view";

    // The separate Object ID image carries the same matrices.
    const Imf::Header image = e2e::headerOf(out("out/shotObject ID001.exr"));
    EXPECT_EQ(matrix(image, "worldToNDC"), toNDC);

    // Independent readers show the attributes.
    if (!testsupport::kIndependentReaders)
        return;
    ASSERT_TRUE(testsupport::haveProgram("exrheader", "openexr"));
    std::string text;
    ASSERT_EQ(testsupport::run("exrheader '" + file + "'", &text), 0) << text;
    for (const char *want : {"worldToCamera (type m44f)", "worldToNDC (type m44f)",
                             "chromaticities (type chromaticities)", "FilmApertureHorizontal (type float): 36"})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    ASSERT_TRUE(testsupport::haveProgram("oiiotool", "openimageio-tools"));
    ASSERT_EQ(testsupport::run("oiiotool --info -v '" + file + "'", &text), 0) << text;
    for (const char *want : {"worldToCamera: 0.", "worldToNDC: ", "chromaticities: 0.64, 0.33", "FilmApertureVertical: 18.46"})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
}

TEST_F(CompositorMetadataTest, RightHandedAndNoMatrices)
{
    render(placedScene("", "{ CameraMatrices 1 }\n"));
    const std::string file = out("out/shot001.exr");
    const Imf::Header h = e2e::headerOf(file);
    // In a right-handed world the scene's z is flipped.
    const V3 flip(1, 1, -1);
    EXPECT_EQ(objectIdWhere(file, kBall * flip, matrix(h, "worldToNDC")), 2);
    const Imath::M44d toCamera = matrix(h, "worldToCamera");
    expectRigid(toCamera, kCamera * flip);
    // The camera looks down its -z.
    EXPECT_LT(times(kBall * flip, toCamera).z, 0);

    render(placedScene("", "{ CameraMatrices 2 }\n"));
    const Imf::Header none = e2e::headerOf(out("out/shot001.exr"));
    EXPECT_EQ(has(none, "worldToCamera"), false);
    EXPECT_EQ(has(none, "worldToNDC"), false);
    EXPECT_NE(has(none, "FilmApertureHorizontal"), false) << "the lens stays";
}

TEST_F(CompositorMetadataTest, EachEyeGetsItsViewAndMatrices)
{
    std::vector<Imath::M44d> eyes;
    for (const char *flags : {"{ Flags 1 }", "{ Flags 513 }"}) {
        render(placedScene(std::string(flags) + " { EyeSeparation 0.2 }", ""));
        const std::string file = out("out/shot001.exr");
        const Imf::Header h = e2e::headerOf(file);
        const bool right = std::string(flags) == "{ Flags 513 }";
        const auto *view = h.findTypedAttribute<Imf::StringAttribute>("view");
        ASSERT_TRUE(view);
        EXPECT_EQ(view->value(), right ? "right" : "left");
        const Imath::M44d toCamera = matrix(h, "worldToCamera");
        // The eye sits a tenth of a metre to the camera's side, along its
        // right axis (the matrix's first column).
        const V3 rightAxis(toCamera[0][0], toCamera[1][0], toCamera[2][0]);
        expectRigid(toCamera, kCamera + rightAxis * (right ? 0.1 : -0.1));
        EXPECT_EQ(objectIdWhere(file, kBall, matrix(h, "worldToNDC")), 2);
        eyes.push_back(matrix(h, "worldToNDC"));
    }
    // The eyes see the ball at different places.
    EXPECT_GT(times(kBall, eyes[0]).x, times(kBall, eyes[1]).x);
}

TEST_F(CompositorMetadataTest, EachColourSpaceWritesItsPrimaries)
{
    struct Space {
        int value;
        float red[2], green[2], blue[2], white[2];
    };
    const Space spaces[] = {
        {0, {0.64f, 0.33f}, {0.30f, 0.60f}, {0.15f, 0.06f}, {0.3127f, 0.3290f}},
        {1, {0.713f, 0.293f}, {0.165f, 0.830f}, {0.128f, 0.044f}, {0.32168f, 0.33767f}},
        {2, {0.7347f, 0.2653f}, {0.0f, 1.0f}, {0.0001f, -0.0770f}, {0.32168f, 0.33767f}},
        {3, {0.708f, 0.292f}, {0.170f, 0.797f}, {0.131f, 0.046f}, {0.3127f, 0.3290f}},
    };
    for (const Space &s : spaces) {
        // The filter's files and the saver's image of the same frame, the
        // saver told by the settings master.
        const std::string v = std::to_string(s.value);
        render(e2e::sceneHeader("{ ImageSaver \"OpenEXR(.exr)\" }") +
               "Plugin MasterHandler 1 OpenEXRSettings\n{ Version 1 }\n{ ColourSpace " + v + " }\nEndPlugin\n" +
               e2e::kPlugin + "{ useRGBPrefix 1 }\n{ ColourSpace " + v + " }\n" +
               e2e::buffer("Final Render", "{ SaveAs 1 }") + e2e::kEnd);
        for (const std::string file : {out("out/shot001.exr"), out("out/shot0001.exr")}) {
            const Imf::Header h = e2e::headerOf(file);
            const auto *c = h.findTypedAttribute<Imf::ChromaticitiesAttribute>("chromaticities");
            ASSERT_TRUE(c) << file << " space " << s.value;
            const Imf::Chromaticities &p = c->value();
            EXPECT_EQ(p.red, Imath::V2f(s.red[0], s.red[1])) << s.value;
            EXPECT_EQ(p.green, Imath::V2f(s.green[0], s.green[1])) << s.value;
            EXPECT_EQ(p.blue, Imath::V2f(s.blue[0], s.blue[1])) << s.value;
            EXPECT_EQ(p.white, Imath::V2f(s.white[0], s.white[1])) << s.value;
        }
    }
    // "Not Stated" writes none.
    render(e2e::sceneHeader("{ ImageSaver \"OpenEXR(.exr)\" }") +
           "Plugin MasterHandler 1 OpenEXRSettings\n{ Version 1 }\n{ ColourSpace 4 }\nEndPlugin\n" +
           e2e::kPlugin + "{ useRGBPrefix 1 }\n{ ColourSpace 4 }\n" +
           e2e::buffer("Final Render", "{ SaveAs 1 }") + e2e::kEnd);
    EXPECT_EQ(has(e2e::headerOf(out("out/shot001.exr")), "chromaticities"), false);
    EXPECT_EQ(has(e2e::headerOf(out("out/shot0001.exr")), "chromaticities"), false);
}

TEST(CompositorSettingsTest, ChosenInThePanelsAndKeptInTheScene)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"), e2e::sceneHeader());
    std::string out;
    ASSERT_EQ(e2e::devhostIn(dir.path(),
                             "ui scene.lws " +
                                 e2e::shellQuoted(std::string(DOCS_DIR) + "/tests/ui/compositor-settings.ui"),
                             &out),
              0)
        << out;
    const std::string saved = testsupport::readFile(dir.file("saved.lws"));
    for (const char *part : {"{ CameraMatrices 1 }", "{ ColourSpace 1 }", "{ ColourSpace 2 }"})
        EXPECT_NE(saved.find(part), std::string::npos) << part << "\n" << saved;
    testsupport::writeFile(dir.file("check.ui"),
                           "open Ravelcast\nexpect \"Camera Matrices\" \"Right-Handed World (Z flipped)\"\n"
                           "expect \"Colour Space\" ACEScg\nclose\n"
                           "generic Open_OpenEXRSettings\nexpect \"Colour Space\" ACES2065-1\n");
    ASSERT_EQ(e2e::devhostIn(dir.path(), "ui saved.lws check.ui", &out), 0) << out;
}

} // namespace
