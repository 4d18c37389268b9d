// The shared saver settings record and the "OpenEXRSettings" master: its
// activation and callbacks through the real module, its panel values on
// the module's static library, its scene blocks through devhost scenes, and
// the effect of all of them on the next file the saver writes.
#include <ImfCompression.h>

#include <lwsdk/master.h>

#include "ImageIOTest.h"
#include "devhost/SceneFile.h"
#include "exrio/OpenEXRMaster.h"
#include "exrio/SaverSettings.h"
#include "hostkit/HostInfo.h"
#include "hostkit/Services.h"

namespace {

using ravelcast::OpenEXRMaster;
using ravelcast::SaverSettingsRecord;

const char *const kMasterScene = R"(
{ Host { Version 10 0 2009 } { Mode "layout" } }
{ Scene { Name "master.lws" } }
Plugin MasterHandler 1 OpenEXRSettings
{ Version 1 }
{ PixelFormat 2 }
{ Compression 3 }
EndPlugin
)";

class OpenEXRMasterTest : public imageio::ImageIOTest {
protected:
    void SetUp() override
    {
        ImageIOTest::SetUp();
        // The static library's handlers reach the same host.
        hostkit::setGlobalFunction(&devhost::Host::global);
        hostkit::setHostWords(host().systemId(), host().productInfo());
    }
    void TearDown() override
    {
        hostkit::releaseProcessMessages();
        hostkit::setGlobalFunction(nullptr);
        ImageIOTest::TearDown();
    }

    devhost::AppliedServer &applyMaster()
    {
        return host().applyServer(LWMASTER_HCLASS, "OpenEXRSettings");
    }

    // One RGBA float pixel through the module's saver.
    Imf::Header saveOne(const std::string &name)
    {
        const float px[4] = {0.5f, 0.25f, 0.125f, 1.0f};
        const std::string file = dir.file(name);
        EXPECT_EQ(save(image(LWIMTYP_RGBAFP, 1, 1, px), "OpenEXR(.exr)", file), IPSTAT_OK);
        return imageio::readHeader(file);
    }
};

TEST_F(OpenEXRMasterTest, RecordIsMadeOnceWithTheDefaults)
{
    auto &pool = host().extensions().get<devhost::GlobalMemory>();
    EXPECT_EQ(pool.find("OpenEXRSaverSettings"), nullptr);
    SaverSettingsRecord *r = ravelcast::saverSettingsRecord();
    ASSERT_EQ(static_cast<void *>(r), pool.find("OpenEXRSaverSettings"));
    EXPECT_EQ(pool.size(r), 12);
    EXPECT_EQ(r->compression, 4);
    EXPECT_EQ(r->pixelType, 1);
    EXPECT_EQ(r->reserved, 15);
    r->compression = 2;
    EXPECT_EQ(ravelcast::saverSettingsRecord(), r) << "found again, not made again";
    EXPECT_EQ(ravelcast::saverSettingsRecord()->compression, 2);
    EXPECT_EQ(pool.count(), 1);
    EXPECT_EQ(host().services().unreleased(),
              std::vector<std::string>{}) << "the service is given back after the lookup";
}

TEST_F(OpenEXRMasterTest, RecordFallsBackWhenTheHostHasNone)
{
    // Someone's smaller block of the same name is not written past its end.
    auto &pool = host().extensions().get<devhost::GlobalMemory>();
    pool.create("OpenEXRSaverSettings", 4);
    EXPECT_EQ(ravelcast::saverSettingsRecord(), &ravelcast::fallbackSaverSettings());
    host().services().withdraw(LWGLOBALPOOL_GLOBAL);
    SaverSettingsRecord *r = ravelcast::saverSettingsRecord();
    EXPECT_EQ(r, &ravelcast::fallbackSaverSettings());
    EXPECT_EQ(r->compression, 4);
    EXPECT_EQ(r->pixelType, 1);
    EXPECT_EQ(r->reserved, 15);
}

TEST_F(OpenEXRMasterTest, DescribeEventsAndFlagsThroughTheModule)
{
    devhost::AppliedServer &m = applyMaster();
    EXPECT_EQ(host().describe(m), "Orvo OpenEXR: Float 16 - PIZ (lossless)");
    ASSERT_NE(m.master.event, nullptr);
    ASSERT_NE(m.master.flags, nullptr);
    EXPECT_EQ(m.master.type, LWMAST_SCENE);
    LWMasterAccess access{3, nullptr, nullptr, nullptr};
    EXPECT_EQ(m.master.event(m.instance, &access), 0.0);
    EXPECT_EQ(m.master.flags(m.instance), 0u);
    EXPECT_NE(m.item.useItems, nullptr);

    // The record the saver reads is the one the master shows.
    devhost::setSaverSettings(host(), Imf::ZIP_COMPRESSION, Imf::FLOAT);
    EXPECT_EQ(host().describe(m), "Orvo OpenEXR: Float 32 - ZIP (lossless)");
    devhost::setSaverSettings(host(), Imf::B44A_COMPRESSION, Imf::UINT);
    EXPECT_EQ(host().describe(m), "Orvo OpenEXR: Int 32 - B44A (lossy)");

    // Its interface hands the host a panel, also when opened through the
    // layout command.
    host().clearServers();
    EXPECT_EQ(host().runGeneric("Open_OpenEXRSettings"), AFUNC_OK);
    ASSERT_EQ(host().edits().size(), 1u);
    EXPECT_EQ(host().edits()[0].serverName, "OpenEXRSettings");
    EXPECT_EQ(host().edits()[0].result, AFUNC_OK);
    EXPECT_NE(host().edits()[0].panel, nullptr);
    EXPECT_TRUE(messages(devhost::Message::Error).empty());
}

TEST_F(OpenEXRMasterTest, ActivationRules)
{
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWMasterHandler table{&inst, &item, -1, nullptr, nullptr};
    for (int version : {3, 5})
        EXPECT_EQ(host().activate(LWMASTER_HCLASS, "OpenEXRSettings", version, &table),
                  AFUNC_BADVERSION);
    EXPECT_EQ(inst.create, nullptr);
    EXPECT_EQ(host().activate(LWMASTER_HCLASS, "OpenEXRSettings", 4, nullptr), AFUNC_BADAPP);
    EXPECT_EQ(lastError(), "An exception occured in MasterAdaptor::Activate():|the host gave no "
                           "master handler table");
    EXPECT_EQ(host().activate(LWMASTER_HCLASS, "OpenEXRSettings", 4, &table), AFUNC_OK);
    EXPECT_NE(inst.create, nullptr);
    EXPECT_NE(item.changeID, nullptr);

    // Modeler gets no item functions.
    host().forceMode(devhost::RunMode::Modeler);
    LWItemFuncs modelerItems{};
    LWMasterHandler modeler{&inst, &modelerItems, -1, nullptr, nullptr};
    EXPECT_EQ(host().activate(LWMASTER_HCLASS, "OpenEXRSettings", 4, &modeler), AFUNC_OK);
    EXPECT_EQ(modelerItems.useItems, nullptr);

    LWInterface ui{nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(host().activate(LWMASTER_ICLASS, "OpenEXRSettings", 4, nullptr), AFUNC_OK);
    EXPECT_EQ(host().activate(LWMASTER_ICLASS, "OpenEXRSettings", 2, &ui), AFUNC_BADVERSION);
    EXPECT_EQ(host().activate(LWMASTER_ICLASS, "OpenEXRSettings", 4, &ui), AFUNC_BADAPP);
    EXPECT_EQ(lastError(), "An exception occured in Xpanel::Interface():|the host gave no "
                           "interface instance table");
}

TEST_F(OpenEXRMasterTest, PanelValuesEditTheRecordTheSaverReads)
{
    std::string error;
    OpenEXRMaster master(nullptr, nullptr, error);
    ASSERT_EQ(error, "");
    master.setHostInstance(&master);
    EXPECT_EQ(*static_cast<int *>(master.get(ravelcast::kMasterPixelType)), 1);
    EXPECT_EQ(*static_cast<int *>(master.get(ravelcast::kMasterCompression)), 4);
    EXPECT_EQ(master.get(ravelcast::kMasterAbout), nullptr);
    EXPECT_EQ(master.get(12345), nullptr);
    EXPECT_EQ(master.describe(), "Orvo OpenEXR: Float 16 - PIZ (lossless)");

    // A fresh host's first image: PIZ and HALF.
    const Imf::Header first = saveOne("first.exr");
    EXPECT_EQ(first.compression(), Imf::PIZ_COMPRESSION);
    EXPECT_EQ(first.channels().findChannel("R")->type, Imf::HALF);

    // "Float 32" and "ZIP (lossless)".
    int floatType = 2, zip = 3;
    EXPECT_EQ(master.set(ravelcast::kMasterPixelType, &floatType), 1);
    EXPECT_EQ(master.set(ravelcast::kMasterCompression, &zip), 1);
    EXPECT_EQ(master.describe(), "Orvo OpenEXR: Float 32 - ZIP (lossless)");
    ASSERT_EQ(host().updates().size(), 2u);
    EXPECT_EQ(host().updates()[0].className, "MasterHandler");
    EXPECT_EQ(host().updates()[0].instance, &master);
    const Imf::Header second = saveOne("second.exr");
    EXPECT_EQ(second.compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(second.channels().findChannel("A")->type, Imf::FLOAT);

    // Values outside the lists, other ids and no value change nothing.
    int bad = 10, negative = -1, three = 3;
    EXPECT_EQ(master.set(ravelcast::kMasterCompression, &bad), 0);
    EXPECT_EQ(master.set(ravelcast::kMasterPixelType, &three), 0);
    EXPECT_EQ(master.set(ravelcast::kMasterPixelType, &negative), 0);
    EXPECT_EQ(master.set(ravelcast::kMasterAboutButton, &zip), 0);
    EXPECT_EQ(master.set(ravelcast::kMasterPixelType, nullptr), 0);
    EXPECT_EQ(master.describe(), "Orvo OpenEXR: Float 32 - ZIP (lossless)");
    EXPECT_EQ(host().updates().size(), 2u);
    EXPECT_EQ(master.event(nullptr), 0.0);
    EXPECT_EQ(master.flags(), 0u);
}

TEST_F(OpenEXRMasterTest, SceneBlocksRoundTripThroughADevhostScene)
{
    devhost::readSceneText(host(), kMasterScene, dir.file("master.lws"));
    ASSERT_EQ(host().scene().servers.size(), 1u);
    EXPECT_EQ(host().describe(*host().scene().servers[0]),
              "Orvo OpenEXR: Float 32 - ZIP (lossless)");
    const Imf::Header loaded = saveOne("loaded.exr");
    EXPECT_EQ(loaded.compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(loaded.channels().findChannel("G")->type, Imf::FLOAT);

    const std::string text = devhost::sceneText(host());
    const std::size_t v = text.find("{ Version 1 }");
    const std::size_t p = text.find("{ PixelFormat 2 }");
    const std::size_t c = text.find("{ Compression 3 }");
    ASSERT_NE(v, std::string::npos) << text;
    ASSERT_NE(p, std::string::npos) << text;
    ASSERT_NE(c, std::string::npos) << text;
    EXPECT_LT(v, p);
    EXPECT_LT(p, c);

    // A fresh host starts from the defaults and takes the saved values.
    host_.reset();
    host_ = std::make_unique<devhost::Host>();
    host_->messages().setOutput(nullptr, nullptr);
    load();
    EXPECT_EQ(saveOne("fresh.exr").compression(), Imf::PIZ_COMPRESSION);
    devhost::readSceneText(host(), text, dir.file("again.lws"));
    EXPECT_EQ(host().describe(*host().scene().servers[0]),
              "Orvo OpenEXR: Float 32 - ZIP (lossless)");
    EXPECT_EQ(saveOne("again.exr").compression(), Imf::ZIP_COMPRESSION);
}

TEST_F(OpenEXRMasterTest, DamagedSceneValuesAreIgnored)
{
    const std::string damaged = R"(
{ Host { Version 10 0 2009 } }
Plugin MasterHandler 1 OpenEXRSettings
{ Version 7 }
{ PixelFormat 9 }
{ Compression -3 }
{ Unknown 1 }
EndPlugin
)";
    devhost::readSceneText(host(), damaged, dir.file("damaged.lws"));
    ASSERT_EQ(host().scene().servers.size(), 1u);
    EXPECT_EQ(host().describe(*host().scene().servers[0]),
              "Orvo OpenEXR: Float 16 - PIZ (lossless)");
    EXPECT_TRUE(messages(devhost::Message::Error).empty());
    const Imf::Header h = saveOne("after-damage.exr");
    EXPECT_EQ(h.compression(), Imf::PIZ_COMPRESSION);

    // Values that do not read as numbers keep what was read before them
    // (a text, a number beyond 16 bits, an empty block).
    devhost::readSceneText(host(), R"(
{ Host { Version 10 0 2009 } }
Plugin MasterHandler 1 OpenEXRSettings
{ Version 1 }
{ PixelFormat 2 } { PixelFormat "x" } { PixelFormat }
{ Compression 3 } { Compression "y" } { Compression 99999999999 }
EndPlugin
)",
                           dir.file("unreadable.lws"));
    EXPECT_EQ(host().describe(*host().scene().servers[0]),
              "Orvo OpenEXR: Float 32 - ZIP (lossless)");
    const Imf::Header kept = saveOne("after-unreadable.exr");
    EXPECT_EQ(kept.compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(kept.channels().begin().channel().type, Imf::FLOAT);
}

} // namespace
