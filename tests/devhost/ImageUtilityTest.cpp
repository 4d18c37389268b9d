// "Image Utility": host images, the saver list, the host's PNG and PFM
// savers read back independently, and module savers driven through the
// image protocol.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <lwsdk/module.h>

#include "ImageReadBack.h"
#include "TestSupport.h"
#include "devhost/ImageUtility.h"

namespace {

using devhost::ImageUtility;

class ImageUtilityTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        testsupport::setEnv("RECORDER_FAIL_LINE", nullptr);
        util = static_cast<const LWImageUtil *>(
            devhost::Host::global(LWIMAGEUTIL_GLOBAL, GFUSE_ACQUIRE));
        ASSERT_NE(util, nullptr);
    }
    void TearDown() override
    {
        testsupport::setEnv("RECORDER_FAIL_LINE", nullptr);
        devhost::Host::global(LWIMAGEUTIL_GLOBAL, GFUSE_RELEASE);
        HostTest::TearDown();
    }
    ImageUtility &family() { return host().extensions().get<ImageUtility>(); }
    std::vector<std::string> saverNames()
    {
        std::vector<std::string> out;
        for (int i = 0; i < util->saverCount(); ++i)
            out.push_back(std::string(util->saverName(i)) + "|" + util->saverExtension(i));
        return out;
    }
    int saver(const std::string &name) { return family().findSaver(name); }
    std::string lastError()
    {
        auto e = messages(devhost::Message::Error);
        return e.empty() ? std::string() : e.back();
    }
    // A 3 x 2 float image of the given type with distinct values.
    LWPixmapID floatImage(int type, int channels)
    {
        LWPixmapID img = util->create(3, 2, type);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                float px[4];
                for (int c = 0; c < channels; ++c)
                    px[c] = 0.1f * (x + 3 * y) + 0.01f * c;
                util->setPixel(img, x, y, px);
            }
        return img;
    }

    const LWImageUtil *util = nullptr;
    testsupport::TempDir dir;
};

TEST_F(ImageUtilityTest, HostImagesOfEveryType)
{
    const int sizes[] = {3, 1, 1, 4, 12, 4, 16};
    for (int type = 0; type <= 6; ++type) {
        LWPixmapID img = util->create(5, 4, type);
        ASSERT_NE(img, nullptr) << type;
        int w = 0, h = 0, t = -1;
        util->getInfo(img, &w, &h, &t);
        EXPECT_EQ(w, 5);
        EXPECT_EQ(h, 4);
        EXPECT_EQ(t, type);
        EXPECT_EQ(ImageUtility::pixelBytes(type), sizes[type]);
        unsigned char in[16], out[16] = {};
        for (int i = 0; i < 16; ++i)
            in[i] = static_cast<unsigned char>(17 * i + type);
        util->getPixel(img, 4, 3, out);
        for (int i = 0; i < sizes[type]; ++i)
            EXPECT_EQ(out[i], 0) << "new images are black";
        util->setPixel(img, 4, 3, in);
        util->getPixel(img, 4, 3, out);
        for (int i = 0; i < sizes[type]; ++i)
            EXPECT_EQ(out[i], in[i]) << "type " << type << " byte " << i;
        // Outside the image nothing is written or read.
        unsigned char untouched[16] = {7};
        util->setPixel(img, 5, 0, in);
        util->getPixel(img, -1, 0, untouched);
        EXPECT_EQ(untouched[0], 7);
        util->destroy(img);
    }
    EXPECT_EQ(family().liveImages(), 0);
    EXPECT_EQ(util->create(0, 4, LWIMTYP_RGBFP), nullptr);
    EXPECT_EQ(util->create(4, 4, 7), nullptr);
    EXPECT_EQ(util->create(1 << 20, 1 << 20, LWIMTYP_GREY8), nullptr);

    // A destroyed image is no longer one of ours.
    LWPixmapID gone = util->create(2, 2, LWIMTYP_GREY8);
    util->destroy(gone);
    util->destroy(gone);
    int w = -1, h = -1, t = 0;
    util->getInfo(gone, &w, &h, &t);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(t, -1);
    EXPECT_EQ(util->save(gone, 0, dir.file("gone.png").c_str()), IPSTAT_FAILED);
    EXPECT_NE(lastError().find("gone.png"), std::string::npos);
}

TEST_F(ImageUtilityTest, SaverListPutsTheHostsSaversFirst)
{
    EXPECT_EQ(saverNames(), (std::vector<std::string>{"PNG(.png)|png", "PFM(.pfm)|pfm"}));
    load();
    EXPECT_EQ(saverNames(), (std::vector<std::string>{"PNG(.png)|png", "PFM(.pfm)|pfm",
                                                      "OpenEXR(.exr)|exr",
                                                      "OpenEXR_Dummy(.exr)|exr"}));
    EXPECT_EQ(util->saverName(4), nullptr);
    EXPECT_EQ(util->saverExtension(-1), nullptr);
    EXPECT_EQ(saver("OpenEXR_Dummy(.exr)"), 3);
    EXPECT_EQ(saver("TIFF(.tif)"), -1);
    EXPECT_EQ(ImageUtility::extensionOf("Targa 32 (.tga)"), "tga");
    EXPECT_EQ(ImageUtility::extensionOf("Raw"), "");

    // The module's saver writes the file; one that refuses the host's
    // activation version fails with a message naming the file.
    LWPixmapID img = floatImage(LWIMTYP_RGBAFP, 4);
    EXPECT_EQ(util->save(img, 2, dir.file("saved.exr").c_str()), IPSTAT_OK);
    EXPECT_TRUE(std::filesystem::exists(dir.file("saved.exr")));
    host().extensions().get<ImageUtility>().setSaverVersion(4);
    EXPECT_EQ(util->save(img, 2, dir.file("refused.exr").c_str()), IPSTAT_FAILED);
    EXPECT_NE(lastError().find("Cannot save image \"" + dir.file("refused.exr") +
                               "\" as OpenEXR(.exr):|the saver refused activation version 4"),
              std::string::npos)
        << lastError();
    EXPECT_EQ(util->save(img, 9, dir.file("x.png").c_str()), IPSTAT_NOREC);
    EXPECT_NE(lastError().find("there is no image saver number 9"), std::string::npos);
    util->destroy(img);

    host().unloadModule();
    EXPECT_EQ(util->saverCount(), 2);
}

TEST_F(ImageUtilityTest, PngSaverWritesGreyRgbAndRgbaImages)
{
    struct Case {
        int type;
        int channels;
        int pngType;
    };
    const Case cases[] = {{LWIMTYP_GREYFP, 1, PNG_COLOR_TYPE_GRAY},
                          {LWIMTYP_RGBFP, 3, PNG_COLOR_TYPE_RGB},
                          {LWIMTYP_RGBAFP, 4, PNG_COLOR_TYPE_RGB_ALPHA}};
    std::string files;
    for (const Case &c : cases) {
        LWPixmapID img = floatImage(c.type, c.channels);
        // Clamped and rounded: below 0, above 1 and NaN.
        const float odd[4] = {-0.5f, 2.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f};
        util->setPixel(img, 2, 1, odd);
        const std::string file = dir.file("t" + std::to_string(c.type) + ".png");
        ASSERT_EQ(util->save(img, saver("PNG(.png)"), file.c_str()), IPSTAT_OK) << lastError();
        util->destroy(img);
        const readback::Png png = readback::readPng(file);
        ASSERT_TRUE(png.ok) << file;
        EXPECT_EQ(png.width, 3);
        EXPECT_EQ(png.height, 2);
        EXPECT_EQ(png.bitDepth, 8);
        EXPECT_EQ(png.colorType, c.pngType);
        ASSERT_EQ(png.channels, c.channels);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                for (int ch = 0; ch < c.channels; ++ch) {
                    int want = static_cast<int>(std::lround((0.1f * (x + 3 * y) + 0.01f * ch) * 255));
                    if (x == 2 && y == 1)
                        want = ch == 0 ? 0 : ch == 1 ? 255 : ch == 2 ? 0 : 128;
                    EXPECT_EQ(png.at(x, y, ch), want) << c.type << " " << x << "," << y << "," << ch;
                }
        files += " " + file;
    }
    std::string out;
    if (testsupport::kIndependentReaders) {
        ASSERT_TRUE(testsupport::haveProgram("oiiotool", "openimageio-tools"));
        ASSERT_EQ(testsupport::run("oiiotool --info" + files, &out), 0) << out;
        for (int channels : {1, 3, 4})
            EXPECT_NE(out.find("3 x    2, " + std::to_string(channels) + " channel, uint8 png"),
                      std::string::npos)
                << out;
    }

    // Byte images keep their bytes; an indexed image goes through its palette.
    LWPixmapID rgb = util->create(2, 1, LWIMTYP_RGB24);
    const unsigned char px[3] = {1, 128, 254};
    util->setPixel(rgb, 1, 0, px);
    ASSERT_EQ(util->save(rgb, 0, dir.file("rgb24.png").c_str()), IPSTAT_OK);
    readback::Png back = readback::readPng(dir.file("rgb24.png"));
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.at(1, 0, 0), 1);
    EXPECT_EQ(back.at(1, 0, 1), 128);
    EXPECT_EQ(back.at(1, 0, 2), 254);
    LWPixmapID indexed = util->create(2, 1, LWIMTYP_INDEX8);
    const unsigned char colour[3] = {10, 20, 30};
    family().setPaletteEntry(indexed, 5, colour);
    const unsigned char five = 5, nine = 9;
    util->setPixel(indexed, 0, 0, &five);
    util->setPixel(indexed, 1, 0, &nine);
    ASSERT_EQ(util->save(indexed, 0, dir.file("index.png").c_str()), IPSTAT_OK);
    back = readback::readPng(dir.file("index.png"));
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(back.at(0, 0, 2), 30);
    EXPECT_EQ(back.at(1, 0, 0), 9) << "the default palette is a grey ramp";

    // A folder that does not exist: the message names the file and the cause.
    const std::string bad = dir.file("no/such/folder/x.png");
    EXPECT_EQ(util->save(rgb, 0, bad.c_str()), IPSTAT_FAILED);
    EXPECT_EQ(lastError(), "Cannot save image \"" + bad + "\" as PNG(.png):|No such file or directory");
    util->destroy(rgb);
    util->destroy(indexed);
}

TEST_F(ImageUtilityTest, PfmSaverWritesLittleEndianRowsFromTheBottom)
{
    LWPixmapID grey = floatImage(LWIMTYP_GREYFP, 1);
    LWPixmapID rgba = floatImage(LWIMTYP_RGBAFP, 4);
    const float huge[4] = {1e20f, -3.5f, 0.0f, 0.5f};
    util->setPixel(rgba, 0, 0, huge);
    const int pfm = saver("PFM(.pfm)");
    ASSERT_EQ(util->save(grey, pfm, dir.file("grey.pfm").c_str()), IPSTAT_OK);
    ASSERT_EQ(util->save(rgba, pfm, dir.file("rgba.pfm").c_str()), IPSTAT_OK);

    const readback::Pfm g = readback::readPfm(testsupport::readFile(dir.file("grey.pfm")));
    ASSERT_TRUE(g.ok);
    EXPECT_EQ(g.magic, "Pf");
    EXPECT_EQ(g.width, 3);
    EXPECT_EQ(g.height, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(g.at(x, y, 0), 0.1f * (x + 3 * y)) << x << "," << y;

    // Alpha has no place in a float map; values are kept as they are.
    const readback::Pfm c = readback::readPfm(testsupport::readFile(dir.file("rgba.pfm")));
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.magic, "PF");
    EXPECT_EQ(c.at(0, 0, 0), 1e20f);
    EXPECT_EQ(c.at(0, 0, 1), -3.5f);
    EXPECT_EQ(c.at(2, 1, 2), 0.1f * 5 + 0.02f);

    std::string out;
    if (testsupport::kIndependentReaders) {
        ASSERT_TRUE(testsupport::haveProgram("oiiotool", "openimageio-tools"));
        ASSERT_EQ(testsupport::run("oiiotool --info -v " + dir.file("rgba.pfm"), &out), 0) << out;
        EXPECT_NE(out.find("3 x    2, 3 channel, float pnm"), std::string::npos) << out;
        ASSERT_EQ(testsupport::run("oiiotool " + dir.file("grey.pfm") + " --printstats", &out), 0);
        EXPECT_NE(out.find("Max: 0.5"), std::string::npos) << out;
    }
    util->destroy(grey);
    util->destroy(rgba);
}

class ModuleSaverTest : public ImageUtilityTest {
protected:
    void SetUp() override
    {
        ImageUtilityTest::SetUp();
        load(testsupport::testModulePath("render_test_module"));
        host().scene().settings.pixelAspect = 1.5;
        host().scene().settings.framesPerSecond = 25;
        host().scene().settings.renderCamera = "Main";
        host().setFrame(7);
    }
    std::vector<std::string> lines(const std::string &file)
    {
        std::vector<std::string> out;
        std::istringstream in(testsupport::readFile(file));
        for (std::string l; std::getline(in, l);)
            out.push_back(l);
        return out;
    }
};

TEST_F(ModuleSaverTest, VersionThreeSendsSizeMetadataLinesAndDone)
{
    const int rec = saver("ProtocolRecorder(.rec)");
    ASSERT_EQ(rec, 2);
    EXPECT_EQ(util->saverExtension(rec), std::string("rec"));
    LWPixmapID img = floatImage(LWIMTYP_RGBAFP, 4);
    const std::string file = dir.file("v3.rec");
    EXPECT_EQ(util->save(img, rec, file.c_str()), IPSTAT_OK) << lastError();
    // The lines carry the image's own floats, as the recorder prints them.
    std::vector<std::string> want = {"version 3",       "type 6",     "size 3 2",
                                     "meta 1 1.5",      "meta 4 25",  "meta 24 49153 7",
                                     "meta 24 49157 Main"};
    for (int y = 0; y < 2; ++y) {
        std::ostringstream line;
        line.imbue(std::locale::classic());
        line.precision(9);
        line << "line " << y;
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 4; ++c)
                line << " " << 0.1f * (x + 3 * y) + 0.01f * c;
        want.push_back(line.str());
    }
    want.push_back("done 0");
    EXPECT_EQ(lines(file), want);
    util->destroy(img);
}

TEST_F(ModuleSaverTest, VersionTwoSendsThePixelAspectAsAParameter)
{
    family().setSaverVersion(2);
    LWPixmapID img = util->create(2, 1, LWIMTYP_RGB24);
    const unsigned char px[3] = {9, 8, 7};
    util->setPixel(img, 1, 0, px);
    const std::string file = dir.file("v2.rec");
    EXPECT_EQ(util->save(img, saver("ProtocolRecorder(.rec)"), file.c_str()), IPSTAT_OK);
    EXPECT_EQ(lines(file), (std::vector<std::string>{"version 2", "type 0", "size 2 1",
                                                     "param 1 0 1.5", "line 0 0 0 0 9 8 7",
                                                     "done 0"}));
    util->destroy(img);
}

TEST_F(ModuleSaverTest, IndexedImagesSendTheirPaletteBeforeTheLines)
{
    LWPixmapID img = util->create(2, 2, LWIMTYP_INDEX8);
    const unsigned char colour[3] = {200, 100, 50};
    family().setPaletteEntry(img, 3, colour);
    const unsigned char three = 3;
    util->setPixel(img, 1, 1, &three);
    const std::string file = dir.file("index.rec");
    EXPECT_EQ(util->save(img, saver("ProtocolRecorder(.rec)"), file.c_str()), IPSTAT_OK);
    const std::vector<std::string> l = lines(file);
    ASSERT_EQ(l.size(), 3u + 256u + 4u + 2u + 1u);
    EXPECT_EQ(l[2], "size 2 2");
    EXPECT_EQ(l[3], "map 0 0 0 0");
    EXPECT_EQ(l[6], "map 3 200 100 50");
    EXPECT_EQ(l[258], "map 255 255 255 255");
    EXPECT_EQ(l[259], "meta 1 1.5");
    EXPECT_EQ(l[263], "line 0 0 0");
    EXPECT_EQ(l[264], "line 1 0 3");
    util->destroy(img);
}

TEST_F(ModuleSaverTest, AFailingLineStopsTheImageAndIsTheResult)
{
    testsupport::setEnv("RECORDER_FAIL_LINE", "1");
    LWPixmapID img = util->create(1, 3, LWIMTYP_GREY8);
    const std::string file = dir.file("fail.rec");
    EXPECT_EQ(util->save(img, saver("ProtocolRecorder(.rec)"), file.c_str()), IPSTAT_FAILED);
    const std::vector<std::string> l = lines(file);
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(l[l.size() - 3], "line 0 0");
    EXPECT_EQ(l[l.size() - 2], "line 1 0");
    EXPECT_EQ(l.back(), "done 99") << "no line after the failing one";
    EXPECT_EQ(lastError(), "Cannot save image \"" + file +
                               "\" as ProtocolRecorder(.rec):|the saver answered 99");
    util->destroy(img);
}

} // namespace
