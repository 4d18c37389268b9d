// Rendered scenes where frame data used to be lost or mislabelled: each
// case renders through the real module and reads the files back.

#include <cmath>

#include <half.h>

#include "../devhost/ImageReadBack.h"
#include "E2ESupport.h"

namespace {

using e2e::readPlane;

const std::string kPlugin = "Plugin ImageFilterHandler 1 Ravelcast\n{ Version 2 }\n";
const std::string kEnd = "EndPlugin\n";

std::string buffer(const std::string &name, const std::string &settings)
{
    return "{ Buffer { Name \"" + name + "\" } { Settings { Active 1 } " + settings + " } }\n";
}

class ExportMendsTest : public e2e::RenderTest {};

TEST_F(ExportMendsTest, FrameDataArrivesWhole)
{
    // Un-multiplied refraction: the counted-list request (version 5) asks
    // for the refraction alpha as the bit mask does, so both files agree
    // and the values are divided where the alpha is partial.
    const std::string refraction = kPlugin + buffer("Refraction Colour", "{ Unmultiply 1 }") + kEnd;
    render(e2e::sceneHeader("{ FilterVersion 4 }") + refraction);
    const auto v4 = readPlane(out("out/shot001.exr"), "Refr.R");
    render(e2e::sceneHeader("{ FilterVersion 5 }") + refraction);
    const auto v5 = readPlane(out("out/shot001.exr"), "Refr.R");
    const auto colour = readPlane(dump(1), "B36"), alpha = readPlane(dump(1), "B39");
    int divided = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(v5.at(x, y), v4.at(x, y)) << x << "," << y;
            const float a = alpha.at(x, y);
            if (a != 0.0f && a != 1.0f) {
                ASSERT_EQ(v5.at(x, y), static_cast<float>(half(colour.at(x, y) / a)));
                ++divided;
            }
        }
    EXPECT_GT(divided, 0) << "the glass ball has partial refraction alpha";

    // Luminance as RGB through a host saver spreads one channel only: a
    // three-channel buffer keeps its three.
    render(e2e::sceneHeader() + kPlugin +
           buffer("Diffuse Colour", "{ SaveAs 2 } { LumaAsRGB 1 } { ImageFormat \"PFM(.pfm)\" }") +
           buffer("Shadow", "{ SaveAs 2 } { LumaAsRGB 1 } { ImageFormat \"PFM(.pfm)\" }") + kEnd);
    const readback::Pfm diffuse = readback::readPfm(testsupport::readFile(out("out/shotDiff001.pfm")));
    ASSERT_TRUE(diffuse.ok);
    ASSERT_EQ(diffuse.channels(), 3);
    int coloured = 0;
    for (std::size_t i = 0; i + 2 < diffuse.samples.size(); i += 3)
        coloured += diffuse.samples[i] != diffuse.samples[i + 1] ||
                    diffuse.samples[i] != diffuse.samples[i + 2];
    EXPECT_GT(coloured, 100) << "red, green and blue differ";
    const readback::Pfm shadow = readback::readPfm(testsupport::readFile(out("out/shotShadow001.pfm")));
    ASSERT_TRUE(shadow.ok);
    for (std::size_t i = 0; i + 2 < shadow.samples.size(); i += 3)
        ASSERT_TRUE(shadow.samples[i] == shadow.samples[i + 1] &&
                    shadow.samples[i] == shadow.samples[i + 2]);

    // A stale region rectangle with the limited-region bit off: ray-traced
    // transparency alone is no region, the file is the whole frame.
    render(e2e::sceneHeader("{ LimitedRegion 10 6 29 21 }") + kPlugin +
           buffer("Final Render", "") + kEnd);
    render(e2e::sceneHeader("{ RenderOptions 16384 }") + kPlugin + buffer("Final Render", "") + kEnd);
    EXPECT_EQ(host().sceneInfo().limitedRegionX0, 10) << "the host kept the old rectangle";
    EXPECT_EQ(e2e::headerOf(out("out/shot001.exr")).dataWindow(),
              Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(47, 31)));

    // No output name: nothing is written, and the user is told.
    std::filesystem::remove_all(out("out"));
    EXPECT_THROW(render(e2e::sceneHeader("{ RGBPrefix \"\" }") + kPlugin +
                        buffer("Final Render", "") + kEnd),
                 devhost::HostError);
    EXPECT_NE(messages(devhost::Message::Error).back().find("No output filename"),
              std::string::npos);
    for (const std::string &f : e2e::filesIn(dir.path()))
        EXPECT_TRUE(f == "e2e.lws" || f.rfind("dump/", 0) == 0) << f << " was written";
}

} // namespace
