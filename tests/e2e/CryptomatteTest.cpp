// Cryptomatte as a compositor reads it: rendered scenes whose mattes are
// read back with the OpenEXR library and checked, pixel by pixel, against
// the id buffers the host delivered and the names its services give those
// ids; the manifests parsed as JSON; the ids bit-exact whatever the file's
// compression; and a reader of its own (Python with OpenImageIO).

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <ImfMultiPartInputFile.h>
#include <ImfStringAttribute.h>

#include <lwsdk/scene.h>

#include "E2ESupport.h"
#include "FlatJson.h"
#include "MatteIds.h"
#include "devhost/Host.h"

namespace {

namespace fs = std::filesystem;
using e2e::buffer;
using e2e::kEnd;
using e2e::kPlugin;
using e2e::readPlane;

constexpr int kW = 64, kH = 48;

// A ball carried by a rig (a null), a crate and the ground: the ball's
// asset is the rig.
const std::string kItems =
    "{ Surface { Name \"Paint\" } { Colour 0.8 0.1 0.1 } }\n"
    "{ Surface { Name \"Tiles \\\"checked\\\"\" } { Colour 0.8 0.8 0.8 } { Checker 0.2 0.2 0.2 } }\n"
    "{ Object { Name \"Rig\" } { Shape \"null\" } { Position 0.3 0 0 } }\n"
    "{ Object { Name \"RedBall\" } { Shape \"sphere\" } { Position -0.6 0.5 1.5 } { Size 1 } "
    "{ Surface \"Paint\" } { Parent \"Rig\" } }\n"
    "{ Object { Name \"Caf\xc3\xa9\\\\Crate\" } { Shape \"box\" } { Position 0.9 0.4 1.2 } "
    "{ Rotation 20 0 0 } { Size 0.8 } { Surface \"Chrome\" } }\n"
    "{ Object { Name \"Ground\" } { Shape \"plane\" } { Size 8 } { Surface \"Tiles \\\"checked\\\"\" } }\n"
    "{ Camera { Name \"Cam\" } { Position 0 1.2 -3 } { Rotation 0 12 0 } }\n"
    "{ RenderCamera \"Cam\" }\n";

std::uint32_t bits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

std::string attribute(const Imf::Header &h, const std::string &name)
{
    const auto *a = h.findTypedAttribute<Imf::StringAttribute>(name);
    return a ? a->value() : std::string("<none>");
}

class CryptomatteTest : public e2e::RenderTest {
protected:
    template <class T> const T *service(const char *name)
    {
        return static_cast<const T *>(devhost::Host::global(name, 0));
    }
    // What the host's services name the ids of a buffer: objects by their
    // own names or their top-level parent's, surfaces by theirs.
    std::map<int, std::string> namesOf(const std::string &type)
    {
        std::map<int, std::string> names;
        const auto *items = service<LWItemInfo>(LWITEMINFO_GLOBAL);
        const auto *objects = service<LWObjectInfo>(LWOBJECTINFO_GLOBAL);
        const auto *surfaces = service<LWSurfaceFuncs>(LWSURFACEFUNCS_GLOBAL);
        if (type == "CryptoMaterial") {
            for (LWSurfaceID s = surfaces->first(); s; s = surfaces->next(s))
                names[surfaces->bufferId(s)] = surfaces->name(s);
            return names;
        }
        for (LWItemID o = items->first(LWI_OBJECT, nullptr); o; o = items->next(o)) {
            LWItemID top = o;
            while (type == "CryptoAsset" && items->parent(top))
                top = items->parent(top);
            names[objects->bufferId(o)] = items->name(top);
        }
        return names;
    }

    // Every pixel of the type's mattes in a file (or a part of it): rank 0
    // the id of the name whose host id is there with coverage 1, nothing
    // where no item is, every other rank empty. The manifest maps exactly
    // the scene's names of the type to their ids.
    void expectMattes(const std::string &file, const Imf::Header &h, const std::string &type,
                      int hostBuffer, int layers, int part = 0)
    {
        expectMattesIn(file, h, type, hostBuffer, layers, part, h.displayWindow());
    }
    // The same inside a window the file's fitted layers gave it.
    void expectMattesIn(const std::string &file, const Imf::Header &h, const std::string &type,
                        int hostBuffer, int layers, int part, const Imath::Box2i &window)
    {
        SCOPED_TRACE(file + " " + type);
        const std::map<int, std::string> names = namesOf(type);
        const e2e::Plane ids = readPlane(dump(1), "B" + std::to_string(hostBuffer));
        std::vector<testsupport::ExrChannel> rank(4);
        for (int c = 0; c < 4; ++c) {
            const std::string channel = type + "00." + "RGBA"[c];
            rank[c] = testsupport::readExrChannel(file, channel, 0.0f, part);
            ASSERT_TRUE(rank[c].present) << channel;
            ASSERT_EQ(rank[c].type, Imf::FLOAT) << channel;
            ASSERT_EQ(rank[c].window, window);
        }
        int covered = 0;
        for (int y = window.min.y; y <= window.max.y; ++y)
            for (int x = window.min.x; x <= window.max.x; ++x) {
                const auto at = names.find(static_cast<int>(ids.at(x, y)));
                const bool item = ids.at(x, y) != 0 && at != names.end();
                const std::uint32_t want = item ? testsupport::matteBits(at->second) : 0;
                ASSERT_EQ(bits(rank[0].at(x, y)), want) << x << "," << y;
                ASSERT_EQ(rank[1].at(x, y), item ? 1.0f : 0.0f) << x << "," << y;
                ASSERT_EQ(rank[2].at(x, y), 0.0f);
                ASSERT_EQ(rank[3].at(x, y), 0.0f);
                covered += item ? 1 : 0;
            }
        EXPECT_GT(covered, (window.max.x - window.min.x + 1) * (window.max.y - window.min.y + 1) / 4);
        std::set<std::string> layerNames;
        for (const std::string &c : e2e::channelsOf(h))
            if (c.rfind(type, 0) == 0) {
                layerNames.insert(c.substr(0, c.find('.')));
                const auto &channel = testsupport::readExrChannel(file, c, 0.0f, part);
                if (c.rfind(type + "00.", 0) != 0) {
                    for (float v : channel.values)
                        ASSERT_EQ(v, 0.0f) << c << " holds a rank the host never gives";
                }
            }
        EXPECT_EQ(layerNames.size(), static_cast<std::size_t>(layers));
        EXPECT_EQ(layerNames.count(type + (layers > 10 ? "10" : "0" + std::to_string(layers - 1))), 1u);

        const std::string key =
            "cryptomatte/" + testsupport::hexOf(testsupport::murmur3(type)).substr(0, 7) + "/";
        EXPECT_EQ(attribute(h, key + "name"), type);
        EXPECT_EQ(attribute(h, key + "hash"), "MurmurHash3_32");
        EXPECT_EQ(attribute(h, key + "conversion"), "uint32_to_float32");
        const auto manifest = testsupport::parseFlatJson(attribute(h, key + "manifest"));
        ASSERT_TRUE(manifest) << attribute(h, key + "manifest");
        std::map<std::string, std::string> listed(manifest->begin(), manifest->end()), scene;
        for (const auto &[id, name] : names)
            scene[name] = testsupport::hexOf(testsupport::matteBits(name));
        EXPECT_EQ(listed, scene) << "the manifest holds exactly the scene's names";
        EXPECT_EQ(listed.size(), manifest->size()) << "no name twice";
    }
};

TEST_F(CryptomatteTest, EveryPixelNamesTheItemTheHostsIdsResolveTo)
{
    // The id buffers are not written themselves: the host is asked for
    // them all the same.
    render(e2e::sceneHeader(kItems, "layout", kW, kH) + kPlugin +
           "{ CryptoObject 1 } { CryptoMaterial 1 } { CryptoAsset 1 } { CryptoLevels 4 }\n" +
           buffer("Final Render", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    const Imf::Header h = e2e::headerOf(file);
    EXPECT_EQ(h.compression(), Imf::ZIP_COMPRESSION);
    expectMattes(file, h, "CryptoObject", 44, 2);
    expectMattes(file, h, "CryptoMaterial", 43, 2);
    expectMattes(file, h, "CryptoAsset", 44, 2);

    // The ball is an asset of the rig: its pixels hold the rig's id there.
    const auto asset = testsupport::readExrChannel(file, "CryptoAsset00.R");
    const auto object = testsupport::readExrChannel(file, "CryptoObject00.R");
    int ball = 0;
    for (std::size_t i = 0; i < object.values.size(); ++i)
        if (bits(object.values[i]) == testsupport::matteBits("RedBall")) {
            ++ball;
            ASSERT_EQ(bits(asset.values[i]), testsupport::matteBits("Rig"));
        }
    EXPECT_GT(ball, 20) << "the ball is seen";

    // Written through the library's own compressor (PIZ) beside a layer,
    // and inside the window of a fitted layer of a single-part file.
    fs::remove_all(out("out"));
    render(e2e::sceneHeader(kItems, "layout", kW, kH) + kPlugin +
           "{ CryptoObject 1 } { Compression 4 }\n" + buffer("Final Render", "") + kEnd);
    expectMattes(file, e2e::headerOf(file), "CryptoObject", 44, 3);
    for (const char *compression : {"3", "4"}) {
        SCOPED_TRACE(compression);
        fs::remove_all(out("out"));
        render(e2e::sceneHeader(kItems, "layout", kW, kH) + kPlugin + "{ CryptoObject 1 } " +
               "{ Compression " + compression + " }\n" + buffer("Alpha", "{ FitDataWindow 1 }") +
               kEnd);
        const Imf::Header fitted = e2e::headerOf(file);
        ASSERT_NE(fitted.dataWindow(), fitted.displayWindow());
        expectMattesIn(file, fitted, "CryptoObject", 44, 3, 0, fitted.dataWindow());
    }
}

// A lossy compression never reaches the ids: beside a single-part DWAA
// file each type is a ZIP file of its own, named as a separate image of a
// layer of its name; in a multi-part file each is a ZIP part of its own.
TEST_F(CryptomatteTest, IdsStayExactUnderLossyCompressionInEitherKindOfFile)
{
    const std::string settings = "{ CryptoObject 1 } { CryptoMaterial 1 } { Compression 8 }\n";
    render(e2e::sceneHeader(kItems, "layout", kW, kH) + kPlugin + settings +
           buffer("Final Render", "") + kEnd);
    const Imf::Header layered = e2e::headerOf(out("out/shot001.exr"));
    EXPECT_EQ(layered.compression(), Imf::DWAA_COMPRESSION);
    for (const std::string &c : e2e::channelsOf(layered))
        EXPECT_EQ(c.find("Crypto"), std::string::npos) << c << " in the lossy file";
    for (const auto &[type, hostBuffer] :
         std::vector<std::pair<std::string, int>>{{"CryptoObject", 44}, {"CryptoMaterial", 43}}) {
        const std::string own = out("out/shot" + type + "001.exr");
        ASSERT_TRUE(fs::exists(own)) << own;
        const Imf::Header h = e2e::headerOf(own);
        EXPECT_EQ(h.compression(), Imf::ZIP_COMPRESSION);
        expectMattes(own, h, type, hostBuffer, 3);
    }

    fs::remove_all(out("out"));
    render(e2e::sceneHeader(kItems, "layout", kW, kH) + kPlugin + settings +
           "{ MultiPart 1 }\n" + buffer("Final Render", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    EXPECT_EQ(e2e::filesIn(out("out")), std::vector<std::string>{"shot001.exr"});
    Imf::MultiPartInputFile in(file.c_str());
    std::map<std::string, int> parts;
    for (int p = 0; p < in.parts(); ++p)
        parts[in.header(p).name()] = p;
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(in.header(parts.at("Base")).compression(), Imf::DWAA_COMPRESSION);
    for (const auto &[type, hostBuffer] :
         std::vector<std::pair<std::string, int>>{{"CryptoObject", 44}, {"CryptoMaterial", 43}}) {
        const Imf::Header &h = in.header(parts.at(type));
        EXPECT_EQ(h.compression(), Imf::ZIP_COMPRESSION);
        expectMattes(file, h, type, hostBuffer, 3, parts.at(type));
    }
}

// A manifest longer than 64 KiB goes to a file beside the image, named in
// the header; the file is whole JSON, as the image is whole.
TEST_F(CryptomatteTest, LongManifestsGoToAFileBesideTheImage)
{
    std::string many = kItems;
    for (int i = 0; i < 2000; ++i)
        many += "{ Object { Name \"placement null with a long name " + std::to_string(i) +
                "\" } { Shape \"null\" } }\n";
    render(e2e::sceneHeader(many, "layout", kW, kH) + kPlugin +
           "{ CryptoObject 1 } { CryptoMaterial 1 }\n" + buffer("Final Render", "") + kEnd);
    const std::string file = out("out/shot001.exr");
    const Imf::Header h = e2e::headerOf(file);
    const std::string key =
        "cryptomatte/" + testsupport::hexOf(testsupport::murmur3("CryptoObject")).substr(0, 7) + "/";
    EXPECT_EQ(attribute(h, key + "manifest"), "<none>");
    EXPECT_EQ(attribute(h, key + "manif_file"), "shot001_CryptoObject.json");
    const std::string text = testsupport::readFile(out("out/shot001_CryptoObject.json"));
    EXPECT_GT(text.size(), 64u * 1024);
    const auto manifest = testsupport::parseFlatJson(text);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->size(), 2004u);
    EXPECT_EQ(e2e::temporariesIn(out("out")), std::vector<std::string>{});
    // The short one stays in the header.
    const std::string material =
        "cryptomatte/" + testsupport::hexOf(testsupport::murmur3("CryptoMaterial")).substr(0, 7) + "/";
    EXPECT_NE(attribute(h, material + "manifest"), "<none>");
}

// Optionally, where an item meets the background, the beauty's alpha is
// the item's coverage and the rest the background's; inside an item, or
// where two items meet, the pixel stays the item's alone.
TEST_F(CryptomatteTest, AlphaCoversEdgesAgainstTheBackgroundOnlyWhenAsked)
{
    // Ids and alpha from a file: the ball's id (2) in a square, another
    // item's (4) beside it; partial alpha on the square's rim, and inside.
    const auto inSquare = [](int x, int y) { return x >= 10 && x < 30 && y >= 10 && y < 30; };
    const auto rim = [&](int x, int y) {
        return inSquare(x, y) && (x == 10 || x == 29 || y == 10 || y == 29);
    };
    const auto other = [](int x, int y) { return x >= 30 && x < 40 && y >= 10 && y < 30; };
    const auto itemAt = [&](int x, int y) { return inSquare(x, y) || other(x, y); };
    e2e::writeSource(out("source.exr"), kW, kH, {"id", "alpha"}, [&](int c, int x, int y) {
        if (c == 0)
            return inSquare(x, y) ? 2.0f : (x >= 30 && x < 40 && y >= 10 && y < 30) ? 4.0f : 0.0f;
        if (rim(x, y) || (x == 20 && y == 20))
            return 0.25f;
        return inSquare(x, y) || (x >= 30 && x < 40 && y >= 10 && y < 30) ? 1.0f : 0.0f;
    });
    const std::string sources = "{ BufferSource 44 \"source.exr\" \"id\" } "
                                "{ BufferSource 35 \"source.exr\" \"alpha\" }\n";
    for (const bool asked : {false, true}) {
        SCOPED_TRACE(asked ? "alpha at edges" : "one id per pixel");
        fs::remove_all(out("out"));
        render(e2e::sceneHeader(kItems + sources, "layout", kW, kH) + kPlugin +
               "{ CryptoObject 1 } { CryptoAlphaEdges " + (asked ? "1" : "0") + " }\n" +
               buffer("Final Render", "") + kEnd);
        const std::string file = out("out/shot001.exr");
        std::vector<testsupport::ExrChannel> c;
        for (const char *n : {"R", "G", "B", "A"})
            c.push_back(testsupport::readExrChannel(file, std::string("CryptoObject00.") + n));
        const std::map<int, std::string> names = namesOf("CryptoObject");
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int id = inSquare(x, y) ? 2 : (x >= 30 && x < 40 && y >= 10 && y < 30) ? 4 : 0;
                // The rim's right side meets the other item: only its ends
                // touch the background.
                const bool background = !itemAt(x - 1, y) || !itemAt(x + 1, y) ||
                                        !itemAt(x, y - 1) || !itemAt(x, y + 1);
                const bool edge = asked && rim(x, y) && background;
                ASSERT_EQ(bits(c[0].at(x, y)), id ? testsupport::matteBits(names.at(id)) : 0u);
                ASSERT_EQ(c[1].at(x, y), edge ? 0.25f : id ? 1.0f : 0.0f) << x << "," << y;
                ASSERT_EQ(c[2].at(x, y), 0.0f);
                ASSERT_EQ(c[3].at(x, y), edge ? 0.75f : 0.0f) << x << "," << y;
            }
    }
}

// A reader that is not ours: Python with OpenImageIO, and a MurmurHash3
// of the script's own, picks "RedBall" by name from the manifest.
TEST_F(CryptomatteTest, AnIndependentReaderPicksAnObjectByName)
{
    if (!testsupport::kIndependentReaders)
        return;
    // The system's Python, where Debian's package puts the module, when
    // the first python3 on the path is another.
    std::string python, probe;
    for (const char *candidate : {"python3", "/usr/bin/python3"})
        if (python.empty() &&
            testsupport::run(std::string(candidate) + " -c 'import OpenImageIO' 2>&1", &probe) == 0)
            python = candidate;
    ASSERT_NE(python, "")
        << "Python's OpenImageIO is not installed: this test reads the mattes with it (Debian "
           "package python3-openimageio; scripts/deps test installs it)\n"
        << probe;
    for (const char *multiPart : {"0", "1"}) {
        SCOPED_TRACE(multiPart);
        fs::remove_all(out("out"));
        render(e2e::sceneHeader(kItems, "layout", kW, kH) + kPlugin +
               "{ CryptoObject 1 } { CryptoAsset 1 } { MultiPart " + multiPart + " }\n" +
               buffer("Final Render", "") + buffer("Object ID", "") + kEnd);
        std::string report;
        const int status =
            testsupport::run(python + " " + e2e::shellQuoted(testsupport::dataPath("cryptomatte_pick.py")) +
                                 " " + e2e::shellQuoted(out("out/shot001.exr")) + " RedBall 2>&1",
                             &report);
        EXPECT_EQ(status, 0) << report;
        EXPECT_NE(report.find("RedBall:"), std::string::npos) << report;
    }
}

} // namespace

namespace {

// Chosen on the panel's Cryptomatte tab and kept in the scene: the saved
// scene renders the types chosen with the ranks chosen.
TEST(CryptomatteSettingsTest, ChosenOnThePanelAndKeptInTheScene)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"), e2e::sceneHeader());
    std::string out;
    ASSERT_EQ(e2e::devhostIn(dir.path(),
                             "ui scene.lws " +
                                 e2e::shellQuoted(std::string(DOCS_DIR) + "/tests/ui/cryptomatte-settings.ui"),
                             &out),
              0)
        << out;
    const std::string saved = testsupport::readFile(dir.file("saved.lws"));
    for (const char *part : {"{ CryptoObject 1 }", "{ CryptoMaterial 0 }", "{ CryptoAsset 1 }",
                             "{ CryptoLevels 10 }", "{ CryptoAlphaEdges 1 }"})
        EXPECT_NE(saved.find(part), std::string::npos) << part << "\n" << saved;
    ASSERT_EQ(e2e::devhostIn(dir.path(), "render saved.lws --quiet", &out), 0) << out;
    const std::vector<std::string> channels = e2e::channelsOf(e2e::headerOf(dir.file("out/shot001.exr")));
    std::set<std::string> layers;
    for (const std::string &c : channels)
        if (c.rfind("Crypto", 0) == 0)
            layers.insert(c.substr(0, c.find('.')));
    EXPECT_EQ(layers.size(), 10u) << "five layers of each type";
    EXPECT_EQ(layers.count("CryptoAsset04"), 1u);
    EXPECT_EQ(layers.count("CryptoMaterial00"), 0u);
}

} // namespace
