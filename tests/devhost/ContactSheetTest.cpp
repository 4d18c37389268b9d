// The contact sheet and the header summary of an OpenEXR file: a file with
// one layer of every kind is written with the OpenEXR library, drawn, and
// the sheet read back with libpng; the devhost program's commands answer
// as documented.

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <half.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>

#include "ImageReadBack.h"
#include "TestSupport.h"
#include "devhost/tools/ContactSheet.h"

namespace {

constexpr int W = 64, H = 32;

struct Pixel {
    int r, g, b;
    bool operator<(const Pixel &o) const
    {
        return std::tie(r, g, b) < std::tie(o.r, o.g, o.b);
    }
    bool operator==(const Pixel &o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Pixel &o) const { return !(*this == o); }
};

std::ostream &operator<<(std::ostream &out, const Pixel &p)
{
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

// Beauty red on the left and empty on the right; depth from 2 to 10 over
// the top rows and a 1e30 backdrop below; ids in four columns; motion 4
// pixels to the right on the left half; normals facing +Z; a constant
// 0.25 shading; a signed value from -5 to 5; a subsampled chroma channel.
void writeLayeredFile(const std::string &path)
{
    Imf::Header h(W, H);
    Imf::ChannelList &c = h.channels();
    for (const char *n : {"R", "G", "B", "A", "Motion.X", "Motion.Y", "N.X", "N.Y", "N.Z", "Shading.Y"})
        c.insert(n, Imf::Channel(Imf::HALF));
    c.insert("Z", Imf::Channel(Imf::FLOAT));
    c.insert("Other.U", Imf::Channel(Imf::FLOAT));
    c.insert("ObjectID", Imf::Channel(Imf::UINT));
    c.insert("Chroma.RY", Imf::Channel(Imf::HALF, 2, 2));
    h.insert("owner", Imf::StringAttribute("Contact sheet test"));
    h.insert("Software", Imf::StringAttribute("LightWave 3D\xAE"));
    Imf::addComments(h, "two lines\nof comment");

    std::map<std::string, std::vector<float>> planes;
    auto plane = [&](const std::string &name, float (*f)(int, int)) {
        std::vector<float> &p = planes[name];
        p.resize(W * H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                p[y * W + x] = f(x, y);
    };
    plane("R", [](int x, int) { return x < 32 ? 1.0f : 0.0f; });
    plane("G", [](int, int) { return 0.0f; });
    plane("B", [](int, int) { return 0.0f; });
    plane("A", [](int x, int) { return x < 32 ? 1.0f : 0.0f; });
    plane("Z", [](int x, int y) { return y < 16 ? 2.0f + 8.0f * x / (W - 1) : 1e30f; });
    plane("Motion.X", [](int x, int) { return x < 32 ? 4.0f : 0.0f; });
    plane("Motion.Y", [](int, int) { return 0.0f; });
    plane("N.X", [](int, int) { return 0.0f; });
    plane("N.Y", [](int, int) { return 0.0f; });
    plane("N.Z", [](int, int) { return 1.0f; });
    plane("Shading.Y", [](int, int) { return 0.25f; });
    plane("Other.U", [](int x, int) { return -5.0f + 10.0f * x / (W - 1); });
    std::vector<std::uint32_t> ids(W * H);
    for (int i = 0; i < W * H; ++i)
        ids[i] = static_cast<std::uint32_t>((i % W) / 16);
    std::vector<half> chroma(W * H / 4, half(0.5f));

    // Writing converts no types: half channels get half samples.
    std::map<std::string, std::vector<half>> halves;
    Imf::FrameBuffer fb;
    for (auto &[name, p] : planes) {
        if (c.findChannel(name)->type == Imf::FLOAT) {
            fb.insert(name, Imf::Slice::Make(Imf::FLOAT, p.data(), h.dataWindow()));
            continue;
        }
        std::vector<half> &hp = halves[name];
        hp.assign(p.begin(), p.end());
        fb.insert(name, Imf::Slice::Make(Imf::HALF, hp.data(), h.dataWindow()));
    }
    fb.insert("ObjectID", Imf::Slice::Make(Imf::UINT, ids.data(), h.dataWindow()));
    fb.insert("Chroma.RY", Imf::Slice::Make(Imf::HALF, chroma.data(), h.dataWindow(), 0, 0, 2, 2));
    Imf::OutputFile out(path.c_str(), h);
    out.setFrameBuffer(fb);
    out.writePixels(H);
}

class Sheet {
public:
    Sheet(const devhost::ContactSheet &sheet, const readback::Png &png) : sheet_(sheet), png_(png) {}
    const devhost::SheetTile &tile(const std::string &title) const
    {
        for (const devhost::SheetTile &t : sheet_.tiles)
            if (t.title == title)
                return t;
        throw std::runtime_error("no tile " + title);
    }
    // The sheet's pixel showing file pixel (x, y) in a tile.
    Pixel at(const std::string &title, int x, int y) const
    {
        const devhost::SheetTile &t = tile(title);
        const int sx = t.x + static_cast<int>((x + 0.5) * t.width / W);
        const int sy = t.y + static_cast<int>((y + 0.5) * t.height / H);
        return {png_.at(sx, sy, 0), png_.at(sx, sy, 1), png_.at(sx, sy, 2)};
    }

private:
    const devhost::ContactSheet &sheet_;
    const readback::Png &png_;
};

bool grey(const Pixel &p) { return p.r == p.g && p.g == p.b; }

TEST(ContactSheet, DrawsEveryLayerWithAMappingOfItsKind)
{
    testsupport::TempDir dir;
    const std::string exr = dir.file("layers.exr"), png = dir.file("sheet.png");
    writeLayeredFile(exr);
    const devhost::ContactSheet sheet = devhost::writeContactSheet(exr, png);

    std::vector<std::string> titles;
    for (const devhost::SheetTile &t : sheet.tiles)
        titles.push_back(t.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"RGBA", "Z", "ObjectID", "Chroma.RY", "Motion", "N",
                                                "Other.U", "Shading.Y"}));
    const readback::Png back = readback::readPng(png);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.width, sheet.width);
    EXPECT_EQ(back.height, sheet.height);
    ASSERT_EQ(back.channels, 3);
    const Sheet s(sheet, back);

    // Every picture keeps the frame's shape and lies inside the page.
    for (const devhost::SheetTile &t : sheet.tiles) {
        EXPECT_NEAR(t.width, 2 * t.height, 1) << t.title;
        EXPECT_GE(t.x, 0);
        EXPECT_LE(t.x + t.width, sheet.width);
        EXPECT_LE(t.y + t.height, sheet.height);
    }

    // Colour: opaque red as it is, the empty half shows the checkerboard.
    EXPECT_EQ(s.tile("RGBA").channels, "R G B A  half");
    EXPECT_EQ(s.at("RGBA", 8, 8), (Pixel{255, 0, 0}));
    std::set<Pixel> checks;
    for (int x = 34; x < W; x += 3)
        checks.insert(s.at("RGBA", x, 5));
    EXPECT_EQ(checks.size(), 2u) << "two shades of grey";
    for (const Pixel &p : checks)
        EXPECT_TRUE(grey(p)) << p;

    // Depth: stretched over its finite range, the backdrop marked apart.
    const devhost::SheetTile &z = s.tile("Z");
    EXPECT_EQ(z.channels, "Z  float");
    EXPECT_EQ(s.at("Z", 0, 4), (Pixel{0, 0, 0}));
    EXPECT_EQ(s.at("Z", W - 1, 4), (Pixel{255, 255, 255}));
    const Pixel middle = s.at("Z", 31, 4);
    EXPECT_TRUE(grey(middle) && middle.r > 100 && middle.r < 155) << middle;
    const Pixel backdrop = s.at("Z", 10, 24);
    EXPECT_FALSE(grey(backdrop)) << backdrop;
    EXPECT_EQ(z.legend, "stretched");

    // Ids: one colour per id, 0 black.
    std::set<Pixel> idColours;
    for (int x : {8, 24, 40, 56})
        idColours.insert(s.at("ObjectID", x, 10));
    EXPECT_EQ(idColours.size(), 4u);
    EXPECT_EQ(s.at("ObjectID", 8, 10), (Pixel{0, 0, 0}));
    EXPECT_NE(s.tile("ObjectID").legend.find("4 ids"), std::string::npos);

    // Motion: rightwards is saturated red, standing still white.
    EXPECT_EQ(s.at("Motion", 8, 8), (Pixel{255, 0, 0}));
    EXPECT_EQ(s.at("Motion", 48, 8), (Pixel{255, 255, 255}));
    EXPECT_NE(s.tile("Motion").legend.find("max\xC2\xA0" "4"), std::string::npos);

    // Directions: +Z is blue over mid grey.
    EXPECT_EQ(s.at("N", 20, 20), (Pixel{128, 128, 255}));

    // Bounded values as they are, unbounded ones stretched.
    EXPECT_EQ(s.at("Shading.Y", 20, 20), (Pixel{64, 64, 64}));
    EXPECT_EQ(s.tile("Shading.Y").legend, "as stored");
    EXPECT_EQ(s.at("Other.U", 0, 0), (Pixel{0, 0, 0}));
    EXPECT_EQ(s.at("Other.U", W - 1, 0), (Pixel{255, 255, 255}));

    // What cannot be drawn says why, without failing the sheet.
    EXPECT_TRUE(s.tile("Chroma.RY").error.empty());
    for (const devhost::SheetTile &t : sheet.tiles)
        EXPECT_TRUE(t.error.empty()) << t.title << ": " << t.error;
}

// A Cryptomatte layer (its type named in the header) shows rank 0's ids as
// colours dimmed by their coverage; a layer of the same shape that no type
// names stays a colour layer.
TEST(ContactSheet, CryptomatteLayersShowTheirIds)
{
    testsupport::TempDir dir;
    const std::string exr = dir.file("mattes.exr"), png = dir.file("sheet.png");
    Imf::Header h(W, H);
    h.insert("cryptomatte/3ae39a5/name", Imf::StringAttribute("CryptoObject"));
    const float ids[2] = {3.5e-12f, -7.25e9f};
    std::vector<float> planes[8];
    Imf::FrameBuffer fb;
    for (int layer = 0; layer < 2; ++layer)
        for (int c = 0; c < 4; ++c) {
            std::vector<float> &p = planes[layer * 4 + c];
            p.assign(W * H, 0.0f);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const int item = x < 16 ? -1 : x < 40 ? 0 : 1;
                    if (item >= 0 && c == 0)
                        p[y * W + x] = ids[item];
                    if (item >= 0 && c == 1)
                        p[y * W + x] = y < H / 2 ? 1.0f : 0.5f;
                }
            const std::string name = std::string(layer ? "Other00." : "CryptoObject00.") + "RGBA"[c];
            h.channels().insert(name, Imf::Channel(Imf::FLOAT));
            fb.insert(name, Imf::Slice::Make(Imf::FLOAT, p.data(), h.dataWindow()));
        }
    {
        Imf::OutputFile out(exr.c_str(), h);
        out.setFrameBuffer(fb);
        out.writePixels(H);
    }
    const devhost::ContactSheet sheet = devhost::writeContactSheet(exr, png);
    const readback::Png back = readback::readPng(png);
    ASSERT_TRUE(back.ok);
    const Sheet s(sheet, back);
    EXPECT_NE(s.tile("CryptoObject00").legend.find("Cryptomatte"), std::string::npos);
    EXPECT_EQ(s.tile("Other00").legend.find("Cryptomatte"), std::string::npos);
    EXPECT_EQ(s.at("CryptoObject00", 4, 4), (Pixel{0, 0, 0})) << "no item";
    const Pixel first = s.at("CryptoObject00", 20, 4), second = s.at("CryptoObject00", 50, 4);
    EXPECT_NE(first, second) << "one colour per id";
    EXPECT_NE(first, (Pixel{0, 0, 0}));
    const Pixel half = s.at("CryptoObject00", 20, H - 4);
    EXPECT_LT(half.r + half.g + half.b, first.r + first.g + first.b) << "dimmed by its coverage";
}

TEST(ContactSheet, SheetAndHeaderCommands)
{
    testsupport::TempDir dir;
    const std::string exr = dir.file("layers.exr");
    writeLayeredFile(exr);
    const std::string devhost = testsupport::devhostPath();
    std::string out;

    ASSERT_EQ(testsupport::run(devhost + " sheet " + exr + " " + dir.file("s.png"), &out), 0) << out;
    EXPECT_EQ(out.rfind("contact sheet: " + dir.file("s.png") + " (8 tiles, ", 0), 0u) << out;
    EXPECT_TRUE(readback::readPng(dir.file("s.png")).ok);
    ASSERT_EQ(testsupport::run(devhost + " sheet " + exr + " " + dir.file("q.png") + " --quiet", &out), 0);
    EXPECT_EQ(out, "");

    // The header: layers with their channels and types, every attribute once.
    ASSERT_EQ(testsupport::run(devhost + " header " + exr, &out), 0) << out;
    for (const char *line :
         {"  scanline, 64 x 32 pixels, compression zip, line order increasing y, pixel aspect 1\n",
          "  display window (0, 0) - (63, 31), data window the same\n",
          "    (top level)  R G B A half, Z float, ObjectID uint\n",
          "    Chroma       RY half (sampled 2 x 2)\n", "    Motion       X Y half\n",
          "    N            X Y Z half\n", "    Other        U float\n",
          "    Shading      Y half\n", "    Software            \"LightWave 3D\\xAE\"\n",
          "    comments            \"two lines\\nof comment\"\n"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "in\n" << out;
    for (const char *once : {"owner", "comments", "compression", "dataWindow", "screenWindowWidth"}) {
        std::size_t count = 0;
        for (std::size_t at = out.find(once); at != std::string::npos; at = out.find(once, at + 1))
            ++count;
        EXPECT_LE(count, 1u) << once << " in\n" << out;
    }

    // Failures name the file and the cause.
    const std::string missing = dir.file("missing.exr");
    EXPECT_EQ(testsupport::run(devhost + " sheet " + missing + " " + dir.file("m.png"), &out), 1);
    EXPECT_EQ(out, "devhost: Cannot read \"" + missing + "\": file not found\n");
    EXPECT_EQ(testsupport::run(devhost + " header " + dir.path().string(), &out), 1);
    EXPECT_NE(out.find("not a regular file"), std::string::npos) << out;
    EXPECT_EQ(testsupport::run(devhost + " sheet " + dir.file("s.png") + " " + dir.file("p.png"), &out), 1);
    EXPECT_NE(out.find("Cannot read \"" + dir.file("s.png") + "\" as OpenEXR"), std::string::npos) << out;
    EXPECT_EQ(testsupport::run(devhost + " sheet " + exr + " " + dir.file("no/such/dir.png"), &out), 1);
    EXPECT_NE(out.find("Cannot write the contact sheet \"" + dir.file("no/such/dir.png") + "\""),
              std::string::npos)
        << out;
    EXPECT_EQ(testsupport::run(devhost + " sheet " + exr, &out), 2);

    // A file whose pixels are damaged: the sheet is still drawn, the tile
    // carries the cause and the command fails.
    const std::string damaged = testsupport::dataPath("damaged/missing_scanlines.exr");
    EXPECT_EQ(testsupport::run(devhost + " sheet " + damaged + " " + dir.file("d.png"), &out), 1);
    EXPECT_NE(out.find("devhost: RGB: cannot read the pixels: "), std::string::npos) << out;
    EXPECT_TRUE(readback::readPng(dir.file("d.png")).ok);
}

} // namespace
