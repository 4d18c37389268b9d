// The OpenEXR loader through the real module: the development host tries
// its loaders on a file, and everything the loader sent is compared with
// what the OpenEXR library reads from the same file.
#include <filesystem>
#include <fstream>

#include <cmath>

#include <ImfFloatAttribute.h>
#include <ImfMultiView.h>
#include <ImfPreviewImage.h>
#include <ImfMultiPartOutputFile.h>
#include <ImfOutputPart.h>
#include <ImfPartType.h>
#include <ImfTiledRgbaFile.h>
#include <ImfRationalAttribute.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>

#include <lwsdk/system.h>

#include "ImageIOTest.h"
#include "LoaderFiles.h"

namespace {

using loaderfiles::box;
using loaderfiles::readRgba;
using loaderfiles::writeChannels;

float pixel(const devhost::LoadedImage &img, int x, int y, int c)
{
    const st_LWPixmap *p = img.image();
    float v;
    std::memcpy(&v, p->row(y) + static_cast<std::size_t>(x) * p->pixelBytes + 4 * c, 4);
    return v;
}

class OpenEXRLoaderTest : public imageio::ImageIOTest {
protected:
    devhost::LoadedImage loadExr(const std::string &file, int version = 3)
    {
        devhost::ImageLoading loading(host());
        loading.setLoaderVersion(version);
        return loading.loadWith("LW_OpenEXR", file);
    }

    // Every loaded pixel against the library's RGBA pixels of the same
    // file, placed by the display window; pixels without data are 0.
    void expectPixelsLikeTheLibrary(const devhost::LoadedImage &img, const std::string &file,
                                    int channels)
    {
        const Imf::Header h = imageio::readHeader(file);
        const Imath::Box2i display = h.displayWindow();
        Imath::Box2i all = display;
        all.extendBy(h.dataWindow());
        const loaderfiles::RgbaPixels lib = readRgba(file, all);
        const Imath::Box2i data = h.dataWindow();
        ASSERT_NE(img.image(), nullptr);
        for (int j = 0; j < img.height; ++j)
            for (int i = 0; i < img.width; ++i) {
                const int x = display.min.x + i, y = display.min.y + j;
                const bool has = data.intersects(Imath::V2i(x, y));
                const Imf::Rgba &p = lib.at(x, y);
                const float want[4] = {p.r, p.g, p.b, p.a};
                for (int c = 0; c < channels; ++c)
                    ASSERT_EQ(pixel(img, i, j, c), has ? want[c] : 0.0f)
                        << "host " << i << "," << j << " channel " << c;
            }
    }
};

TEST_F(OpenEXRLoaderTest, FilesThatAreNotOpenEXRAreNotRecognised)
{
    testsupport::writeFile(dir.file("text.exr"), "this is not an image at all");
    const std::string png = dir.file("picture.png");
    const unsigned char rgb[3] = {1, 2, 3};
    ASSERT_EQ(save(image(LWIMTYP_RGB24, 1, 1, rgb), "PNG(.png)", png), IPSTAT_OK);
    for (const std::string &f : {dir.file("text.exr"), png, dir.file("missing.exr")}) {
        const devhost::LoadedImage img = loadExr(f);
        ASSERT_EQ(img.attempts.size(), 1u);
        EXPECT_EQ(img.attempts[0].activation, AFUNC_OK) << f;
        EXPECT_EQ(img.result, IPSTAT_NOREC) << f;
        EXPECT_EQ(img.beginCalls, 0) << "no image begun for " << f;
        EXPECT_EQ(img.hostDoneCalls, 0);
    }
    EXPECT_TRUE(messages(devhost::Message::Error).empty());

    // The host goes on to its other loaders; here its own PNG loader.
    devhost::ImageLoading loading(host());
    const devhost::LoadedImage viaHost = loading.load(png);
    EXPECT_EQ(viaHost.loader, "PNG(.png)");
    EXPECT_EQ(viaHost.result, IPSTAT_OK);
}

TEST_F(OpenEXRLoaderTest, ChannelSetsChooseTheImageType)
{
    const auto win = box(0, 0, 5, 3);
    struct Case {
        std::vector<std::string> channels;
        int type;
    } cases[] = {
        {{"R", "G", "B"}, LWIMTYP_RGBFP},
        {{"Y"}, LWIMTYP_GREYFP},
        {{"R", "G", "B", "A"}, LWIMTYP_RGBAFP},
        {{"Y", "A"}, LWIMTYP_RGBAFP},
        {{"R"}, LWIMTYP_RGBAFP},
        {{"R", "G", "B", "A", "Diffuse.R", "Normal.X"}, LWIMTYP_RGBAFP},
    };
    int n = 0;
    for (const Case &c : cases) {
        const std::string file = dir.file("set" + std::to_string(n++) + ".exr");
        writeChannels(file, win, win, c.channels);
        const devhost::LoadedImage img = loadExr(file);
        SCOPED_TRACE(file);
        ASSERT_EQ(img.result, IPSTAT_OK);
        EXPECT_EQ(img.imageType, c.type);
        EXPECT_EQ(img.width, 6);
        EXPECT_EQ(img.height, 4);
        const int per = c.type == LWIMTYP_GREYFP ? 1 : c.type == LWIMTYP_RGBFP ? 3 : 4;
        expectPixelsLikeTheLibrary(img, file, per);
    }
    // A grey file's single value is its Y.
    const devhost::LoadedImage grey = loadExr(dir.file("set1.exr"));
    EXPECT_EQ(pixel(grey, 3, 2, 0), loaderfiles::sample(0, 3, 2));

    // Luminance with chroma is a colour file.
    const std::string yc = dir.file("yc.exr");
    loaderfiles::writeLuminanceChroma(yc, 8, 6);
    const devhost::LoadedImage colour = loadExr(yc);
    ASSERT_EQ(colour.result, IPSTAT_OK);
    EXPECT_EQ(colour.imageType, LWIMTYP_RGBFP);
    expectPixelsLikeTheLibrary(colour, yc, 3);
}

TEST_F(OpenEXRLoaderTest, DataWindowSmallerThanTheDisplayWindow)
{
    const std::string file = dir.file("small-data.exr");
    writeChannels(file, box(0, 0, 9, 7), box(2, 3, 6, 5), {"R", "G", "B", "A"});
    const devhost::LoadedImage img = loadExr(file);
    ASSERT_EQ(img.result, IPSTAT_OK);
    EXPECT_EQ(img.width, 10);
    EXPECT_EQ(img.height, 8);
    EXPECT_EQ(img.rowsReceived, (std::vector<int>{3, 4, 5})) << "only rows with data are sent";
    EXPECT_EQ(img.progressTotal, 3u);
    EXPECT_EQ(img.progressSteps, 3u);
    EXPECT_TRUE(img.progressDone);
    expectPixelsLikeTheLibrary(img, file, 4);
    EXPECT_EQ(pixel(img, 1, 4, 0), 0.0f) << "columns without data are 0";
    EXPECT_EQ(pixel(img, 2, 4, 0), loaderfiles::sample(0, 2, 4));
}

TEST_F(OpenEXRLoaderTest, DataWindowLargerThanAndAwayFromTheDisplayWindow)
{
    // The display window does not start at (0, 0), and the data window
    // reaches past it on every side: host pixel (i, j) shows file pixel
    // (10 + i, 20 + j); the rest of the file is dropped.
    const std::string file = dir.file("large-data.exr");
    writeChannels(file, box(10, 20, 17, 25), box(5, 18, 22, 30), {"R", "G", "B"});
    const devhost::LoadedImage img = loadExr(file);
    ASSERT_EQ(img.result, IPSTAT_OK);
    EXPECT_EQ(img.width, 8);
    EXPECT_EQ(img.height, 6);
    EXPECT_EQ(img.rowsReceived, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(img.progressTotal, 6u);
    expectPixelsLikeTheLibrary(img, file, 3);
    EXPECT_EQ(pixel(img, 0, 0, 2), loaderfiles::sample(2, 10, 20));
    EXPECT_EQ(pixel(img, 7, 5, 1), loaderfiles::sample(1, 17, 25));

    // Partly overlapping on the left and at the bottom.
    const std::string shifted = dir.file("shifted.exr");
    writeChannels(shifted, box(-4, -4, 3, 3), box(-8, 1, 0, 9), {"R", "G", "B", "A"});
    const devhost::LoadedImage part = loadExr(shifted);
    ASSERT_EQ(part.result, IPSTAT_OK);
    EXPECT_EQ(part.rowsReceived, (std::vector<int>{5, 6, 7}));
    expectPixelsLikeTheLibrary(part, shifted, 4);

    // Beside it: the rows are sent, all 0.
    const std::string beside = dir.file("beside.exr");
    writeChannels(beside, box(0, 0, 7, 3), box(100, 1, 103, 2), {"R", "G", "B", "A"});
    const devhost::LoadedImage side = loadExr(beside);
    ASSERT_EQ(side.result, IPSTAT_OK);
    EXPECT_EQ(side.rowsReceived, (std::vector<int>{1, 2}));
    expectPixelsLikeTheLibrary(side, beside, 4);

    // Wholly outside: an image of the display's size, no rows sent.
    const std::string away = dir.file("away.exr");
    writeChannels(away, box(0, 0, 3, 3), box(100, -50, 120, -40), {"R", "G", "B"});
    const devhost::LoadedImage none = loadExr(away);
    EXPECT_EQ(none.result, IPSTAT_OK);
    EXPECT_EQ(none.width, 4);
    EXPECT_TRUE(none.rowsReceived.empty());
    expectPixelsLikeTheLibrary(none, away, 3);
}

// Tiled files of every level mode, and multi-part files (their first
// part), pass the header checks and load like scan-line files.
TEST_F(OpenEXRLoaderTest, TiledAndMultiPartFilesLoad)
{
    struct Mode {
        Imf::LevelMode mode;
        Imf::LevelRoundingMode rounding;
    } modes[] = {{Imf::ONE_LEVEL, Imf::ROUND_DOWN},
                 {Imf::MIPMAP_LEVELS, Imf::ROUND_DOWN},
                 {Imf::MIPMAP_LEVELS, Imf::ROUND_UP},
                 {Imf::RIPMAP_LEVELS, Imf::ROUND_UP}};
    int n = 0;
    for (const Mode &m : modes) {
        const std::string file = dir.file("tiled" + std::to_string(n++) + ".exr");
        {
            Imf::Header h(box(0, 0, 36, 20), box(-3, 2, 40, 17));
            h.compression() = Imf::ZIP_COMPRESSION;
            Imf::TiledRgbaOutputFile out(file.c_str(), h, Imf::WRITE_RGBA, 8, 6, m.mode,
                                         m.rounding);
            for (int ly = 0; ly < out.numYLevels(); ++ly)
                for (int lx = 0; lx < out.numXLevels(); ++lx) {
                    if (m.mode == Imf::MIPMAP_LEVELS && lx != ly)
                        continue;
                    const Imath::Box2i w = out.dataWindowForLevel(lx, ly);
                    const int width = w.max.x - w.min.x + 1;
                    const int height = w.max.y - w.min.y + 1;
                    std::vector<Imf::Rgba> px(static_cast<std::size_t>(width) * height);
                    for (int y = 0; y < height; ++y)
                        for (int x = 0; x < width; ++x)
                            px[static_cast<std::size_t>(y) * width + x] =
                                Imf::Rgba(loaderfiles::sample(0, x + lx, y), loaderfiles::sample(1, x, y + ly),
                                          loaderfiles::sample(2, x, y), 0.5f);
                    out.setFrameBuffer(px.data() - w.min.x - static_cast<std::ptrdiff_t>(w.min.y) * width,
                                       1, static_cast<std::size_t>(width));
                    out.writeTiles(0, out.numXTiles(lx) - 1, 0, out.numYTiles(ly) - 1, lx, ly);
                }
        }
        const devhost::LoadedImage img = loadExr(file);
        SCOPED_TRACE(file);
        ASSERT_EQ(img.result, IPSTAT_OK) << lastError();
        EXPECT_EQ(img.imageType, LWIMTYP_RGBAFP);
        EXPECT_EQ(img.rowsReceived.size(), 16u);
        expectPixelsLikeTheLibrary(img, file, 4);
    }

    const std::string multi = dir.file("multi.exr");
    {
        Imf::Header first(box(0, 0, 9, 5), box(0, 0, 9, 5));
        first.channels().insert("R", Imf::Channel(Imf::HALF));
        first.channels().insert("G", Imf::Channel(Imf::HALF));
        first.channels().insert("B", Imf::Channel(Imf::HALF));
        first.setName("beauty");
        first.setType(Imf::SCANLINEIMAGE);
        Imf::Header second(box(0, 0, 9, 5), box(0, 0, 3, 3));
        second.channels().insert("Z", Imf::Channel(Imf::FLOAT));
        second.setName("depth");
        second.setType(Imf::SCANLINEIMAGE);
        const Imf::Header headers[] = {first, second};
        Imf::MultiPartOutputFile out(multi.c_str(), headers, 2);
        std::vector<half> r(60);
        std::vector<float> z(16, 2.5f);
        for (int i = 0; i < 60; ++i)
            r[i] = half(i * 0.125f);
        Imf::OutputPart beauty(out, 0);
        Imf::FrameBuffer fb;
        for (const char *c : {"R", "G", "B"})
            fb.insert(c, Imf::Slice(Imf::HALF, reinterpret_cast<char *>(r.data()), 2, 20));
        beauty.setFrameBuffer(fb);
        beauty.writePixels(6);
        Imf::OutputPart depth(out, 1);
        Imf::FrameBuffer zb;
        zb.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(z.data()), 4, 16));
        depth.setFrameBuffer(zb);
        depth.writePixels(4);
    }
    const devhost::LoadedImage img = loadExr(multi);
    ASSERT_EQ(img.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(img.imageType, LWIMTYP_RGBFP);
    EXPECT_EQ(img.width, 10);
    EXPECT_EQ(pixel(img, 3, 2, 1), 23 * 0.125f);
}

TEST_F(OpenEXRLoaderTest, MetadataItemsAndPixelAspectByVersion)
{
    const std::string file = dir.file("meta.exr");
    writeChannels(file, box(0, 0, 11, 6), box(0, 0, 11, 6), {"R", "G", "B"},
                  Imf::ZIP_COMPRESSION, [](Imf::Header &h) {
                      h.pixelAspectRatio() = 1.5f;
                      h.insert("comments", Imf::StringAttribute("take 3"));
                      h.insert("framesPerSecond", Imf::RationalAttribute(Imf::Rational(25, 1)));
                      h.insert("xDensity", Imf::FloatAttribute(2.0f));
                      h.insert("owner", Imf::StringAttribute("ada"));
                      h.insert("LW.FrameNumber", Imf::StringAttribute("12"));
                      h.insert("LW.AAFilter", Imf::StringAttribute("Box (Sharp)"));
                      h.insert("unrelated", Imf::StringAttribute("not passed on"));
                  });
    using Items = std::vector<std::pair<int, std::string>>;
    const devhost::LoadedImage v3 = loadExr(file, 3);
    ASSERT_EQ(v3.result, IPSTAT_OK);
    EXPECT_EQ(v3.metadata, (Items{{25, "take 3"},
                                  {4, "25"},
                                  {3, "2"},
                                  {24, "49153 12"},
                                  {24, "49169 Box (Sharp)"},
                                  {9, "12"},
                                  {10, "7"},
                                  {7, "1.0"},
                                  {1, "1.5"}}));
    EXPECT_FALSE(v3.pixelAspectSet);

    const devhost::LoadedImage v2 = loadExr(file, 2);
    ASSERT_EQ(v2.result, IPSTAT_OK);
    EXPECT_TRUE(v2.pixelAspectSet);
    EXPECT_EQ(v2.pixelAspect, 1.5f);
    ASSERT_GE(v2.metadata.size(), 2u);
    EXPECT_EQ(v2.metadata[v2.metadata.size() - 2], (std::pair<int, std::string>{9, "12"}));
    EXPECT_EQ(v2.metadata.back(), (std::pair<int, std::string>{10, "7"}));
    expectPixelsLikeTheLibrary(v2, file, 3);
}

TEST_F(OpenEXRLoaderTest, IncompleteFilesAnswerTwoWithoutAnImage)
{
    const std::string whole = dir.file("whole.exr");
    writeChannels(whole, box(0, 0, 63, 63), box(0, 0, 63, 63), {"R", "G", "B"},
                  Imf::ZIP_COMPRESSION);
    const std::string bytes = testsupport::readFile(whole);
    // Cuts inside the pixel data and in the last block.
    const std::size_t cuts[] = {bytes.size() / 3, bytes.size() * 2 / 3, bytes.size() - 10};
    for (std::size_t cut : cuts) {
        const std::string file = dir.file("cut" + std::to_string(cut) + ".exr");
        testsupport::writeFile(file, bytes.substr(0, cut));
        const devhost::LoadedImage img = loadExr(file);
        EXPECT_EQ(img.attempts[0].activation, AFUNC_OK);
        EXPECT_EQ(img.result, IPSTAT_BADFILE) << cut;
        EXPECT_EQ(img.beginCalls, 0);
        EXPECT_EQ(img.image(), nullptr);
    }
    EXPECT_TRUE(messages(devhost::Message::Error).empty());
}

TEST_F(OpenEXRLoaderTest, HostAnswersBecomeTheResult)
{
    const std::string file = dir.file("answers.exr");
    writeChannels(file, box(0, 0, 3, 2), box(0, 0, 3, 2), {"R", "G", "B", "A"});

    struct Host {
        LWImageProtocol protocol{};
        bool giveImage = true;
        int failRow = -1;
        int begins = 0, protocolDone = 0, hostDone = 0, doneCode = -1;
        std::vector<int> rows;
    };
    auto run = [&](Host &h, int version) {
        LWImageLoaderLocal local{};
        local.priv_data = &h;
        local.filename = file.c_str();
        local.begin = [](void *priv, int type) -> LWImageProtocolID {
            auto *h = static_cast<Host *>(priv);
            ++h->begins;
            if (!h->giveImage)
                return nullptr;
            h->protocol = LWImageProtocol{};
            h->protocol.type = type;
            h->protocol.priv_data = h;
            h->protocol.sendLine = [](void *priv, int row, const void *) {
                auto *h = static_cast<Host *>(priv);
                h->rows.push_back(row);
                return row == h->failRow ? IPSTAT_ABORT : IPSTAT_OK;
            };
            h->protocol.done = [](void *priv, int code) {
                auto *h = static_cast<Host *>(priv);
                ++h->protocolDone;
                h->doneCode = code;
                return code;
            };
            return &h->protocol;
        };
        local.done = [](void *priv, LWImageProtocolID) { ++static_cast<Host *>(priv)->hostDone; };
        const int activation = host().activate(LWIMAGELOADER_CLASS, "LW_OpenEXR", version, &local);
        EXPECT_EQ(activation, AFUNC_OK);
        return local.result;
    };

    Host noImage;
    noImage.giveImage = false;
    EXPECT_EQ(run(noImage, 3), IPSTAT_FAILED);
    EXPECT_EQ(noImage.begins, 1);
    EXPECT_EQ(noImage.hostDone, 0) << "nothing to hand back";

    Host stops;
    stops.failRow = 1;
    EXPECT_EQ(run(stops, 2), IPSTAT_ABORT);
    EXPECT_EQ(stops.rows, (std::vector<int>{0, 1})) << "the load ends at the refused row";
    EXPECT_EQ(stops.protocolDone, 1);
    EXPECT_EQ(stops.doneCode, IPSTAT_ABORT);
    EXPECT_EQ(stops.hostDone, 1);

    // A host without the optional callbacks (size, parameters, metadata).
    Host sparse;
    EXPECT_EQ(run(sparse, 3), IPSTAT_OK);
    EXPECT_EQ(sparse.rows, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(sparse.hostDone, 1);
}

TEST_F(OpenEXRLoaderTest, ActivationRules)
{
    const std::string file = dir.file("rules.exr");
    writeChannels(file, box(0, 0, 1, 1), box(0, 0, 1, 1), {"Y"});
    host().services().resetCounts();
    LWImageLoaderLocal local{};
    local.filename = file.c_str();
    local.result = 12345;
    EXPECT_EQ(host().activate(LWIMAGELOADER_CLASS, "LW_OpenEXR", 4, &local), AFUNC_BADVERSION);
    EXPECT_EQ(local.result, 12345) << "a refused version touches nothing";
    EXPECT_EQ(host().services().use(LWSYSTEMID_GLOBAL).transients, 0);
    EXPECT_EQ(host().activate(LWIMAGELOADER_CLASS, "LW_OpenEXR", 3, nullptr), AFUNC_BADLOCAL);
    for (int version : {2, 3}) {
        const devhost::LoadedImage img = loadExr(file, version);
        EXPECT_EQ(img.result, IPSTAT_OK);
        EXPECT_EQ(img.imageType, LWIMTYP_GREYFP);
        EXPECT_EQ(img.protocolDoneCalls, 1);
        EXPECT_EQ(img.protocolDoneCode, IPSTAT_OK);
        EXPECT_EQ(img.hostDoneCalls, 1);
    }
    EXPECT_GT(host().services().use(LWSYSTEMID_GLOBAL).transients, 0);
    host().unloadModule();
    EXPECT_EQ(host().services().unreleased(), std::vector<std::string>{});
}

TEST_F(OpenEXRLoaderTest, ReadFailuresShowTheTwoLineErrorAndHandTheImageBack)
{
    const std::string file = dir.file("bad-pixels.exr");
    writeChannels(file, box(0, 0, 15, 15), box(0, 0, 15, 15), {"R", "G", "B"},
                  Imf::ZIP_COMPRESSION);
    // Scramble the compressed data of the first block, keeping sizes.
    std::string bytes = testsupport::readFile(file);
    for (std::size_t i = bytes.size() - 40; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    testsupport::writeFile(file, bytes);

    const devhost::LoadedImage img = loadExr(file);
    EXPECT_EQ(img.attempts[0].activation, AFUNC_BADAPP_SILENT);
    EXPECT_EQ(img.result, IPSTAT_FAILED);
    EXPECT_EQ(img.image(), nullptr);
    EXPECT_EQ(img.beginCalls, 1);
    EXPECT_EQ(img.protocolDoneCalls, 1);
    EXPECT_EQ(img.hostDoneCalls, 1) << "the begun image is handed back";
    const auto errors = messages(devhost::Message::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("An exception occured when attempting to load an image:|", 0), 0u)
        << errors[0];
    EXPECT_NE(errors[0].find(file), std::string::npos) << errors[0];
}

} // namespace

namespace {

// The environment variable that bounds an image's pixels, set for one
// scope.
class PixelLimit {
public:
    explicit PixelLimit(const char *value) { testsupport::setEnv("RAVELCAST_MAX_IMAGE_PIXELS", value); }
    ~PixelLimit() { testsupport::setEnv("RAVELCAST_MAX_IMAGE_PIXELS", nullptr); }
};

// The host allocates the whole display window: its area is checked against
// a limit before an image is asked for, whatever the data window holds.
TEST_F(OpenEXRLoaderTest, DisplayWindowAreaIsBounded)
{
    const std::string huge = dir.file("16k.exr");
    writeChannels(huge, box(0, 0, 16383, 16383), box(100, 200, 103, 201), {"R", "G", "B"});
    const devhost::LoadedImage refused = loadExr(huge);
    EXPECT_EQ(refused.attempts[0].activation, AFUNC_BADAPP_SILENT);
    EXPECT_EQ(refused.result, IPSTAT_FAILED);
    EXPECT_EQ(refused.beginCalls, 0) << "no image asked of the host";
    EXPECT_EQ(lastError(), "An exception occured when attempting to load an image:|Cannot read "
                           "image file \"" + huge + "\". Its display window (0, 0) - (16383, "
                           "16383) has 268435456 pixels, more than the 67108864 an image may "
                           "have (set RAVELCAST_MAX_IMAGE_PIXELS to allow more).");

    // A wide strip with a tiny data window is within the limit.
    const std::string strip = dir.file("strip.exr");
    writeChannels(strip, box(0, 0, 16383, 15), box(16000, 3, 16003, 4), {"R", "G", "B"});
    const devhost::LoadedImage wide = loadExr(strip);
    ASSERT_EQ(wide.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(wide.width, 16384);
    EXPECT_EQ(wide.rowsReceived, (std::vector<int>{3, 4}));
    expectPixelsLikeTheLibrary(wide, strip, 3);

    // The variable moves the limit both ways; values that are not a
    // positive number leave the default.
    const std::string small = dir.file("small.exr");
    writeChannels(small, box(0, 0, 19, 19), box(0, 0, 19, 19), {"R", "G", "B", "A"});
    {
        PixelLimit limit("399");
        const devhost::LoadedImage img = loadExr(small);
        EXPECT_EQ(img.result, IPSTAT_FAILED);
        EXPECT_NE(lastError().find("has 400 pixels, more than the 399 an image may have"),
                  std::string::npos)
            << lastError();
    }
    {
        PixelLimit limit("400");
        EXPECT_EQ(loadExr(small).result, IPSTAT_OK);
        EXPECT_EQ(loadExr(strip).result, IPSTAT_FAILED);
    }
    for (const char *ignored : {"", "abc", "0", "-5", "12x"}) {
        PixelLimit limit(ignored);
        EXPECT_EQ(loadExr(small).result, IPSTAT_OK) << ignored;
        EXPECT_EQ(loadExr(huge).result, IPSTAT_FAILED) << ignored;
    }
}

} // namespace

namespace {

using loaderfiles::PartSpec;

// Every sent pixel of an image made of the given part and layer against
// the library's own FLOAT reading of those channels (UINT converted by the
// library as well), placed by the part's display window; A is 1 where the
// file has none, pixels without data 0.
void expectChannelsExactly(const devhost::LoadedImage &img, const std::string &file, int part,
                           const std::string &layer, const std::vector<std::string> &names)
{
    Imf::MultiPartInputFile in(file.c_str());
    const Imath::Box2i display = in.header(part).displayWindow();
    const Imath::Box2i data = in.header(part).dataWindow();
    ASSERT_NE(img.image(), nullptr);
    ASSERT_EQ(img.width, display.max.x - display.min.x + 1);
    const int per = static_cast<int>(names.size());
    std::vector<imageio::ExrChannel> channels;
    std::vector<bool> present;
    for (const std::string &n : names) {
        channels.push_back(imageio::readChannel(file, layer + n, part));
        present.push_back(in.header(part).channels().findChannel(layer + n) != nullptr);
    }
    for (int j = 0; j < img.height; ++j)
        for (int i = 0; i < img.width; ++i) {
            const int x = display.min.x + i, y = display.min.y + j;
            const bool has = data.intersects(Imath::V2i(x, y));
            for (int c = 0; c < per; ++c) {
                float want = 0.0f;
                if (has)
                    want = present[c] ? channels[c].at(x, y)
                                      : (names[c] == "A" ? 1.0f : 0.0f);
                ASSERT_EQ(imageio::floatBits(pixel(img, i, j, c)), imageio::floatBits(want))
                    << layer << names[c] << " at " << x << "," << y << ": " << pixel(img, i, j, c)
                    << " instead of " << want;
            }
        }
}

// Values a half cannot hold: beyond its range, below its smallest normal,
// and more digits than it keeps.
float wideValue(int c, int x, int y)
{
    static const float kValues[] = {1.0e6f,   -3.0e38f, 65520.0f, 1.0e-7f, -6.0e-8f,
                                    1.0e-30f, 0.1f,     3.14159265f, 123456.789f};
    return kValues[(c * 5 + x * 3 + y) % 9] * (1.0f + 0.001f * (x + 1));
}

TEST_F(OpenEXRLoaderTest, FloatAndIntegerChannelsArriveExactly)
{
    const std::string rgba = dir.file("float-rgba.exr");
    PartSpec spec{"", box(0, 0, 8, 6), box(1, 1, 7, 6), {"A", "B", "G", "R"}, Imf::FLOAT};
    loaderfiles::writeParts(rgba, {spec}, wideValue);
    const devhost::LoadedImage img = loadExr(rgba);
    ASSERT_EQ(img.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(img.imageType, LWIMTYP_RGBAFP);
    expectChannelsExactly(img, rgba, 0, "", {"R", "G", "B", "A"});
    EXPECT_EQ(pixel(img, 2, 1, 0), wideValue(3, 2, 1)) << "R beyond the half range";
    EXPECT_GT(std::fabs(pixel(img, 1, 1, 0)), 0.0f);

    // Depth beyond 65504 in a grey file.
    const std::string depth = dir.file("float-y.exr");
    loaderfiles::writeParts(depth, {PartSpec{"", box(0, 0, 5, 3), box(0, 0, 5, 3), {"Y"}, Imf::FLOAT}},
                            [](int, int x, int y) { return 65504.0f + 1000.5f * (x + 7 * y); });
    const devhost::LoadedImage grey = loadExr(depth);
    ASSERT_EQ(grey.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(grey.imageType, LWIMTYP_GREYFP);
    expectChannelsExactly(grey, depth, 0, "", {"Y"});
    EXPECT_EQ(pixel(grey, 5, 3, 0), 65504.0f + 1000.5f * 26);

    // UINT channels, converted to float by the library: ids beyond 2^24
    // round as the library rounds them.
    const std::string ids = dir.file("uint.exr");
    loaderfiles::writeParts(ids, {PartSpec{"", box(0, 0, 3, 2), box(0, 0, 3, 2), {"B", "G", "R"}, Imf::UINT}},
                            [](int c, int x, int y) {
                                return static_cast<float>((c + 1) * 1000003u * (x + 4u * y) + 4000000000u * (x == 3));
                            });
    const devhost::LoadedImage uint = loadExr(ids);
    ASSERT_EQ(uint.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(uint.imageType, LWIMTYP_RGBFP);
    expectChannelsExactly(uint, ids, 0, "", {"R", "G", "B"});
    EXPECT_EQ(pixel(uint, 1, 1, 0), 3.0f * 1000003.0f * 5.0f);
}

// Which part and layer become the image.
TEST_F(OpenEXRLoaderTest, PartAndLayerChoice)
{
    // Depth first, colour second: the colour part.
    const std::string multi = dir.file("depth-then-rgba.exr");
    loaderfiles::writeParts(multi, {PartSpec{"depth", box(0, 0, 9, 5), box(0, 0, 9, 5), {"Z"}, Imf::FLOAT},
                                    PartSpec{"beauty", box(0, 0, 9, 5), box(2, 1, 8, 4), {"A", "B", "G", "R"}}});
    const devhost::LoadedImage beauty = loadExr(multi);
    ASSERT_EQ(beauty.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(beauty.imageType, LWIMTYP_RGBAFP);
    EXPECT_EQ(beauty.rowsReceived, (std::vector<int>{1, 2, 3, 4}));
    expectChannelsExactly(beauty, multi, 1, "", {"R", "G", "B", "A"});

    // Only layers: the first layer with colour in channel-list order, with
    // its own alpha; the image type follows that layer's channels.
    const std::string layers = dir.file("layers.exr");
    writeChannels(layers, box(0, 0, 5, 3), box(0, 0, 5, 3),
                  {"depth.Z", "layer.A", "layer.B", "layer.G", "layer.R", "spec.R", "spec.G",
                   "spec.B", "A"});
    const devhost::LoadedImage layer = loadExr(layers);
    ASSERT_EQ(layer.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(layer.imageType, LWIMTYP_RGBAFP);
    expectChannelsExactly(layer, layers, 0, "layer.", {"R", "G", "B", "A"});
    EXPECT_EQ(pixel(layer, 2, 1, 0), loaderfiles::sample(4, 2, 1)) << "layer.R, not spec.R";

    const std::string rgbLayer = dir.file("diffuse.exr");
    writeChannels(rgbLayer, box(0, 0, 5, 3), box(0, 0, 5, 3),
                  {"diffuse.R", "diffuse.G", "diffuse.B", "depth.Z", "a.b.Y"});
    const devhost::LoadedImage diffuse = loadExr(rgbLayer);
    ASSERT_EQ(diffuse.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(diffuse.imageType, LWIMTYP_GREYFP) << "a.b. comes first in channel-list order";
    expectChannelsExactly(diffuse, rgbLayer, 0, "a.b.", {"Y"});
    const std::string onlyDiffuse = dir.file("only-diffuse.exr");
    writeChannels(onlyDiffuse, box(0, 0, 5, 3), box(0, 0, 5, 3),
                  {"diffuse.R", "diffuse.G", "diffuse.B", "depth.Z"});
    const devhost::LoadedImage rgb = loadExr(onlyDiffuse);
    ASSERT_EQ(rgb.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(rgb.imageType, LWIMTYP_RGBFP);
    expectChannelsExactly(rgb, onlyDiffuse, 0, "diffuse.", {"R", "G", "B"});

    // Base-level colour in any part comes before layers in an earlier one.
    const std::string mixed = dir.file("layers-then-base.exr");
    loaderfiles::writeParts(mixed, {PartSpec{"aovs", box(0, 0, 3, 3), box(0, 0, 3, 3), {"d.B", "d.G", "d.R"}},
                                    PartSpec{"mask", box(0, 0, 3, 3), box(0, 0, 3, 3), {"Y"}}});
    const devhost::LoadedImage mask = loadExr(mixed);
    ASSERT_EQ(mask.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(mask.imageType, LWIMTYP_GREYFP);
    expectChannelsExactly(mask, mixed, 1, "", {"Y"});

    // Nothing with colour anywhere: part 0, its channels as today.
    const std::string none = dir.file("no-colour.exr");
    loaderfiles::writeParts(none, {PartSpec{"z", box(0, 0, 3, 1), box(0, 0, 3, 1), {"Z"}},
                                   PartSpec{"n", box(0, 0, 3, 1), box(0, 0, 3, 1), {"N.X"}}});
    const devhost::LoadedImage black = loadExr(none);
    ASSERT_EQ(black.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(black.imageType, LWIMTYP_RGBAFP);
    expectChannelsExactly(black, none, 0, "", {"R", "G", "B", "A"});

    // A multi-view file keeps its default view (the unprefixed channels).
    const std::string views = dir.file("views.exr");
    writeChannels(views, box(0, 0, 3, 1), box(0, 0, 3, 1),
                  {"B", "G", "R", "right.B", "right.G", "right.R"}, Imf::ZIP_COMPRESSION,
                  [](Imf::Header &h) { Imf::addMultiView(h, Imf::StringVector{"left", "right"}); });
    const devhost::LoadedImage left = loadExr(views);
    ASSERT_EQ(left.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(left.imageType, LWIMTYP_RGBFP);
    expectChannelsExactly(left, views, 0, "", {"R", "G", "B"});

    // Also when its views are parts and the default view comes second.
    const std::string viewParts = dir.file("view-parts.exr");
    PartSpec right{"right", box(0, 0, 3, 1), box(0, 0, 3, 1), {"B", "G", "R"}};
    right.view = "right";
    right.views = {"left", "right"};
    PartSpec leftPart = right;
    leftPart.name = "left";
    leftPart.view = "left";
    leftPart.data = box(1, 1, 3, 1); // tells the parts apart
    loaderfiles::writeParts(viewParts, {right, leftPart});
    const devhost::LoadedImage defaultView = loadExr(viewParts);
    ASSERT_EQ(defaultView.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(defaultView.rowsReceived, (std::vector<int>{1}));
    expectChannelsExactly(defaultView, viewParts, 1, "", {"R", "G", "B"});
}

// Deep scan-line parts are flattened by the library; deep tiled parts are
// passed over, or refused when nothing else is there.
TEST_F(OpenEXRLoaderTest, DeepParts)
{
    const std::string deep = dir.file("deep.exr");
    loaderfiles::writeParts(deep, {PartSpec{"deep", box(0, 0, 7, 5), box(1, 0, 6, 5), {"A", "B", "G", "R", "Z"},
                                            Imf::FLOAT, PartSpec::DeepScanLine}},
                            wideValue);
    const devhost::LoadedImage flat = loadExr(deep);
    ASSERT_EQ(flat.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(flat.imageType, LWIMTYP_RGBAFP);
    expectChannelsExactly(flat, deep, 0, "", {"R", "G", "B", "A"});
    EXPECT_EQ(pixel(flat, 3, 0, 3), 0.0f) << "no samples: transparent";
    EXPECT_NE(pixel(flat, 1, 0, 3), 0.0f);

    // A deep tiled part beside a flat one: the flat part loads, whichever
    // comes first.
    const PartSpec tiled{"tiled", box(0, 0, 7, 5), box(0, 0, 7, 5), {"A", "B", "G", "R", "Z"},
                         Imf::FLOAT, PartSpec::DeepTiled};
    const PartSpec beauty{"beauty", box(0, 0, 7, 5), box(0, 0, 7, 5), {"B", "G", "R"}, Imf::FLOAT};
    const PartSpec deepLines{"lines", box(0, 0, 7, 5), box(0, 0, 7, 5), {"A", "B", "G", "R", "Z"},
                             Imf::FLOAT, PartSpec::DeepScanLine};
    const std::string beside = dir.file("deep-tiled-beside.exr");
    loaderfiles::writeParts(beside, {tiled, beauty, deepLines}, wideValue);
    const devhost::LoadedImage second = loadExr(beside);
    ASSERT_EQ(second.result, IPSTAT_OK) << lastError();
    EXPECT_EQ(second.imageType, LWIMTYP_RGBFP);
    expectChannelsExactly(second, beside, 1, "", {"R", "G", "B"});

    // Only deep tiled data, or deep data without depth: a message that
    // says so.
    const std::string onlyTiled = dir.file("deep-tiled.exr");
    loaderfiles::writeParts(onlyTiled, {tiled});
    EXPECT_EQ(loadExr(onlyTiled).result, IPSTAT_FAILED);
    EXPECT_EQ(lastError(), "An exception occured when attempting to load an image:|Cannot read "
                           "image file \"" + onlyTiled + "\". It holds deep tiled data, which "
                           "cannot be loaded as an image (deep scan-line data can).");
    const std::string noDepth = dir.file("deep-no-z.exr");
    loaderfiles::writeParts(noDepth, {PartSpec{"d", box(0, 0, 3, 3), box(0, 0, 3, 3), {"A", "R"},
                                               Imf::FLOAT, PartSpec::DeepScanLine}});
    EXPECT_EQ(loadExr(noDepth).result, IPSTAT_FAILED);
    EXPECT_NE(lastError().find("deep data without a \"Z\" channel"), std::string::npos)
        << lastError();

    // A deep scan-line file cut short is incomplete like any other.
    const std::string bytes = testsupport::readFile(deep);
    const std::string cut = dir.file("deep-cut.exr");
    testsupport::writeFile(cut, bytes.substr(0, bytes.size() - 20));
    const devhost::LoadedImage incomplete = loadExr(cut);
    EXPECT_EQ(incomplete.result, IPSTAT_BADFILE);
    EXPECT_EQ(incomplete.beginCalls, 0);
}

} // namespace

namespace {

// Long attribute texts and preview images, which the library reads a byte
// at a time, arrive whole (the stream buffers them).
TEST_F(OpenEXRLoaderTest, LongTextAttributesAndPreviewImages)
{
    std::string text(1 << 20, 'a');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + (i * 7) % 26);
    const std::string file = dir.file("long-text.exr");
    writeChannels(file, box(0, 0, 31, 15), box(0, 0, 31, 15), {"A", "B", "G", "R"},
                  Imf::ZIP_COMPRESSION, [&](Imf::Header &h) {
                      h.insert("comments", Imf::StringAttribute(text));
                      std::vector<Imf::PreviewRgba> px(64 * 32, Imf::PreviewRgba(1, 2, 3, 4));
                      h.setPreviewImage(Imf::PreviewImage(64, 32, px.data()));
                  });
    const devhost::LoadedImage img = loadExr(file);
    ASSERT_EQ(img.result, IPSTAT_OK) << lastError();
    ASSERT_FALSE(img.metadata.empty());
    EXPECT_EQ(img.metadata.front().first, 25);
    EXPECT_TRUE(img.metadata.front().second == text) << "the 1 MB comment arrives whole";
    expectPixelsLikeTheLibrary(img, file, 4);
}

} // namespace
