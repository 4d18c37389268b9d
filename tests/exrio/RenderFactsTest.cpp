// The facts of a render gathered for written headers: the clock and time
// zone, the environment, and the host's scene, camera and identity through
// a development host, up to a file written and read back.
#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <pwd.h>
#include <unistd.h>
#endif

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>

#include <lwsdk/scene.h>
#include <lwsdk/system.h>

#include "MetadataTestSupport.h"
#include "TestSupport.h"
#include "devhost/Host.h"
#include "exrio/RenderMetadata.h"
#include "hostkit/Global.h"
#include "hostkit/HostInfo.h"
#include "hostkit/utility/Platform.h"

using metadatatest::expectSameExcept;
using metadatatest::floatAttr;
using metadatatest::localTimeOf;
using metadatatest::names;
using metadatatest::sameAttribute;
using metadatatest::ScopedEnv;
using metadatatest::stringAttr;
using ravelcast::HostMetadataItem;
using ravelcast::RenderMetadata;

namespace {

// A development host serving the module's lookups, with a scene to set.
class HostMetadataTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        hostkit::setGlobalFunction(&devhost::Host::global);
        applyScene();
    }
    void TearDown() override
    {
        hostkit::setGlobalFunction(nullptr);
        hostkit::setHostWords(0, 0);
        HostTest::TearDown();
    }
    devhost::SceneSettings &settings() { return host().scene().settings; }
    devhost::Camera &camera() { return host().scene().cameras.front(); }
    // The scene's name, frame range and rate, and its counts.
    void sceneOf(const char *name, int first, int last, double fps, int points, int polygons)
    {
        settings().name = name;
        settings().firstFrame = first;
        settings().lastFrame = last;
        settings().framesPerSecond = fps;
        settings().points = points;
        settings().polygons = polygons;
    }
    void hostVersion(int major, int minor, int build)
    {
        host().scene().host.major = major;
        host().scene().host.minor = minor;
        host().scene().host.build = build;
    }
    void applyScene()
    {
        host().sceneChanged();
        hostkit::setHostWords(host().systemId(), host().productInfo());
    }
};

// A 4 x 3 file with the attributes of a header, written with OpenEXR and
// read back: its header as read, the pixels checked intact.
Imf::Header writtenAndReadBack(const Imf::Header &attributes, const std::string &path)
{
    const int width = 4, height = 3;
    Imf::Header header(width, height);
    for (auto it = attributes.begin(); it != attributes.end(); ++it)
        header.insert(it.name(), it.attribute());
    header.dataWindow() = header.displayWindow() = Imath::Box2i({0, 0}, {width - 1, height - 1});
    header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
    std::vector<float> pixels(width * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0.25f * float(i);
    const auto slice = [&](std::vector<float> &v) {
        Imf::FrameBuffer fb;
        fb.insert("Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(v.data()), sizeof(float),
                                  sizeof(float) * width));
        return fb;
    };
    {
        Imf::OutputFile out(path.c_str(), header);
        out.setFrameBuffer(slice(pixels));
        out.writePixels(height);
    }
    Imf::InputFile in(path.c_str());
    std::vector<float> back(width * height, -1.f);
    in.setFrameBuffer(slice(back));
    in.readPixels(0, height - 1);
    EXPECT_EQ(back, pixels);
    return in.header();
}

} // namespace

TEST(RenderFactsClock, CaptureDateIsZeroPadded)
{
    std::tm t{};
    t.tm_year = 2010 - 1900;
    t.tm_mon = 1;
    t.tm_mday = 3;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 9;
    EXPECT_EQ(ravelcast::captureDateText(t), "2010:02:03 14:05:09");
    t.tm_mon = 11;
    t.tm_mday = 31;
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    EXPECT_EQ(ravelcast::captureDateText(t), "2010:12:31 00:00:00");
}

// ---- filled from the host

// The gathering reads the scene, its render camera and the host's words as
// the host holds them, under one hold of each service.
TEST_F(HostMetadataTest, GatheredFactsAreTheHostsValues)
{
    ScopedEnv user("USERNAME", std::string("artist"));
    ScopedEnv machine("COMPUTERNAME", std::string("node-7"));
    ScopedEnv tz("TZ", std::string("UTC"));
    hostVersion(9, 6, 2345);
    sceneOf("shot.lws", 5, 80, 25.0, 48210, 47992);
    settings().frameStep = 3;
    settings().renderThreads = 4;
    settings().renderOptions = LWROPT_REFLECTTRACE | LWROPT_CAUSTICS | LWROPT_FIELDS;
    settings().antialiasing = 102;
    settings().reconstructionFilter = 8;
    camera().focalLength = 35.123456789;
    camera().focalDistance = 6.5;
    camera().fStop = 2.8;
    camera().blurLength = 0.5;
    applyScene();
    host().services().resetCounts();

    const std::time_t now = localTimeOf(2010, 2, 3, 14, 5, 9);
    const ravelcast::RenderFacts facts = ravelcast::gatherRenderFacts(now);
    EXPECT_EQ(facts.owner, std::optional<std::string>("artist"));
    EXPECT_EQ(facts.computerName, std::optional<std::string>("node-7"));
    EXPECT_EQ(facts.captureDate, std::optional<std::string>("2010:02:03 14:05:09"));
    EXPECT_FLOAT_EQ(facts.utcOffset, 0.f);
    EXPECT_EQ(facts.systemId, host().systemId());
    EXPECT_EQ(facts.productInfo, host().productInfo());
    ASSERT_TRUE(facts.scene);
    const hostkit::SceneFacts &scene = *facts.scene;
    EXPECT_EQ(scene.name, std::optional<std::string>("shot.lws"));
    EXPECT_EQ(scene.frameStart, 5);
    EXPECT_EQ(scene.frameEnd, 80);
    EXPECT_EQ(scene.frameStep, 3);
    EXPECT_EQ(scene.framesPerSecond, 25.0);
    EXPECT_EQ(scene.points, 48210);
    EXPECT_EQ(scene.polygons, 47992);
    EXPECT_EQ(scene.threads, 4);
    EXPECT_EQ(scene.renderOptions, LWROPT_REFLECTTRACE | LWROPT_CAUSTICS | LWROPT_FIELDS);
    EXPECT_EQ(scene.antialiasing, 102);
    EXPECT_EQ(ravelcast::filterName(scene.filter), "Mitchell (Sharp)");
    ASSERT_TRUE(facts.camera);
    EXPECT_EQ(facts.camera->focalLength, std::optional<double>(35.123456789));
    EXPECT_EQ(facts.camera->focalDistance, std::optional<double>(6.5));
    EXPECT_EQ(facts.camera->fStop, std::optional<double>(2.8));
    EXPECT_EQ(facts.camera->blurLength, std::optional<double>(0.5));
    // The default camera's place and lens, as the host's services give them.
    ASSERT_TRUE(facts.cameraPlacement);
    EXPECT_EQ(facts.cameraPlacement->position, (hostkit::CameraPlacement::Vector{0, 1.7, -6.5}));
    EXPECT_DOUBLE_EQ(facts.cameraPlacement->zoomFactor, 35.123456789 / 18);
    EXPECT_EQ(facts.cameraPlacement->filmWidth, std::optional<double>(36.0));
    EXPECT_FALSE(facts.cameraPlacement->stereo);

    // Every service acquired was released again, each held once.
    EXPECT_TRUE(host().services().unreleased().empty());
    EXPECT_EQ(host().services().use(LWSCENEINFO_GLOBAL).acquires, 1);
    EXPECT_EQ(host().services().use(LWCAMERAINFO_GLOBAL).releases, 1);
    EXPECT_EQ(host().services().use(LWTIMEINFO_GLOBAL).releases, 1);
    EXPECT_EQ(host().services().use(LWITEMINFO_GLOBAL).releases, 1);

    // The record's own step is the gathering stamped.
    RenderMetadata gathered, stamped;
    gathered.addRenderInfo(now);
    stamped.stamp(facts);
    expectSameExcept(gathered.header(), stamped.header(), {});
    EXPECT_EQ(stringAttr(gathered.header(), "Model"), "1 V9.6 B:2345");
    EXPECT_EQ(stringAttr(gathered.header(), "LW.AA"), "PLD 3");
}

TEST_F(HostMetadataTest, CaptureDateAndZoneOffsetInSeconds)
{
#if defined(_WIN32)
    GTEST_SKIP() << "zones given as POSIX TZ rules; the Windows runtime reads only their "
                    "simplest form, and the Linux suite checks the arithmetic";
#endif
    {
        ScopedEnv tz("TZ", std::string("CET-1"));
        RenderMetadata record;
        record.addRenderInfo(localTimeOf(2010, 2, 3, 14, 5, 9));
        EXPECT_EQ(stringAttr(record.header(), "capDate"), "2010:02:03 14:05:09");
        // UTC = local time + offset: one hour east is minus an hour.
        EXPECT_FLOAT_EQ(floatAttr(record.header(), "utcOffset"), -3600.f);
        EXPECT_FLOAT_EQ(ravelcast::localUtcOffsetSeconds(localTimeOf(2010, 2, 3, 14, 5, 9)),
                        -3600.f);
    }
    {
        ScopedEnv tz("TZ", std::string("UTC"));
        RenderMetadata record;
        // 2010-02-03 13:05:09 UTC.
        record.addRenderInfo(std::time_t(1265202309));
        EXPECT_EQ(stringAttr(record.header(), "capDate"), "2010:02:03 13:05:09");
        EXPECT_FLOAT_EQ(floatAttr(record.header(), "utcOffset"), 0.f);
    }
    {
        // The offset in effect at the capture date: summer time counts.
        ScopedEnv tz("TZ", std::string("EST5EDT"));
        RenderMetadata record;
        record.addRenderInfo(localTimeOf(2010, 7, 1, 12, 0, 0));
        EXPECT_EQ(stringAttr(record.header(), "capDate"), "2010:07:01 12:00:00");
        EXPECT_FLOAT_EQ(floatAttr(record.header(), "utcOffset"), 4 * 3600.f);
        RenderMetadata winter;
        winter.addRenderInfo(localTimeOf(2010, 1, 15, 12, 0, 0));
        EXPECT_FLOAT_EQ(floatAttr(winter.header(), "utcOffset"), 5 * 3600.f);
    }
    {
        // A southern zone: summer in January, and a date across New Year.
        ScopedEnv tz("TZ", std::string("AEST-10AEDT,M10.1.0,M4.1.0/3"));
        RenderMetadata summer, winter;
        summer.addRenderInfo(localTimeOf(2011, 1, 1, 9, 30, 0));
        winter.addRenderInfo(localTimeOf(2010, 7, 1, 12, 0, 0));
        EXPECT_FLOAT_EQ(floatAttr(summer.header(), "utcOffset"), -11 * 3600.f);
        EXPECT_FLOAT_EQ(floatAttr(winter.header(), "utcOffset"), -10 * 3600.f);
    }
}

TEST_F(HostMetadataTest, ModelTextForLayoutAndScreamerNet)
{
    hostVersion(9, 6, 2345);
    applyScene();
    RenderMetadata layout;
    layout.addRenderInfo();
    EXPECT_EQ(stringAttr(layout.header(), "Model"), "1 V9.6 B:2345");

    host().scene().host.mode = devhost::RunMode::ScreamerNet;
    applyScene();
    RenderMetadata node;
    node.addRenderInfo();
    EXPECT_EQ(stringAttr(node.header(), "Model"), "0 V9.6 B:2345");
}

TEST_F(HostMetadataTest, MissingEnvironmentLeavesOnlyItsAttributeOut)
{
    const std::time_t now = localTimeOf(2010, 2, 3, 14, 5, 9);
    ScopedEnv user("USERNAME", std::string("artist"));
    ScopedEnv machine("COMPUTERNAME", std::string("node-7"));
    RenderMetadata full;
    full.addRenderInfo(now);
    ASSERT_EQ(stringAttr(full.header(), "owner"), "artist");
    {
        // Without USERNAME (Linux and macOS farms) the owner is the
        // system's login name of the account, as the system tells it.
        ScopedEnv noUser("USERNAME", std::nullopt);
#if defined(_WIN32)
        const std::string login = hostkit::loginName().value_or("");
        ASSERT_FALSE(login.empty());
#else
        const passwd *account = getpwuid(geteuid());
        ASSERT_NE(account, nullptr);
        const std::string login = account->pw_name;
#endif
        RenderMetadata record;
        record.addRenderInfo(now);
        EXPECT_EQ(stringAttr(record.header(), "owner"), login);
        expectSameExcept(full.header(), record.header(), {"owner"});

        Imf::Header file;
        ravelcast::stampFileMetadata(file, ravelcast::gatherRenderFacts(now), "");
        EXPECT_EQ(stringAttr(file, "owner"), login);
        expectSameExcept(full.header(), file, {"owner"});
    }
    {
        ScopedEnv noMachine("COMPUTERNAME", std::nullopt);
#if defined(_WIN32)
        const std::string host = hostkit::hostName().value_or("");
        ASSERT_FALSE(host.empty());
#else
        char host[256] = {};
        ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
#endif
        RenderMetadata record;
        record.addRenderInfo(now);
        EXPECT_EQ(stringAttr(record.header(), "computerName"), host);
        expectSameExcept(full.header(), record.header(), {"computerName"});
    }
}

TEST_F(HostMetadataTest, MissingSceneCameraOrServicesLeaveTheirFactsOut)
{
    const std::set<std::string> cameraFacts = {"focus", "expTime", "aperture", "FocalLength"};
    settings().renderCamera = "nobody";
    applyScene();
    RenderMetadata noCamera;
    noCamera.addRenderInfo();
    for (const std::string &name : cameraFacts)
        EXPECT_EQ(noCamera.header().findTypedAttribute<Imf::Attribute>(name), nullptr) << name;
    EXPECT_EQ(stringAttr(noCamera.header(), "LW.AA"), "Enhanced Low");

    settings().renderCamera = "Camera";
    settings().framesPerSecond = 0.0;
    applyScene();
    RenderMetadata stillFrame;
    stillFrame.addRenderInfo();
    EXPECT_EQ(stillFrame.header().findTypedAttribute<Imf::Attribute>("expTime"), nullptr);
    EXPECT_FLOAT_EQ(floatAttr(stillFrame.header(), "aperture"), 4.f);

    host().services().withdraw(LWSCENEINFO_GLOBAL);
    RenderMetadata noScene;
    noScene.addRenderInfo();
    const auto present = names(noScene.header());
    for (const char *name : {"LightWaveScene", "framesPerSecond", "LW.AA", "LW.TotalPoints",
                             "focus", "FocalLength"})
        EXPECT_EQ(present.count(name), 0u) << name;
    for (const char *name : {"LightWaveBuild", "capDate", "utcOffset", "Software", "Make", "Model"})
        EXPECT_EQ(present.count(name), 1u) << name;

    // No host at all: the same, without a crash.
    hostkit::setGlobalFunction(nullptr);
    RenderMetadata alone;
    alone.addRenderInfo();
    EXPECT_EQ(names(alone.header()), present);
    EXPECT_TRUE(host().services().unreleased().empty());
}

// ---- the acceptance: written with OpenEXR and read back

TEST_F(HostMetadataTest, HeaderSurvivesAWrittenFile)
{
    ScopedEnv user("USERNAME", std::string("artist"));
    ScopedEnv machine("COMPUTERNAME", std::string("node-7"));
    ScopedEnv tz("TZ", std::string("CET-1"));
    hostVersion(9, 6, 2345);
    sceneOf("acceptance.lws", 1, 48, 29.97, 1200, 1100);
    settings().renderOptions = LWROPT_RTTRANSPARENCY | LWROPT_RADIOSITY;
    settings().antialiasing = 2;
    settings().reconstructionFilter = 12;
    settings().renderThreads = 2;
    camera().focalLength = 50.0;
    camera().focalDistance = 3.25;
    camera().fStop = 1.4;
    camera().blurLength = 1.0;
    host().scene().host.mode = devhost::RunMode::Layout;
    applyScene();

    RenderMetadata record;
    record.setItem("72", ravelcast::kTagXDensity);
    record.setItem("49153 7", ravelcast::kTagRenderFact);
    record.addRenderInfo(localTimeOf(2010, 2, 3, 14, 5, 9));

    testsupport::TempDir dir;
    const Imf::Header read = writtenAndReadBack(record.header(), dir.file("metadata.exr"));
    const struct {
        const char *name;
        const char *type;
    } expected[] = {
        {"owner", "string"},          {"computerName", "string"},   {"LightWaveScene", "string"},
        {"LightWaveBuild", "int"},    {"capDate", "string"},        {"utcOffset", "float"},
        {"framesPerSecond", "rational"}, {"xDensity", "float"},     {"LW.FrameNumber", "string"},
        {"LW.TotalPoints", "string"}, {"LW.TotalPolygons", "string"}, {"LW.FirstFrame", "string"},
        {"LW.LastFrame", "string"},   {"LW.Framestep", "string"},   {"LW.RenderThreads", "string"},
        {"LW.RTRefractions", "string"}, {"LW.RTReflections", "string"},
        {"LW.RTTransparency", "string"}, {"LW.Caustics", "string"}, {"LW.Radiosity", "string"},
        {"LW.ParticleBlur", "string"}, {"LW.FieldRendering", "string"}, {"LW.AAFilter", "string"},
        {"LW.AA", "string"},          {"Software", "string"},       {"Make", "string"},
        {"Model", "string"},          {"focus", "float"},           {"expTime", "float"},
        {"aperture", "float"},        {"FocalLength", "float"},
        {"worldToCamera", "m44f"},    {"worldToNDC", "m44f"},
        {"FilmApertureHorizontal", "float"}, {"FilmApertureVertical", "float"},
        {"chromaticities", "chromaticities"},
    };
    for (const auto &e : expected) {
        const Imf::Attribute *a = read.findTypedAttribute<Imf::Attribute>(e.name);
        ASSERT_NE(a, nullptr) << e.name;
        EXPECT_STREQ(a->typeName(), e.type) << e.name;
        EXPECT_TRUE(sameAttribute(record.header()[e.name], *a)) << e.name;
    }
    // Nothing but the library's own attributes besides.
    std::set<std::string> extra = names(read);
    for (const auto &e : expected)
        extra.erase(e.name);
    EXPECT_EQ(extra, (std::set<std::string>{"channels", "compression", "dataWindow",
                                             "displayWindow", "lineOrder", "pixelAspectRatio",
                                             "screenWindowCenter", "screenWindowWidth"}));

    const std::pair<const char *, const char *> texts[] = {
        {"LightWaveScene", "acceptance.lws"}, {"capDate", "2010:02:03 14:05:09"},
        {"LW.RTTransparency", "16384"},       {"LW.Radiosity", "32768"},
        {"LW.AAFilter", "Lanczos (Soft)"},    {"LW.AA", "Enhanced Medium"},
        {"LW.FrameNumber", "7"},              {"Software", "LightWave 3D\xC2\xAE"},
        {"Model", "1 V9.6 B:2345"}};
    for (const auto &[name, text] : texts)
        EXPECT_EQ(stringAttr(read, name), text) << name;
    EXPECT_FLOAT_EQ(floatAttr(read, "utcOffset"), -3600.f);
    EXPECT_NEAR(double(read.typedAttribute<Imf::RationalAttribute>("framesPerSecond").value()),
                29.97, 1e-6);
    EXPECT_FLOAT_EQ(floatAttr(read, "expTime"), float(1.0 / 29.97));
    EXPECT_FLOAT_EQ(floatAttr(read, "aperture"), 1.4f);
    EXPECT_FLOAT_EQ(floatAttr(read, "focus"), 3.25f);

    // The loader's conversion of the file read back.
    const auto items = ravelcast::hostMetadataItems(read);
    const auto sent = [&](const HostMetadataItem &item) {
        return std::find(items.begin(), items.end(), item) != items.end();
    };
    EXPECT_TRUE(sent({16, "2010:02:03 14:05:09"}));
    EXPECT_TRUE(sent({24, "49159 Enhanced Medium"}));
    EXPECT_TRUE(sent({3, "72"}));
    EXPECT_FALSE(sent({50, "artist"})) << "the owner is not sent as the maker";

}
