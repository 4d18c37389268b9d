// Multi-part files as compositors read them: each part's data window and
// compression, read back with the OpenEXR library and checked against the
// host buffers the renderer delivered.

#include <map>
#include <string>
#include <vector>

#include <ImfMultiPartInputFile.h>
#include <half.h>

#include "E2ESupport.h"

namespace {

using e2e::buffer;
using e2e::kEnd;
using e2e::kPlugin;
using e2e::readPlane;

constexpr int kW = 48, kH = 32;
const Imath::Box2i kFrame(Imath::V2i(0, 0), Imath::V2i(kW - 1, kH - 1));

// The parts of a file by name: index and header.
std::map<std::string, std::pair<int, Imf::Header>> partsOf(const std::string &file)
{
    Imf::MultiPartInputFile in(file.c_str());
    std::map<std::string, std::pair<int, Imf::Header>> parts;
    for (int p = 0; p < in.parts(); ++p)
        parts[in.header(p).name()] = {p, in.header(p)};
    return parts;
}

// The box of the pixels where any of the host buffers holds data once
// written as half.
Imath::Box2i halfDataBox(const std::vector<e2e::Plane> &host)
{
    Imath::Box2i box;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            for (const e2e::Plane &p : host)
                if (half(p.at(x, y)) != 0.0f)
                    box.extendBy(Imath::V2i(x, y));
    return box;
}

class PartsAndCompressionTest : public e2e::RenderTest {
protected:
    // Every channel of a part read back as the host's values written as
    // half inside the part's window, and nothing of the host's outside it.
    void expectHalfPart(const std::string &file, int part, const std::vector<std::string> &names,
                        const std::vector<int> &hostBuffers)
    {
        std::vector<e2e::Plane> host;
        for (int b : hostBuffers)
            host.push_back(readPlane(dump(1), "B" + std::to_string(b)));
        for (std::size_t c = 0; c < names.size(); ++c) {
            const auto written = testsupport::readExrChannel(file, names[c], 0.0f, part);
            ASSERT_TRUE(written.present) << names[c];
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x) {
                    const float want = static_cast<float>(half(host[c].at(x, y)));
                    if (written.window.intersects(Imath::V2i(x, y)))
                        ASSERT_EQ(written.at(x, y), want) << names[c] << " " << x << "," << y;
                    else
                        ASSERT_EQ(want, 0.0f) << names[c] << " lost at " << x << "," << y;
                }
        }
    }
};

// A pixel holds data when any channel does: a normal (0, 1, 0), a tangent
// whose Y is always 0. And in a multi-part file a fitted layer crops no
// other layer: each part has its own window.
TEST_F(PartsAndCompressionTest, EachPartFitsToTheDataOfItsOwnBuffers)
{
    render(e2e::sceneHeader() + kPlugin + "{ MultiPart 1 }\n" + buffer("Final Render", "") +
           buffer("Alpha", "{ FitDataWindow 1 }") +
           buffer("Refraction Colour", "{ FitDataWindow 1 }") +
           buffer("Surface Normal", "{ FitDataWindow 1 }") +
           buffer("Tangent Space Tangent", "{ FitDataWindow 1 }") + kEnd);
    const std::string file = out("out/shot001.exr");
    const auto parts = partsOf(file);
    ASSERT_EQ(parts.size(), 5u);
    // Alpha fits, Final Render does not: they no longer share "Base".
    ASSERT_EQ(parts.count("Base"), 1u);
    ASSERT_EQ(parts.count("Alpha"), 1u);
    EXPECT_EQ(e2e::channelsOf(parts.at("Base").second), (std::vector<std::string>{"B", "G", "R"}));
    EXPECT_EQ(e2e::channelsOf(parts.at("Alpha").second), std::vector<std::string>{"A"});
    EXPECT_EQ(parts.at("Base").second.dataWindow(), kFrame) << "the beauty is not cropped";
    expectHalfPart(file, parts.at("Base").first, {"R", "G", "B"}, {32, 33, 34});

    struct Fitted {
        const char *part;
        std::vector<std::string> channels;
        std::vector<int> host;
    };
    const Fitted fitted[] = {{"Alpha", {"A"}, {35}},
                             {"Refr", {"Refr.R", "Refr.G", "Refr.B"}, {36, 37, 38}},
                             {"N", {"N.X", "N.Y", "N.Z"}, {40, 41, 42}},
                             {"Tangent.T", {"Tangent.T.X", "Tangent.T.Y", "Tangent.T.Z"}, {51, 52, 53}}};
    for (const Fitted &f : fitted) {
        SCOPED_TRACE(f.part);
        ASSERT_EQ(parts.count(f.part), 1u);
        std::vector<e2e::Plane> host;
        for (int b : f.host)
            host.push_back(readPlane(dump(1), "B" + std::to_string(b)));
        const Imath::Box2i box = halfDataBox(host);
        ASSERT_FALSE(box.isEmpty());
        EXPECT_EQ(parts.at(f.part).second.dataWindow(), box);
        expectHalfPart(file, parts.at(f.part).first, f.channels, f.host);
    }
    // The refraction holds data in a small part of the frame only, and the
    // floor's tangent (1, 0, 0) has no Y: with every channel needed for
    // data it was cut to nothing.
    EXPECT_NE(parts.at("Refr").second.dataWindow(), kFrame);
    const auto ty = readPlane(dump(1), "B52"), tx = readPlane(dump(1), "B51");
    int floorPixels = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            floorPixels += ty.at(x, y) == 0.0f && tx.at(x, y) == 1.0f ? 1 : 0;
    EXPECT_GT(floorPixels, 100) << "the scene shows the floor";
}

// A small lossy beauty and exact data: the parts of depth, motion and
// normals compressed ZIP in a DWAA file, and the separate depth image too.
TEST_F(PartsAndCompressionTest, DataPartsKeepTheirOwnLosslessCompression)
{
    const std::string zip = "{ BufferCompression 3 }";
    render(e2e::sceneHeader() + kPlugin + "{ Compression 8 } { MultiPart 1 }\n" +
           buffer("Final Render", "") + buffer("Alpha", "") +
           buffer("Depth", zip + " { SaveAs 3 }") + buffer("Motion", zip) +
           buffer("Surface Normal", zip) + kEnd);
    const std::string file = out("out/shot001.exr");
    const auto parts = partsOf(file);
    ASSERT_EQ(parts.size(), 4u);
    // Depth has no layer: the base layer's other compression makes it a
    // part of its own, named after it; its channel stays Z.
    const std::map<std::string, Imf::Compression> want = {{"Base", Imf::DWAA_COMPRESSION},
                                                          {"Depth", Imf::ZIP_COMPRESSION},
                                                          {"Motion", Imf::ZIP_COMPRESSION},
                                                          {"N", Imf::ZIP_COMPRESSION}};
    for (const auto &[name, compression] : want) {
        ASSERT_EQ(parts.count(name), 1u) << name;
        EXPECT_EQ(parts.at(name).second.compression(), compression) << name;
        EXPECT_EQ(parts.at(name).second.dataWindow(), kFrame) << name;
    }
    EXPECT_EQ(e2e::channelsOf(parts.at("Depth").second), std::vector<std::string>{"Z"});

    // Bit for bit: depth as FLOAT, motion and normals as half.
    const auto z = testsupport::readExrChannel(file, "Z", 0.0f, parts.at("Depth").first);
    const auto hz = readPlane(dump(1), "B12");
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(z.at(x, y), hz.at(x, y)) << x << "," << y;
    expectHalfPart(file, parts.at("Motion").first, {"Motion.X", "Motion.Y"}, {15, 16});
    expectHalfPart(file, parts.at("N").first, {"N.X", "N.Y", "N.Z"}, {40, 41, 42});
    const Imf::Header image = e2e::headerOf(out("out/shotDepth001.exr"));
    EXPECT_EQ(image.compression(), Imf::ZIP_COMPRESSION) << "the separate image follows its buffer";

    // The beauty is DWAA indeed: some value differs from the exact half.
    const auto r = testsupport::readExrChannel(file, "R", 0.0f, parts.at("Base").first);
    const auto hr = readPlane(dump(1), "B32");
    int changed = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            changed += r.at(x, y) != static_cast<float>(half(hr.at(x, y))) ? 1 : 0;
    EXPECT_GT(changed, 0);

    // What the review warns of: "As the File", DWA changes the channels
    // named Y (Motion.Y) and keeps X and Z exact.
    render(e2e::sceneHeader() + kPlugin + "{ Compression 8 } { MultiPart 1 }\n" +
           buffer("Final Render", "") + buffer("Depth", "") + buffer("Motion", "") + kEnd);
    const auto lossy = partsOf(file);
    ASSERT_EQ(lossy.size(), 2u) << "one compression: depth joins the base part";
    const int motion = lossy.at("Motion").first;
    const auto mx = testsupport::readExrChannel(file, "Motion.X", 0.0f, motion);
    const auto my = testsupport::readExrChannel(file, "Motion.Y", 0.0f, motion);
    const auto hx = readPlane(dump(1), "B15"), hy = readPlane(dump(1), "B16");
    int yChanged = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            ASSERT_EQ(mx.at(x, y), static_cast<float>(half(hx.at(x, y)))) << x << "," << y;
            yChanged += my.at(x, y) != static_cast<float>(half(hy.at(x, y))) ? 1 : 0;
        }
    EXPECT_GT(yChanged, 0) << "DWA compresses Motion.Y as luminance";
    const auto base = testsupport::readExrChannel(file, "Z", 0.0f, lossy.at("Base").first);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(base.at(x, y), hz.at(x, y)) << "DWA keeps Z exact";
}

} // namespace
