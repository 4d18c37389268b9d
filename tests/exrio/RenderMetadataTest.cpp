// The header facts of written files: host items, render facts, the host's
// scene and camera, the environment, and the loader's reverse conversion.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <locale>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfDoubleAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>
#include <ImfIntAttribute.h>
#include <ImfOutputFile.h>
#include <ImfRationalAttribute.h>
#include <ImfStringAttribute.h>

#include <lwsdk/scene.h>
#include <lwsdk/system.h>

#include "TestSupport.h"
#include "devhost/Host.h"
#include "exrio/RenderMetadata.h"
#include "hostkit/Global.h"
#include "hostkit/HostInfo.h"

using ravelcast::HostMetadataItem;
using ravelcast::RenderMetadata;

namespace {

// Sets (or unsets, with nullopt) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, std::optional<std::string> value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        apply(value);
    }
    ~ScopedEnv() { apply(old_); }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    void apply(const std::optional<std::string> &value)
    {
        if (value)
            setenv(name_.c_str(), value->c_str(), 1);
        else
            unsetenv(name_.c_str());
        tzset();
    }
    std::string name_;
    std::optional<std::string> old_;
};

std::string stringAttr(const Imf::Header &h, const char *name)
{
    const auto *a = h.findTypedAttribute<Imf::StringAttribute>(name);
    return a ? a->value() : "<missing>";
}

float floatAttr(const Imf::Header &h, const char *name)
{
    const auto *a = h.findTypedAttribute<Imf::FloatAttribute>(name);
    return a ? a->value() : NAN;
}

std::set<std::string> names(const Imf::Header &h)
{
    std::set<std::string> out;
    for (auto it = h.begin(); it != h.end(); ++it)
        out.insert(it.name());
    return out;
}

// True when both attributes have the same type and value.
bool sameAttribute(const Imf::Attribute &a, const Imf::Attribute &b)
{
    if (std::string(a.typeName()) != b.typeName())
        return false;
    if (auto *s = dynamic_cast<const Imf::StringAttribute *>(&a))
        return s->value() == dynamic_cast<const Imf::StringAttribute &>(b).value();
    if (auto *i = dynamic_cast<const Imf::IntAttribute *>(&a))
        return i->value() == dynamic_cast<const Imf::IntAttribute &>(b).value();
    if (auto *f = dynamic_cast<const Imf::FloatAttribute *>(&a))
        return f->value() == dynamic_cast<const Imf::FloatAttribute &>(b).value();
    if (auto *r = dynamic_cast<const Imf::RationalAttribute *>(&a)) {
        const Imf::Rational &o = dynamic_cast<const Imf::RationalAttribute &>(b).value();
        return r->value().n == o.n && r->value().d == o.d;
    }
    return true; // windows, channels and the like are the library's business
}

// Every attribute of a except the named ones is present in b, equal.
void expectSameExcept(const Imf::Header &a, const Imf::Header &b, const std::set<std::string> &skip)
{
    for (auto it = a.begin(); it != a.end(); ++it) {
        if (skip.count(it.name()))
            continue;
        const Imf::Attribute *other = b.findTypedAttribute<Imf::Attribute>(it.name());
        ASSERT_NE(other, nullptr) << it.name();
        EXPECT_TRUE(sameAttribute(it.attribute(), *other)) << it.name();
    }
    for (auto it = b.begin(); it != b.end(); ++it) {
        if (!skip.count(it.name())) {
            EXPECT_NE(a.findTypedAttribute<Imf::Attribute>(it.name()), nullptr) << it.name();
        }
    }
}

std::time_t localTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

constexpr unsigned int productWord(int major, int minor, int build)
{
    return (unsigned(major) << 20) | (unsigned(minor) << 16) | (unsigned(build) << 4) | 1u;
}

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
    void applyScene()
    {
        host().sceneChanged();
        hostkit::setHostWords(host().systemId(), host().productInfo());
    }
};

} // namespace

// ---- tables and texts

TEST(RenderMetadataTables, RenderFactTableHas29NamedIds)
{
    const RenderMetadata record;
    const auto &table = record.namesById();
    ASSERT_EQ(table.size(), 29u);
    EXPECT_EQ(table.begin()->first, 0xC000);
    EXPECT_EQ(table.rbegin()->first, 0xC01C);
    EXPECT_EQ(table.at(0xC000), "LW.Company");
    EXPECT_EQ(table.at(0xC001), "LW.FrameNumber");
    EXPECT_EQ(table.at(0xC00F), "LW.TotalMemory");
    EXPECT_EQ(table.at(0xC011), "LW.AAFilter");
    EXPECT_EQ(table.at(0xC01B), "LW.DepthOfField");
    EXPECT_EQ(table.at(0xC01C), "LW.OutputFiles");
    EXPECT_TRUE(record.valuesById().empty());
    // The default header: 64 x 64, ZIP, no channels.
    EXPECT_EQ(record.header().dataWindow().max.x, 63);
    EXPECT_EQ(record.header().compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(record.header().channels().begin(), record.header().channels().end());
}

TEST(RenderMetadataTables, AntialiasingTexts)
{
    EXPECT_EQ(ravelcast::antialiasingText(0), "none");
    EXPECT_EQ(ravelcast::antialiasingText(1), "Enhanced Low");
    EXPECT_EQ(ravelcast::antialiasingText(2), "Enhanced Medium");
    EXPECT_EQ(ravelcast::antialiasingText(3), "Enhanced High");
    EXPECT_EQ(ravelcast::antialiasingText(4), "Enhanced Extreme");
    EXPECT_EQ(ravelcast::antialiasingText(100), "PLD 1");
    EXPECT_EQ(ravelcast::antialiasingText(103), "PLD 4");
    for (int level : {5, 7, 99, -1, -100})
        EXPECT_EQ(ravelcast::antialiasingText(level), "unknown") << level;
}

TEST(RenderMetadataTables, FilterNamesFromBitsOneToFive)
{
    EXPECT_EQ(ravelcast::filterName(0 << 1), "Classic");
    EXPECT_EQ(ravelcast::filterName(2 << 1), "Box (Sharp)");
    EXPECT_EQ(ravelcast::filterName(7 << 1), "Mitchell");
    EXPECT_EQ(ravelcast::filterName(12 << 1), "Lanczos (Soft)");
    EXPECT_EQ(ravelcast::filterName(13 << 1), "unknown");
    EXPECT_EQ(ravelcast::filterName(31 << 1), "unknown");
    // Bits outside 1-5 do not take part.
    EXPECT_EQ(ravelcast::filterName((4 << 1) | 1 | 0x40), "Gaussian");
}

TEST(RenderMetadataTables, ModelTextNamesProgramVersionAndBuild)
{
    const unsigned int product = productWord(9, 6, 2345);
    EXPECT_EQ(ravelcast::modelText(LWSYS_LAYOUT | 0x123, product), "1 V9.6 B:2345");
    EXPECT_EQ(ravelcast::modelText(LWSYS_SCREAMERNET | 0x123, product), "0 V9.6 B:2345");
    EXPECT_EQ(ravelcast::modelText(LWSYS_MODELER, productWord(11, 0, 7)), "0 V11.0 B:7");
}

TEST(RenderMetadataTables, CaptureDateIsZeroPadded)
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

TEST(RenderMetadataTables, LeadingNumberIsTheDecimalAtTheStart)
{
    EXPECT_DOUBLE_EQ(ravelcast::leadingNumber("300"), 300.0);
    EXPECT_DOUBLE_EQ(ravelcast::leadingNumber("29.97 fps"), 29.97);
    EXPECT_DOUBLE_EQ(ravelcast::leadingNumber("  -1.5e2x"), -150.0);
    EXPECT_DOUBLE_EQ(ravelcast::leadingNumber("+2.5"), 2.5);
    // A comma is not a decimal point, whatever the locale.
    EXPECT_DOUBLE_EQ(ravelcast::leadingNumber("1,5"), 1.0);
    for (const char *none : {"", "abc", "mm 12", "+-3", "0x", "nan", "inf"})
        EXPECT_DOUBLE_EQ(ravelcast::leadingNumber(none), 0.0) << none;
    EXPECT_DOUBLE_EQ(ravelcast::leadingNumber("0x10"), 0.0);
}

// ---- host items into the record

TEST(RenderMetadataItems, RenderFactTextsSetTheirAttribute)
{
    RenderMetadata record;
    const std::size_t before = names(record.header()).size();

    EXPECT_EQ(record.setItem("49153 12", ravelcast::kTagRenderFact), 1);
    EXPECT_EQ(stringAttr(record.header(), "LW.FrameNumber"), "12");
    EXPECT_EQ(record.valuesById().at(49153), "12");

    record.setIdValue("49169 Box (Sharp)");
    EXPECT_EQ(stringAttr(record.header(), "LW.AAFilter"), "Box (Sharp)");
    EXPECT_EQ(record.valuesById().at(49169), "Box (Sharp)");
    EXPECT_EQ(names(record.header()).size(), before + 2);

    // A later text replaces the earlier value.
    record.setIdValue("49153 13");
    EXPECT_EQ(stringAttr(record.header(), "LW.FrameNumber"), "13");
    EXPECT_EQ(names(record.header()).size(), before + 2);
}

TEST(RenderMetadataItems, NewTekSetsMakerOnly)
{
    RenderMetadata record;
    const auto before = names(record.header());
    record.setIdValue("NewTek");
    auto after = names(record.header());
    EXPECT_EQ(stringAttr(record.header(), "Maker"), "NewTek");
    after.erase("Maker");
    EXPECT_EQ(after, before);
    EXPECT_TRUE(record.valuesById().empty());
}

TEST(RenderMetadataItems, UnknownIdsAndTextsWithoutNumberSetNothing)
{
    RenderMetadata record;
    const auto before = names(record.header());
    record.setIdValue("1234 something");
    for (const char *text : {"", "abc 12", " 49153 12", "NewTek2", "newtek", "99999999999 x"})
        record.setIdValue(text);
    EXPECT_EQ(names(record.header()), before);
    // The value of an unknown id is still kept.
    EXPECT_EQ(record.valuesById().size(), 1u);
    EXPECT_EQ(record.valuesById().at(1234), "something");
}

TEST(RenderMetadataItems, UnderstoodTagsAndTheirAttributeTypes)
{
    RenderMetadata record;
    EXPECT_EQ(record.setItem("300", 3), 1);
    // OpenEXR's density is in pixels per inch, as the host's is.
    EXPECT_FLOAT_EQ(floatAttr(record.header(), "xDensity"), 300.0f);

    EXPECT_EQ(record.setItem("25", 4), 1);
    const auto *fps = record.header().findTypedAttribute<Imf::RationalAttribute>("framesPerSecond");
    ASSERT_NE(fps, nullptr);
    EXPECT_EQ(fps->value().n, 25);
    EXPECT_EQ(fps->value().d, 1u);
    record.setItem("29.97", 4);
    EXPECT_NEAR(double(record.header().typedAttribute<Imf::RationalAttribute>("framesPerSecond")
                           .value()),
                29.97, 1e-6);

    const struct {
        int tag;
        const char *attribute;
        const char *text;
        float value;
    } numbers[] = {{6, "whiteLuminance", "120.5", 120.5f}, {11, "expTime", "0.02", 0.02f},
                   {12, "aperture", "2.8", 2.8f},         {14, "isoSpeed", "400 ISO", 400.f},
                   {23, "FocalLength", "35mm", 35.f},     {33, "focus", "none", 0.f}};
    for (const auto &n : numbers) {
        EXPECT_EQ(record.setItem(n.text, n.tag), 1) << n.tag;
        EXPECT_FLOAT_EQ(floatAttr(record.header(), n.attribute), n.value) << n.attribute;
    }

    const struct {
        int tag;
        const char *attribute;
    } texts[] = {{16, "capDate"}, {25, "comments"}, {50, "Make"}, {51, "Model"}, {52, "Software"}};
    for (const auto &t : texts) {
        const std::string text = std::string("text of ") + t.attribute;
        EXPECT_EQ(record.setItem(text, t.tag), 1) << t.tag;
        EXPECT_EQ(stringAttr(record.header(), t.attribute), text);
    }
    EXPECT_EQ(record.setItem("49161 1", 24), 1);
    EXPECT_EQ(stringAttr(record.header(), "LW.ParticleBlur"), "1");
}

TEST(RenderMetadataItems, OtherTagsAreIgnored)
{
    const std::set<int> understood = {3, 4, 6, 11, 12, 14, 16, 23, 24, 25, 33, 50, 51, 52};
    RenderMetadata record;
    const auto before = names(record.header());
    EXPECT_EQ(record.setItem("12", 5), 0);
    EXPECT_EQ(record.setItem("12", 40), 0);
    for (int tag = 3; tag <= 52; ++tag) {
        if (!understood.count(tag)) {
            EXPECT_EQ(record.setItem("49153 12", tag), 0) << tag;
        }
    }
    EXPECT_EQ(names(record.header()), before);
    EXPECT_TRUE(record.valuesById().empty());
}

// ---- the loader's direction

TEST(RenderMetadataReverse, EveryTableRowBecomesAHostItem)
{
    Imf::Header h;
    h.insert("comments", Imf::StringAttribute("a note"));
    h.insert("framesPerSecond", Imf::RationalAttribute(Imf::Rational(30000, 1001)));
    h.insert("xDensity", Imf::FloatAttribute(300.0f));
    h.insert("focus", Imf::FloatAttribute(6.5f));
    h.insert("whiteLuminance", Imf::FloatAttribute(100.f));
    h.insert("expTime", Imf::FloatAttribute(0.02f));
    h.insert("aperture", Imf::FloatAttribute(2.8f));
    h.insert("isoSpeed", Imf::FloatAttribute(400.f));
    h.insert("capDate", Imf::StringAttribute("2010:02:03 14:05:09"));
    h.insert("owner", Imf::StringAttribute("artist"));
    h.insert("Maker", Imf::StringAttribute("NewTek"));
    h.insert("Make", Imf::StringAttribute("NewTek"));
    h.insert("Model", Imf::StringAttribute("1 V9.6 B:2345"));
    h.insert("Software", Imf::StringAttribute("LightWave 3D\xAE"));
    h.insert("Exposure", Imf::FloatAttribute(1.25f));
    h.insert("F-Stop", Imf::FloatAttribute(5.6f));
    h.insert("FocalLength", Imf::FloatAttribute(1234.5f));
    h.insert("LW.FrameNumber", Imf::StringAttribute("12"));
    h.insert("LW.AAFilter", Imf::StringAttribute("Box (Sharp)"));
    h.insert("LW.Company", Imf::StringAttribute(""));
    // Not passed on: unknown names, and known names of another type.
    h.insert("computerName", Imf::StringAttribute("box"));
    h.insert("utcOffset", Imf::FloatAttribute(-3600.f));
    h.insert("LW.Stereo", Imf::IntAttribute(1));

    // "owner" has no item; "Exposure" and "F-Stop" stand in only for
    // files without "expTime" and "aperture".
    const std::vector<HostMetadataItem> expected = {
        {25, "a note"},
        {4, "29.97002997002997"},
        {3, "300"},
        {33, "6.5"},
        {6, "100"},
        {11, "0.02"},
        {12, "2.8"},
        {14, "400"},
        {16, "2010:02:03 14:05:09"},
        {24, "NewTek"},
        {50, "NewTek"},
        {51, "1 V9.6 B:2345"},
        {52, "LightWave 3D\xAE"},
        {23, "1234.5"},
        {24, "49152 "},
        {24, "49153 12"},
        {24, "49169 Box (Sharp)"},
    };
    EXPECT_EQ(ravelcast::hostMetadataItems(h), expected);
    EXPECT_EQ(RenderMetadata(h).hostItems(), expected);
    // Written in UTF-8, the product name reaches the host in its own spelling.
    h.insert("Software", Imf::StringAttribute("LightWave 3D\xC2\xAE"));
    EXPECT_EQ(ravelcast::hostMetadataItems(h), expected);
}

namespace {
// Comma decimals and dot grouping, as many users have.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
} // namespace

TEST(RenderMetadataReverse, NumbersIgnoreTheUsersLocaleAndZeroRates)
{
    const std::locale old = std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    Imf::Header h;
    h.insert("FocalLength", Imf::FloatAttribute(1234.5f));
    h.insert("framesPerSecond", Imf::RationalAttribute(Imf::Rational(25, 0)));
    const auto items = ravelcast::hostMetadataItems(h);
    std::locale::global(old);
    // A rate without denominator is no rate; the focal length keeps its dot.
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], (HostMetadataItem{23, "1234.5"}));
}

// A loaded image saved again keeps its facts: every item the loader sends
// sets, through the saver's tag, the attribute it came from, with the same
// value.
TEST(RenderMetadataReverse, ItemsRoundTripExactly)
{
    Imf::Header h;
    h.insert("comments", Imf::StringAttribute("take 3"));
    h.insert("framesPerSecond", Imf::RationalAttribute(Imf::Rational(24, 1)));
    h.insert("xDensity", Imf::FloatAttribute(72.0f));
    h.insert("focus", Imf::FloatAttribute(16777216.0f));
    h.insert("whiteLuminance", Imf::FloatAttribute(0.1f));
    h.insert("expTime", Imf::FloatAttribute(1.0e-30f));
    h.insert("aperture", Imf::FloatAttribute(5.6f));
    h.insert("isoSpeed", Imf::FloatAttribute(123456.79f));
    h.insert("capDate", Imf::StringAttribute("2026:12:09 13:05:09"));
    h.insert("Maker", Imf::StringAttribute("NewTek"));
    h.insert("Make", Imf::StringAttribute("a camera maker"));
    h.insert("Model", Imf::StringAttribute("0 V9.6 B:1"));
    h.insert("Software", Imf::StringAttribute("LightWave 3D\xC2\xAE"));
    h.insert("FocalLength", Imf::FloatAttribute(3.4028235e38f));
    h.insert("LW.CameraName", Imf::StringAttribute("Camera 2"));
    h.insert("owner", Imf::StringAttribute("ada"));

    const std::vector<HostMetadataItem> items = ravelcast::hostMetadataItems(h);
    RenderMetadata saved;
    std::set<int> tags;
    for (const HostMetadataItem &item : items) {
        EXPECT_EQ(saved.setItem(item.text, item.tag), 1) << item.tag << " " << item.text;
        tags.insert(item.tag);
        EXPECT_NE(item.text.find("e+"), 0u);
    }
    EXPECT_EQ(tags.count(50), 1u);
    for (const char *name : {"focus", "whiteLuminance", "expTime", "aperture", "isoSpeed",
                             "FocalLength", "xDensity"}) {
        const auto *want = h.findTypedAttribute<Imf::FloatAttribute>(name);
        const auto *got = saved.header().findTypedAttribute<Imf::FloatAttribute>(name);
        ASSERT_NE(got, nullptr) << name;
        EXPECT_EQ(got->value(), want->value()) << name;
    }
    for (const char *name : {"comments", "capDate", "Maker", "Make", "Model", "Software",
                             "LW.CameraName"}) {
        const auto *got = saved.header().findTypedAttribute<Imf::StringAttribute>(name);
        ASSERT_NE(got, nullptr) << name;
        EXPECT_EQ(got->value(), h.typedAttribute<Imf::StringAttribute>(name).value()) << name;
    }
    EXPECT_EQ(saved.header().typedAttribute<Imf::RationalAttribute>("framesPerSecond").value().n,
              24);
    EXPECT_EQ(saved.header().find("owner"), saved.header().end()) << "the user is not a maker";
    EXPECT_EQ(saved.header().typedAttribute<Imf::StringAttribute>("Make").value(),
              "a camera maker");

    const auto text = [&](int tag) {
        for (const HostMetadataItem &i : items)
            if (i.tag == tag)
                return i.text;
        return std::string();
    };
    EXPECT_EQ(text(33), "16777216");
    EXPECT_EQ(text(6), "0.1");
    EXPECT_EQ(text(11), "1e-30");
    EXPECT_EQ(text(3), "72");

    // Other writers' names for exposure and f-stop, when the file has only
    // those.
    Imf::Header other;
    other.insert("Exposure", Imf::FloatAttribute(1.25f));
    other.insert("F-Stop", Imf::FloatAttribute(5.6f));
    EXPECT_EQ(ravelcast::hostMetadataItems(other),
              (std::vector<HostMetadataItem>{{11, "1.25"}, {12, "5.6"}}));
}

// ---- filled from the host

TEST_F(HostMetadataTest, RenderInfoFromSceneCameraAndHost)
{
    ScopedEnv user("USERNAME", std::string("artist"));
    ScopedEnv machine("COMPUTERNAME", std::string("node-7"));
    ScopedEnv tz("TZ", std::string("UTC"));
    host().scene().host.major = 9;
    host().scene().host.minor = 6;
    host().scene().host.build = 2345;
    settings().name = "shot.lws";
    settings().firstFrame = 5;
    settings().lastFrame = 80;
    settings().frameStep = 3;
    settings().framesPerSecond = 25.0;
    settings().points = 48210;
    settings().polygons = 47992;
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

    RenderMetadata record;
    record.addRenderInfo(localTimeOf(2010, 2, 3, 14, 5, 9));
    const Imf::Header &h = record.header();

    EXPECT_EQ(stringAttr(h, "owner"), "artist");
    EXPECT_EQ(stringAttr(h, "computerName"), "node-7");
    EXPECT_EQ(stringAttr(h, "LightWaveScene"), "shot.lws");
    EXPECT_EQ(h.typedAttribute<Imf::IntAttribute>("LightWaveBuild").value(), 2345);
    EXPECT_EQ(stringAttr(h, "capDate"), "2010:02:03 14:05:09");
    EXPECT_FLOAT_EQ(floatAttr(h, "utcOffset"), 0.f);
    const Imf::Rational fps = h.typedAttribute<Imf::RationalAttribute>("framesPerSecond").value();
    EXPECT_EQ(fps.n, 25);
    EXPECT_EQ(fps.d, 1u);

    EXPECT_EQ(stringAttr(h, "LW.TotalPoints"), "48210");
    EXPECT_EQ(stringAttr(h, "LW.TotalPolygons"), "47992");
    EXPECT_EQ(stringAttr(h, "LW.FirstFrame"), "5");
    EXPECT_EQ(stringAttr(h, "LW.LastFrame"), "80");
    EXPECT_EQ(stringAttr(h, "LW.Framestep"), "3");
    EXPECT_EQ(stringAttr(h, "LW.RenderThreads"), "4");
    EXPECT_EQ(stringAttr(h, "LW.RTReflections"), "2");
    EXPECT_EQ(stringAttr(h, "LW.Caustics"), "65536");
    EXPECT_EQ(stringAttr(h, "LW.FieldRendering"), "8");
    EXPECT_EQ(stringAttr(h, "LW.RTRefractions"), "0");
    EXPECT_EQ(stringAttr(h, "LW.AAFilter"), "Mitchell (Sharp)");
    EXPECT_EQ(stringAttr(h, "LW.AA"), "PLD 3");
    EXPECT_EQ(record.valuesById().at(0xC007), "PLD 3");
    EXPECT_EQ(h.findTypedAttribute<Imf::StringAttribute>("LW.FrameNumber"), nullptr);

    // The registered sign in UTF-8: readers show it, text tools read text.
    EXPECT_EQ(stringAttr(h, "Software"), "LightWave 3D\xC2\xAE");
    EXPECT_EQ(stringAttr(h, "Make"), "NewTek");
    EXPECT_EQ(stringAttr(h, "Model"), "1 V9.6 B:2345");

    EXPECT_FLOAT_EQ(floatAttr(h, "focus"), 6.5f);
    EXPECT_FLOAT_EQ(floatAttr(h, "expTime"), 0.02f);
    EXPECT_FLOAT_EQ(floatAttr(h, "aperture"), 2.8f);
    // Through text that keeps every digit the value has.
    EXPECT_EQ(floatAttr(h, "FocalLength"), static_cast<float>(35.123456789));

    // Every service acquired was released again.
    EXPECT_TRUE(host().services().unreleased().empty());
    EXPECT_EQ(host().services().use(LWSCENEINFO_GLOBAL).acquires, 1);
    EXPECT_EQ(host().services().use(LWCAMERAINFO_GLOBAL).releases, 1);
    EXPECT_EQ(host().services().use(LWTIMEINFO_GLOBAL).releases, 1);
}

TEST_F(HostMetadataTest, RenderOptionFactsCarryTheMaskedBit)
{
    settings().renderOptions = LWROPT_RTTRANSPARENCY;
    applyScene();
    RenderMetadata record;
    record.addRenderInfo();
    const Imf::Header &h = record.header();
    EXPECT_EQ(stringAttr(h, "LW.RTTransparency"), "16384");
    for (const char *off : {"LW.RTRefractions", "LW.RTReflections", "LW.Caustics", "LW.Radiosity",
                            "LW.ParticleBlur", "LW.FieldRendering"})
        EXPECT_EQ(stringAttr(h, off), "0") << off;

    settings().renderOptions = 0x1FFFF;
    applyScene();
    record.addRenderInfo();
    EXPECT_EQ(stringAttr(h, "LW.RTRefractions"), "4");
    EXPECT_EQ(stringAttr(h, "LW.Radiosity"), "32768");
    EXPECT_EQ(stringAttr(h, "LW.ParticleBlur"), "256");
}

TEST_F(HostMetadataTest, CaptureDateAndZoneOffsetInSeconds)
{
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
    host().scene().host.major = 9;
    host().scene().host.minor = 6;
    host().scene().host.build = 2345;
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
        ScopedEnv noUser("USERNAME", std::nullopt);
        RenderMetadata record;
        record.addRenderInfo(now);
        EXPECT_EQ(record.header().findTypedAttribute<Imf::Attribute>("owner"), nullptr);
        expectSameExcept(full.header(), record.header(), {"owner"});

        Imf::Header file;
        ravelcast::addFileMetadata(file, "", now);
        EXPECT_EQ(file.findTypedAttribute<Imf::Attribute>("owner"), nullptr);
        expectSameExcept(full.header(), file, {"owner"});
    }
    {
        ScopedEnv noMachine("COMPUTERNAME", std::nullopt);
        RenderMetadata record;
        record.addRenderInfo(now);
        EXPECT_EQ(record.header().findTypedAttribute<Imf::Attribute>("computerName"), nullptr);
        expectSameExcept(full.header(), record.header(), {"computerName"});
    }
}

TEST_F(HostMetadataTest, FileStepKeepsTheHeaderAndAddsComment)
{
    ScopedEnv user("USERNAME", std::string("artist"));
    settings().name = "shot.lws";
    applyScene();

    Imf::Header file(320, 200, 1.5f, Imath::V2f(0, 0), 1.f, Imf::INCREASING_Y,
                     Imf::PIZ_COMPRESSION);
    file.channels().insert("diffuse.R", Imf::Channel(Imf::HALF));
    file.insert("capDate", Imf::StringAttribute("old"));
    ravelcast::addFileMetadata(file, "first take");
    EXPECT_EQ(file.displayWindow().max.x, 319);
    EXPECT_FLOAT_EQ(file.pixelAspectRatio(), 1.5f);
    EXPECT_EQ(file.compression(), Imf::PIZ_COMPRESSION);
    EXPECT_NE(file.channels().findChannel("diffuse.R"), nullptr);
    EXPECT_EQ(stringAttr(file, "comments"), "first take");
    EXPECT_EQ(stringAttr(file, "owner"), "artist");
    EXPECT_EQ(stringAttr(file, "LightWaveScene"), "shot.lws");
    EXPECT_NE(stringAttr(file, "capDate"), "old");
    EXPECT_EQ(stringAttr(file, "Make"), "NewTek");

    Imf::Header image;
    ravelcast::addFileMetadata(image, "");
    EXPECT_EQ(image.findTypedAttribute<Imf::Attribute>("comments"), nullptr);
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
    host().scene().host.major = 9;
    host().scene().host.minor = 6;
    host().scene().host.build = 2345;
    settings().name = "acceptance.lws";
    settings().firstFrame = 1;
    settings().lastFrame = 48;
    settings().framesPerSecond = 29.97;
    settings().points = 1200;
    settings().polygons = 1100;
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

    const int width = 4, height = 3;
    Imf::Header header(width, height);
    for (auto it = record.header().begin(); it != record.header().end(); ++it)
        header.insert(it.name(), it.attribute());
    header.dataWindow() = header.displayWindow() = Imath::Box2i({0, 0}, {width - 1, height - 1});
    header.channels().insert("Y", Imf::Channel(Imf::FLOAT));

    testsupport::TempDir dir;
    const std::string path = dir.file("metadata.exr");
    std::vector<float> pixels(width * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0.25f * float(i);
    {
        Imf::OutputFile out(path.c_str(), header);
        Imf::FrameBuffer fb;
        fb.insert("Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(pixels.data()),
                                  sizeof(float), sizeof(float) * width));
        out.setFrameBuffer(fb);
        out.writePixels(height);
    }

    Imf::InputFile in(path.c_str());
    const Imf::Header &read = in.header();
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

    EXPECT_EQ(stringAttr(read, "LightWaveScene"), "acceptance.lws");
    EXPECT_EQ(stringAttr(read, "capDate"), "2010:02:03 14:05:09");
    EXPECT_FLOAT_EQ(floatAttr(read, "utcOffset"), -3600.f);
    EXPECT_NEAR(double(read.typedAttribute<Imf::RationalAttribute>("framesPerSecond").value()),
                29.97, 1e-6);
    EXPECT_EQ(stringAttr(read, "LW.RTTransparency"), "16384");
    EXPECT_EQ(stringAttr(read, "LW.Radiosity"), "32768");
    EXPECT_EQ(stringAttr(read, "LW.AAFilter"), "Lanczos (Soft)");
    EXPECT_EQ(stringAttr(read, "LW.AA"), "Enhanced Medium");
    EXPECT_EQ(stringAttr(read, "LW.FrameNumber"), "7");
    EXPECT_EQ(stringAttr(read, "Software"), "LightWave 3D\xC2\xAE");
    EXPECT_EQ(stringAttr(read, "Model"), "1 V9.6 B:2345");
    EXPECT_FLOAT_EQ(floatAttr(read, "expTime"), float(1.0 / 29.97));
    EXPECT_FLOAT_EQ(floatAttr(read, "aperture"), 1.4f);
    EXPECT_FLOAT_EQ(floatAttr(read, "focus"), 3.25f);

    // The loader's conversion of the file read back.
    const auto items = ravelcast::hostMetadataItems(read);
    EXPECT_NE(std::find(items.begin(), items.end(), HostMetadataItem{16, "2010:02:03 14:05:09"}),
              items.end());
    EXPECT_NE(std::find(items.begin(), items.end(), HostMetadataItem{24, "49159 Enhanced Medium"}),
              items.end());
    EXPECT_NE(std::find(items.begin(), items.end(), HostMetadataItem{3, "72"}), items.end());
    EXPECT_EQ(std::find(items.begin(), items.end(), HostMetadataItem{50, "artist"}), items.end())
        << "the owner is not sent as the maker";

    // The pixels are intact too.
    std::vector<float> back(width * height, -1.f);
    Imf::FrameBuffer fb;
    fb.insert("Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(back.data()), sizeof(float),
                              sizeof(float) * width));
    in.setFrameBuffer(fb);
    in.readPixels(0, height - 1);
    EXPECT_EQ(back, pixels);
}
