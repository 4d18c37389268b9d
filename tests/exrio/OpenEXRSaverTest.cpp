// The OpenEXR saver and the dummy saver, driven through the real module by
// the development host's image utility (and by hand where a host would
// leave something out), every file read back with the OpenEXR library.
#include <cmath>
#include <filesystem>
#include <limits>

#include <ImfCompression.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <half.h>

#include "ImageIOTest.h"

namespace {

using imageio::channelNames;
using imageio::readChannel;
using imageio::readHeader;

class OpenEXRSaverTest : public imageio::ImageIOTest {
protected:
    void useSettings(int compression, int pixelType)
    {
        devhost::setSaverSettings(host(), compression, pixelType);
    }
};

TEST_F(OpenEXRSaverTest, EightBitRgbIsWrittenAsZeroToOne)
{
    const int w = 4, h = 3;
    std::vector<unsigned char> px(w * h * 3);
    for (std::size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<unsigned char>((i * 37 + 11) % 256);
    px[0] = 0;
    px[1] = 255;

    const std::string halfFile = dir.file("rgb-half.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGB24, w, h, px.data()), "OpenEXR(.exr)", halfFile), IPSTAT_OK);
    useSettings(Imf::ZIP_COMPRESSION, Imf::FLOAT);
    const std::string floatFile = dir.file("rgb-float.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGB24, w, h, px.data()), "OpenEXR(.exr)", floatFile), IPSTAT_OK);

    EXPECT_EQ(channelNames(readHeader(halfFile)), (std::vector<std::string>{"B", "G", "R"}));
    const char *names[] = {"R", "G", "B"};
    for (int c = 0; c < 3; ++c) {
        const imageio::ExrChannel hc = readChannel(halfFile, names[c]);
        const imageio::ExrChannel fc = readChannel(floatFile, names[c]);
        EXPECT_EQ(hc.type, Imf::HALF);
        EXPECT_EQ(fc.type, Imf::FLOAT);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned char b = px[(static_cast<std::size_t>(y) * w + x) * 3 + c];
                const float expected = b * (1.0f / 255.0f);
                EXPECT_EQ(fc.at(x, y), expected) << x << "," << y << " " << names[c];
                EXPECT_EQ(hc.at(x, y), static_cast<float>(half(expected)));
            }
    }
    EXPECT_EQ(readChannel(floatFile, "R").at(0, 0), 0.0f);
    EXPECT_EQ(readChannel(floatFile, "G").at(0, 0), 1.0f);
    // The scale is the float nearest 1/255.
    EXPECT_EQ(imageio::floatBits(1.0f / 255.0f), 0x3B808081u);
}

TEST_F(OpenEXRSaverTest, RgbaFloatsAreKeptOrRoundedToHalf)
{
    const int w = 5, h = 2;
    std::vector<float> px(w * h * 4);
    for (std::size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<float>(std::sin(0.7 * i) * 3.0 + 0.1234567);
    px[3] = 1e-7f;     // below half's normal range
    px[4] = 123456.7f; // above half's maximum

    const std::string halfFile = dir.file("rgba-half.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGBAFP, w, h, px.data()), "OpenEXR(.exr)", halfFile), IPSTAT_OK);
    useSettings(Imf::PIZ_COMPRESSION, Imf::FLOAT);
    const std::string floatFile = dir.file("rgba-float.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGBAFP, w, h, px.data()), "OpenEXR(.exr)", floatFile), IPSTAT_OK);

    EXPECT_EQ(channelNames(readHeader(floatFile)), (std::vector<std::string>{"A", "B", "G", "R"}));
    const char *names[] = {"R", "G", "B", "A"};
    for (int c = 0; c < 4; ++c) {
        const imageio::ExrChannel hc = readChannel(halfFile, names[c]);
        const imageio::ExrChannel fc = readChannel(floatFile, names[c]);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const float v = px[(static_cast<std::size_t>(y) * w + x) * 4 + c];
                EXPECT_EQ(imageio::floatBits(fc.at(x, y)), imageio::floatBits(v));
                EXPECT_EQ(imageio::floatBits(hc.at(x, y)),
                          imageio::floatBits(static_cast<float>(half(v))));
            }
    }
    EXPECT_TRUE(std::isinf(readChannel(halfFile, "R").at(1, 0)));
}

TEST_F(OpenEXRSaverTest, GreyImagesHaveTheSingleChannelY)
{
    const unsigned char bytes[] = {0, 51, 102, 255};
    const float floats[] = {-0.5f, 0.25f, 2.0f, 1e6f};
    const std::string byteFile = dir.file("grey8.exr");
    const std::string floatFile = dir.file("greyfp.exr");
    ASSERT_EQ(save(image(LWIMTYP_GREY8, 2, 2, bytes), "OpenEXR(.exr)", byteFile), IPSTAT_OK);
    useSettings(Imf::PIZ_COMPRESSION, Imf::FLOAT);
    ASSERT_EQ(save(image(LWIMTYP_GREYFP, 2, 2, floats), "OpenEXR(.exr)", floatFile), IPSTAT_OK);
    for (const std::string &f : {byteFile, floatFile})
        EXPECT_EQ(channelNames(readHeader(f)), std::vector<std::string>{"Y"}) << f;
    const imageio::ExrChannel b = readChannel(byteFile, "Y");
    const imageio::ExrChannel f = readChannel(floatFile, "Y");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(b.values[i], static_cast<float>(half(bytes[i] * (1.0f / 255.0f))));
        EXPECT_EQ(f.values[i], floats[i]);
    }
}

TEST_F(OpenEXRSaverTest, IndexedLinesAreLookedUpInThePalette)
{
    // Three palette entries given, the rest keep the grey ramp.
    const unsigned char indices[] = {0, 1, 2, 200};
    auto send = [&](LWImageProtocolID p) {
        p->setSize(p->priv_data, 4, 1);
        const unsigned char red[3] = {255, 0, 0}, green[3] = {0, 255, 0}, blue[3] = {0, 0, 255};
        p->setMap(p->priv_data, 0, red);
        p->setMap(p->priv_data, 1, green);
        p->setMap(p->priv_data, 2, blue);
        const int code = p->sendLine(p->priv_data, 0, indices);
        return p->done(p->priv_data, code);
    };
    const std::string file = dir.file("indexed.exr");
    const imageio::ManualSave s =
        imageio::saveManually(host(), "OpenEXR(.exr)", 3, LWIMTYP_INDEX8, file, send);
    ASSERT_EQ(s.activation, AFUNC_OK);
    ASSERT_EQ(s.result, IPSTAT_OK);
    EXPECT_EQ(channelNames(readHeader(file)), (std::vector<std::string>{"B", "G", "R"}));
    const imageio::ExrChannel r = readChannel(file, "R"), g = readChannel(file, "G"),
                              b = readChannel(file, "B");
    const float grey = static_cast<float>(half(200 * (1.0f / 255.0f)));
    EXPECT_EQ((std::vector<float>{r.values[0], g.values[0], b.values[0]}),
              (std::vector<float>{1.0f, 0.0f, 0.0f}));
    EXPECT_EQ((std::vector<float>{r.values[1], g.values[1], b.values[1]}),
              (std::vector<float>{0.0f, 1.0f, 0.0f}));
    EXPECT_EQ((std::vector<float>{r.values[2], g.values[2], b.values[2]}),
              (std::vector<float>{0.0f, 0.0f, 1.0f}));
    EXPECT_EQ((std::vector<float>{r.values[3], g.values[3], b.values[3]}),
              (std::vector<float>{grey, grey, grey}));
}

TEST_F(OpenEXRSaverTest, UintChannelsHoldConvertedValuesNotFloatBits)
{
    useSettings(Imf::ZIP_COMPRESSION, Imf::UINT);
    const unsigned char bytes[] = {0, 1, 128, 255};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float floats[] = {3.7f, -2.0f, nan, 1e10f, 65536.0f,
                            std::numeric_limits<float>::infinity(), 0.999f, 42.0f};
    const std::string byteFile = dir.file("uint8.exr");
    const std::string floatFile = dir.file("uintfp.exr");
    ASSERT_EQ(save(image(LWIMTYP_GREY8, 4, 1, bytes), "OpenEXR(.exr)", byteFile), IPSTAT_OK);
    ASSERT_EQ(save(image(LWIMTYP_RGBAFP, 2, 1, floats), "OpenEXR(.exr)", floatFile), IPSTAT_OK);

    const imageio::ExrChannel y = readChannel(byteFile, "Y");
    ASSERT_EQ(y.type, Imf::UINT);
    EXPECT_EQ(y.uints, (std::vector<std::uint32_t>{0, 1, 128, 255})) << "8-bit codes are kept";

    const char *names[] = {"R", "G", "B", "A"};
    const std::uint32_t expected[] = {3, 0, 0, 4294967295u, 65536, 4294967295u, 0, 42};
    for (int x = 0; x < 2; ++x)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(readChannel(floatFile, names[c]).uintAt(x, 0), expected[x * 4 + c])
                << names[c] << x;
    EXPECT_EQ(readHeader(floatFile).compression(), Imf::ZIP_COMPRESSION);
}

TEST_F(OpenEXRSaverTest, PixelAspectAndHeaderOfTheImage)
{
    const float px[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    // A version-3 host sends the pixel aspect as item 1 and its render
    // facts as items.
    host().scene().settings.pixelAspect = 1.25;
    host().sceneChanged();
    host().setFrame(17);
    const std::string v3 = dir.file("v3.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGBAFP, 1, 1, px), "OpenEXR(.exr)", v3), IPSTAT_OK);
    const Imf::Header h = readHeader(v3);
    EXPECT_FLOAT_EQ(h.pixelAspectRatio(), 1.25f);
    EXPECT_EQ(h.displayWindow(), Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(0, 0)));
    EXPECT_EQ(h.dataWindow(), h.displayWindow());
    EXPECT_EQ(h.screenWindowCenter(), Imath::V2f(0, 0));
    EXPECT_EQ(h.screenWindowWidth(), 1.0f);
    EXPECT_EQ(h.lineOrder(), Imf::INCREASING_Y);
    EXPECT_EQ(h.compression(), Imf::PIZ_COMPRESSION);
    const auto *frame = h.findTypedAttribute<Imf::StringAttribute>("LW.FrameNumber");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->value(), "17");
    const auto *make = h.findTypedAttribute<Imf::StringAttribute>("Make");
    ASSERT_NE(make, nullptr);
    EXPECT_EQ(make->value(), "NewTek");
    EXPECT_NE(h.findTypedAttribute<Imf::StringAttribute>("capDate"), nullptr);

    // A version-2 host uses set-parameter 1.
    util().setSaverVersion(2);
    const std::string v2 = dir.file("v2.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGBAFP, 1, 1, px), "OpenEXR(.exr)", v2), IPSTAT_OK);
    EXPECT_FLOAT_EQ(readHeader(v2).pixelAspectRatio(), 1.25f);

    // Without either the library's default stays; unusable values too.
    for (float aspect : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(), -1.0f}) {
        const std::string file = dir.file("plain.exr");
        const imageio::ManualSave s = imageio::saveManually(
            host(), "OpenEXR(.exr)", 2, LWIMTYP_RGBAFP, file, [&](LWImageProtocolID p) {
                p->setSize(p->priv_data, 1, 1);
                if (aspect != -1.0f)
                    p->setParam(p->priv_data, LWIMPAR_ASPECT, 0, aspect);
                return p->done(p->priv_data, p->sendLine(p->priv_data, 0, px));
            });
        ASSERT_EQ(s.result, IPSTAT_OK);
        EXPECT_EQ(readHeader(file).pixelAspectRatio(), 1.0f) << aspect;
    }
}

TEST_F(OpenEXRSaverTest, ProtocolOfEachActivationVersion)
{
    const float px[4] = {1, 2, 3, 4};
    for (int version : {2, 3}) {
        const imageio::ManualSave s = imageio::saveManually(
            host(), "OpenEXR(.exr)", version, LWIMTYP_RGBAFP, dir.file("p.exr"),
            [&](LWImageProtocolID p) {
                p->setSize(p->priv_data, 1, 1);
                return p->done(p->priv_data, p->sendLine(p->priv_data, 0, px));
            });
        EXPECT_EQ(s.activation, AFUNC_OK);
        EXPECT_EQ(s.result, IPSTAT_OK);
        EXPECT_EQ(s.protocol.setParam != nullptr, version == 2);
        EXPECT_EQ(s.protocol.sendMeta != nullptr, version == 3);
        EXPECT_NE(s.protocol.setMap, nullptr);
        EXPECT_EQ(s.protocol.type, LWIMTYP_RGBAFP);
    }
    for (int version : {1, 4}) {
        bool called = false;
        const imageio::ManualSave s = imageio::saveManually(
            host(), "OpenEXR(.exr)", version, LWIMTYP_RGBAFP, dir.file("no.exr"),
            [&](LWImageProtocolID) { return called = true, 0; });
        EXPECT_EQ(s.activation, AFUNC_BADVERSION);
        EXPECT_FALSE(called);
    }
    EXPECT_EQ(host().activate(LWIMAGESAVER_CLASS, "OpenEXR(.exr)", 3, nullptr), AFUNC_BADLOCAL);

    // The host's answer to the protocol is the save's result.
    const imageio::ManualSave refused = imageio::saveManually(
        host(), "OpenEXR(.exr)", 3, LWIMTYP_RGBAFP, dir.file("r.exr"),
        [](LWImageProtocolID p) { return p->done(p->priv_data, IPSTAT_ABORT); });
    EXPECT_EQ(refused.result, IPSTAT_ABORT);
    EXPECT_FALSE(std::filesystem::exists(dir.file("r.exr"))) << "no line, no file";
}

TEST_F(OpenEXRSaverTest, FailuresReachTheHostAsCodesAndMessages)
{
    const float px[4] = {1, 2, 3, 4};
    // A folder that does not exist: the library's wording, and a failure
    // code for the host.
    const std::string missing = dir.file("no/such/folder/x.exr");
    ASSERT_NE(save(image(LWIMTYP_RGBAFP, 1, 1, px), "OpenEXR(.exr)", missing), IPSTAT_OK);
    const auto errors = messages(devhost::Message::Error);
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(std::find_if(errors.begin(), errors.end(),
                           [&](const std::string &e) {
                               return e.rfind("An exception occured in ImageSaver::SendLine():|"
                                              "Cannot open image file \"" + missing + "\". ",
                                              0) == 0;
                           }),
              errors.end());

    // An image type past the known ones: no file, a failure code.
    const imageio::ManualSave unknown = imageio::saveManually(
        host(), "OpenEXR(.exr)", 3, 9, dir.file("t9.exr"), [&](LWImageProtocolID p) {
            p->setSize(p->priv_data, 1, 1);
            return p->done(p->priv_data, p->sendLine(p->priv_data, 0, px));
        });
    EXPECT_EQ(unknown.result, IPSTAT_FAILED);
    EXPECT_FALSE(std::filesystem::exists(dir.file("t9.exr")));

    // A line before any size, and a null line.
    const imageio::ManualSave sizeless = imageio::saveManually(
        host(), "OpenEXR(.exr)", 3, LWIMTYP_RGBAFP, dir.file("s.exr"), [&](LWImageProtocolID p) {
            const int nullLine = p->sendLine(p->priv_data, 0, nullptr);
            EXPECT_EQ(nullLine, IPSTAT_FAILED);
            return p->done(p->priv_data, p->sendLine(p->priv_data, 0, px));
        });
    EXPECT_EQ(sizeless.result, IPSTAT_FAILED);
    EXPECT_EQ(lastError(), "An exception occured in ImageSaver::SendLine():|the host sent no "
                           "image size (0 x 0)");

    // More lines than the size: the extra one fails, the file stays whole.
    const std::string extra = dir.file("extra.exr");
    const imageio::ManualSave tooMany = imageio::saveManually(
        host(), "OpenEXR(.exr)", 3, LWIMTYP_RGBAFP, extra, [&](LWImageProtocolID p) {
            p->setSize(p->priv_data, 1, 1);
            EXPECT_EQ(p->sendLine(p->priv_data, 0, px), IPSTAT_OK);
            EXPECT_EQ(p->sendLine(p->priv_data, 1, px), IPSTAT_FAILED);
            return p->done(p->priv_data, IPSTAT_OK);
        });
    EXPECT_EQ(tooMany.result, IPSTAT_OK);
    EXPECT_EQ(readChannel(extra, "B").at(0, 0), 3.0f);
    // Every service the savers asked for is given back by the module's end.
    host().unloadModule();
    EXPECT_EQ(host().services().unreleased(), std::vector<std::string>{});
}

TEST_F(OpenEXRSaverTest, SettingsRecordChoosesCompressionAndPixelType)
{
    const float px[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    // A fresh host: the first saver makes the record with the defaults.
    EXPECT_FALSE(imageio::saverRecord(host()).has_value());
    const std::string first = dir.file("first.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGBAFP, 1, 1, px), "OpenEXR(.exr)", first), IPSTAT_OK);
    EXPECT_EQ(readHeader(first).compression(), Imf::PIZ_COMPRESSION);
    EXPECT_EQ(readChannel(first, "R").type, Imf::HALF);
    const auto made = imageio::saverRecord(host());
    ASSERT_TRUE(made.has_value());
    EXPECT_EQ(made->compression, 4);
    EXPECT_EQ(made->pixelType, 1);
    EXPECT_EQ(made->reserved, 15);
    auto &pool = host().extensions().get<devhost::GlobalMemory>();
    EXPECT_EQ(pool.size(pool.find("OpenEXRSaverSettings")), 12);

    // Changing the settings in the master changes the next file.
    devhost::setSaverSettings(host(), Imf::ZIP_COMPRESSION, Imf::FLOAT);
    const std::string second = dir.file("second.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGBAFP, 1, 1, px), "OpenEXR(.exr)", second), IPSTAT_OK);
    EXPECT_EQ(readHeader(second).compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(readChannel(second, "R").type, Imf::FLOAT);
    EXPECT_EQ(readChannel(second, "R").at(0, 0), 0.1f);

    // A record someone damaged: the save fails and says why.
    imageio::damageSaverRecord(host(), 12);
    const std::string third = dir.file("third.exr");
    EXPECT_NE(save(image(LWIMTYP_RGBAFP, 1, 1, px), "OpenEXR(.exr)", third), IPSTAT_OK);
    EXPECT_FALSE(std::filesystem::exists(third));
    EXPECT_NE(messages(devhost::Message::Error).front().find("unknown compression (12)"),
              std::string::npos);
}

TEST_F(OpenEXRSaverTest, SettingsFallBackWithoutGlobalMemory)
{
    host().services().withdraw(LWGLOBALPOOL_GLOBAL);
    const float px[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    const std::string file = dir.file("fallback.exr");
    ASSERT_EQ(save(image(LWIMTYP_RGBAFP, 1, 1, px), "OpenEXR(.exr)", file), IPSTAT_OK);
    EXPECT_EQ(readHeader(file).compression(), Imf::PIZ_COMPRESSION);
    EXPECT_EQ(readChannel(file, "A").type, Imf::HALF);
}

TEST_F(OpenEXRSaverTest, DummySaverWritesNothingAndSucceeds)
{
    const float px[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::string file = dir.file("dummy.exr");
    EXPECT_EQ(util().savers()[util().findSaver("OpenEXR_Dummy(.exr)")].extension, "exr");
    for (int version : {2, 3}) {
        util().setSaverVersion(version);
        EXPECT_EQ(save(image(LWIMTYP_RGBAFP, 2, 1, px), "OpenEXR_Dummy(.exr)", file), IPSTAT_OK);
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_TRUE(messages(devhost::Message::Error).empty());
    // Even a host that reports a failure of its own sees success.
    const imageio::ManualSave s = imageio::saveManually(
        host(), "OpenEXR_Dummy(.exr)", 3, LWIMTYP_RGBAFP, file,
        [](LWImageProtocolID p) { return p->done(p->priv_data, IPSTAT_FAILED); });
    EXPECT_EQ(s.result, IPSTAT_OK);
}

} // namespace

namespace {

// The host may send the size again. Before the first line the last size
// counts; after it the file's size stays, the change is reported and the
// rest of the image refused, and no line is read past the buffers (the
// sanitizer build runs this).
TEST_F(OpenEXRSaverTest, SizeSentAgain)
{
    useSettings(Imf::ZIP_COMPRESSION, Imf::FLOAT);
    std::vector<float> wide(8 * 4), narrow(2 * 4);
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<float>(i) + 0.5f;
    for (std::size_t i = 0; i < narrow.size(); ++i)
        narrow[i] = -static_cast<float>(i);

    const std::string before = dir.file("resized-before.exr");
    const imageio::ManualSave grown = imageio::saveManually(
        host(), "OpenEXR(.exr)", 3, LWIMTYP_RGBAFP, before, [&](LWImageProtocolID p) {
            p->setSize(p->priv_data, 2, 5);
            p->setSize(p->priv_data, 8, 3);
            int code = IPSTAT_OK;
            for (int y = 0; y < 3 && code == IPSTAT_OK; ++y)
                code = p->sendLine(p->priv_data, y, wide.data());
            return p->done(p->priv_data, code);
        });
    ASSERT_EQ(grown.result, IPSTAT_OK);
    const Imath::Box2i window = readHeader(before).dataWindow();
    EXPECT_EQ(window.max.x, 7);
    EXPECT_EQ(window.max.y, 2);
    const imageio::ExrChannel a = readChannel(before, "A");
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(a.at(x, y), wide[static_cast<std::size_t>(x) * 4 + 3]);

    // Narrower after the first line: the host's lines are 2 pixels now.
    const std::string after = dir.file("resized-after.exr");
    int lineAnswer = -1;
    const imageio::ManualSave shrunk = imageio::saveManually(
        host(), "OpenEXR(.exr)", 3, LWIMTYP_RGBAFP, after, [&](LWImageProtocolID p) {
            p->setSize(p->priv_data, 8, 3);
            EXPECT_EQ(p->sendLine(p->priv_data, 0, wide.data()), IPSTAT_OK);
            p->setSize(p->priv_data, 8, 3); // the same size again is harmless
            EXPECT_EQ(p->sendLine(p->priv_data, 1, wide.data()), IPSTAT_OK);
            p->setSize(p->priv_data, 2, 3);
            lineAnswer = p->sendLine(p->priv_data, 2, narrow.data());
            return p->done(p->priv_data, IPSTAT_OK);
        });
    EXPECT_EQ(lineAnswer, IPSTAT_FAILED);
    EXPECT_EQ(shrunk.result, IPSTAT_FAILED);
    EXPECT_EQ(lastError(), "An exception occured in ImageSaver::SetSize():|the host changed the "
                           "image size from 8 x 3 to 2 x 3 after the first line of \"" +
                               after + "\"");
    EXPECT_FALSE(std::filesystem::exists(after)) << "a save that failed leaves nothing behind";

    // Wider after the first line: the host's lines are 8 pixels now, the
    // saver's line buffers 2.
    const std::string grownLate = dir.file("resized-wider.exr");
    const imageio::ManualSave wider = imageio::saveManually(
        host(), "OpenEXR(.exr)", 3, LWIMTYP_RGBAFP, grownLate, [&](LWImageProtocolID p) {
            p->setSize(p->priv_data, 2, 2);
            EXPECT_EQ(p->sendLine(p->priv_data, 0, narrow.data()), IPSTAT_OK);
            p->setSize(p->priv_data, 8, 2);
            EXPECT_EQ(p->sendLine(p->priv_data, 1, wide.data()), IPSTAT_FAILED);
            return p->done(p->priv_data, IPSTAT_OK);
        });
    EXPECT_EQ(wider.result, IPSTAT_FAILED);
    EXPECT_FALSE(std::filesystem::exists(grownLate));
}

} // namespace
