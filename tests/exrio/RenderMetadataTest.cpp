// The header facts of written files, without a host: host items and
// render facts into the record, plain gathered facts stamped on a header,
// and the loader's reverse conversion.
#include <algorithm>
#include <locale>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ImfChannelList.h>

#include <lwsdk/scene.h>
#include <lwsdk/system.h>

#include "MetadataTestSupport.h"
#include "exrio/RenderMetadata.h"

using metadatatest::floatAttr;
using metadatatest::names;
using metadatatest::productWord;
using metadatatest::stringAttr;
using ravelcast::HostMetadataItem;
using ravelcast::RenderFacts;
using ravelcast::RenderMetadata;

namespace {

// Facts as a Layout render of "shot.lws" gathers them.
RenderFacts shotFacts()
{
    RenderFacts f;
    f.owner = "artist";
    f.computerName = "node-7";
    f.captureDate = "2010:02:03 14:05:09";
    f.utcOffset = -3600.f;
    f.systemId = LWSYS_LAYOUT;
    f.productInfo = productWord(9, 6, 2345);
    hostkit::SceneFacts s;
    s.name = "shot.lws";
    s.frameStart = 5;
    s.frameEnd = 80;
    s.frameStep = 3;
    s.framesPerSecond = 25.0;
    s.points = 48210;
    s.polygons = 47992;
    s.threads = 4;
    s.renderOptions = LWROPT_REFLECTTRACE | LWROPT_CAUSTICS | LWROPT_FIELDS;
    s.antialiasing = 102;
    s.filter = 8 << 1;
    f.scene = s;
    hostkit::CameraOptics c;
    c.focalLength = 35.123456789;
    c.focalDistance = 6.5;
    c.fStop = 2.8;
    c.blurLength = 0.5;
    f.camera = c;
    return f;
}

} // namespace

// ---- tables and texts

// The render-fact table: 29 ids from 0xC000 without a gap, each name set
// by its id's text and sent back to the host under it.
TEST(RenderMetadataTables, EveryRenderFactIdSetsAndSendsItsAttribute)
{
    const RenderMetadata empty;
    const auto &table = empty.namesById();
    ASSERT_EQ(table.size(), 29u);
    EXPECT_EQ(table.begin()->first, 0xC000);
    EXPECT_EQ(table.rbegin()->first, 0xC01C);
    EXPECT_TRUE(empty.valuesById().empty());
    // The default header: 64 x 64, ZIP, no channels.
    EXPECT_EQ(empty.header().dataWindow().max.x, 63);
    EXPECT_EQ(empty.header().compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(empty.header().channels().begin(), empty.header().channels().end());

    RenderMetadata record;
    std::set<std::string> seen;
    for (const auto &[id, name] : table) {
        EXPECT_EQ(name.rfind("LW.", 0), 0u) << name;
        EXPECT_TRUE(seen.insert(name).second) << name << " twice";
        const std::string value = "v" + std::to_string(id);
        EXPECT_EQ(record.setItem(std::to_string(id) + " " + value, ravelcast::kTagRenderFact), 1);
        EXPECT_EQ(stringAttr(record.header(), name.c_str()), value) << name;
    }
    std::vector<HostMetadataItem> sent;
    for (const HostMetadataItem &item : record.hostItems())
        if (item.tag == ravelcast::kTagRenderFact)
            sent.push_back(item);
    ASSERT_EQ(sent.size(), table.size());
    int id = 0xC000;
    for (const HostMetadataItem &item : sent) {
        EXPECT_EQ(item.text, std::to_string(id) + " v" + std::to_string(id));
        ++id;
    }
}

TEST(RenderMetadataTables, AntialiasingTexts)
{
    const struct {
        int level;
        const char *text;
    } cases[] = {{0, "none"},           {1, "Enhanced Low"},      {2, "Enhanced Medium"},
                 {3, "Enhanced High"},  {4, "Enhanced Extreme"},  {100, "PLD 1"},
                 {103, "PLD 4"},        {5, "unknown"},           {7, "unknown"},
                 {99, "unknown"},       {-1, "unknown"},          {-100, "unknown"}};
    for (const auto &c : cases)
        EXPECT_EQ(ravelcast::antialiasingText(c.level), c.text) << c.level;
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


// ---- gathered facts stamped on a header

TEST(RenderMetadataStamp, EveryFactFromPlainValues)
{
    RenderMetadata record;
    record.setItem("72", ravelcast::kTagXDensity);
    record.setItem("old", ravelcast::kTagCaptureDate);
    record.stamp(shotFacts());
    const Imf::Header &h = record.header();

    EXPECT_EQ(stringAttr(h, "owner"), "artist");
    EXPECT_EQ(stringAttr(h, "computerName"), "node-7");
    EXPECT_EQ(stringAttr(h, "LightWaveScene"), "shot.lws");
    EXPECT_EQ(h.typedAttribute<Imf::IntAttribute>("LightWaveBuild").value(), 2345);
    EXPECT_EQ(stringAttr(h, "capDate"), "2010:02:03 14:05:09");
    EXPECT_FLOAT_EQ(floatAttr(h, "utcOffset"), -3600.f);
    const Imf::Rational fps = h.typedAttribute<Imf::RationalAttribute>("framesPerSecond").value();
    EXPECT_EQ(fps.n, 25);
    EXPECT_EQ(fps.d, 1u);
    // What the host's items set before stays unless a fact replaces it.
    EXPECT_FLOAT_EQ(floatAttr(h, "xDensity"), 72.f);

    const struct {
        const char *name;
        const char *text;
    } facts[] = {{"LW.TotalPoints", "48210"},  {"LW.TotalPolygons", "47992"},
                 {"LW.FirstFrame", "5"},       {"LW.LastFrame", "80"},
                 {"LW.Framestep", "3"},        {"LW.RenderThreads", "4"},
                 {"LW.RTReflections", "2"},    {"LW.Caustics", "65536"},
                 {"LW.FieldRendering", "8"},   {"LW.RTRefractions", "0"},
                 {"LW.AAFilter", "Mitchell (Sharp)"}, {"LW.AA", "PLD 3"},
                 {"Software", "LightWave 3D\xC2\xAE"}, {"Make", "NewTek"},
                 {"Model", "1 V9.6 B:2345"}};
    for (const auto &f : facts)
        EXPECT_EQ(stringAttr(h, f.name), f.text) << f.name;
    EXPECT_EQ(record.valuesById().at(0xC007), "PLD 3");
    EXPECT_EQ(h.findTypedAttribute<Imf::StringAttribute>("LW.FrameNumber"), nullptr);

    EXPECT_FLOAT_EQ(floatAttr(h, "focus"), 6.5f);
    EXPECT_FLOAT_EQ(floatAttr(h, "expTime"), 0.02f);
    EXPECT_FLOAT_EQ(floatAttr(h, "aperture"), 2.8f);
    // Through text that keeps every digit the value has.
    EXPECT_EQ(floatAttr(h, "FocalLength"), static_cast<float>(35.123456789));
}

TEST(RenderMetadataStamp, RenderOptionFactsCarryTheMaskedBit)
{
    RenderFacts facts = shotFacts();
    facts.scene->renderOptions = LWROPT_RTTRANSPARENCY;
    RenderMetadata record;
    record.stamp(facts);
    const Imf::Header &h = record.header();
    EXPECT_EQ(stringAttr(h, "LW.RTTransparency"), "16384");
    for (const char *off : {"LW.RTRefractions", "LW.RTReflections", "LW.Caustics", "LW.Radiosity",
                            "LW.ParticleBlur", "LW.FieldRendering"})
        EXPECT_EQ(stringAttr(h, off), "0") << off;

    facts.scene->renderOptions = 0x1FFFF;
    record.stamp(facts);
    EXPECT_EQ(stringAttr(h, "LW.RTRefractions"), "4");
    EXPECT_EQ(stringAttr(h, "LW.Radiosity"), "32768");
    EXPECT_EQ(stringAttr(h, "LW.ParticleBlur"), "256");
}

// A fact the gathering did not find leaves out only the attributes made
// from it; a changed fact changes only its own.
TEST(RenderMetadataStamp, MissingFactsLeaveOnlyTheirAttributesOut)
{
    const std::set<std::string> camera = {"focus", "expTime", "aperture", "FocalLength"};
    std::set<std::string> scene = {"LightWaveScene", "framesPerSecond"};
    for (const char *fact : {"LW.TotalPoints", "LW.TotalPolygons", "LW.FirstFrame",
                             "LW.LastFrame", "LW.Framestep", "LW.RenderThreads",
                             "LW.RTRefractions", "LW.RTReflections", "LW.RTTransparency",
                             "LW.Caustics", "LW.Radiosity", "LW.ParticleBlur",
                             "LW.FieldRendering", "LW.AAFilter", "LW.AA"})
        scene.insert(fact);
    scene.insert(camera.begin(), camera.end());

    RenderMetadata full;
    full.stamp(shotFacts());
    const struct {
        const char *what;
        void (*change)(RenderFacts &);
        std::set<std::string> gone, changed;
    } cases[] = {
        {"no user", [](RenderFacts &f) { f.owner.reset(); }, {"owner"}, {}},
        {"no machine", [](RenderFacts &f) { f.computerName.reset(); }, {"computerName"}, {}},
        {"no clock", [](RenderFacts &f) { f.captureDate.reset(); }, {"capDate"}, {}},
        {"no scene name", [](RenderFacts &f) { f.scene->name.reset(); }, {"LightWaveScene"}, {}},
        {"no camera", [](RenderFacts &f) { f.camera.reset(); }, camera, {}},
        {"no f-stop", [](RenderFacts &f) { f.camera->fStop.reset(); }, {"aperture"}, {}},
        {"no focus", [](RenderFacts &f) { f.camera->focalDistance.reset(); }, {"focus"}, {}},
        {"still frame", [](RenderFacts &f) { f.scene->framesPerSecond = 0.0; }, {"expTime"},
         {"framesPerSecond"}},
        {"no scene", [](RenderFacts &f) { f.scene.reset(); }, scene, {}},
        {"render node", [](RenderFacts &f) { f.systemId = LWSYS_SCREAMERNET | 7; }, {},
         {"Model"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        RenderFacts facts = shotFacts();
        c.change(facts);
        RenderMetadata record;
        record.stamp(facts);
        for (const std::string &name : c.gone)
            EXPECT_EQ(record.header().findTypedAttribute<Imf::Attribute>(name), nullptr) << name;
        std::set<std::string> skip = c.gone;
        skip.insert(c.changed.begin(), c.changed.end());
        metadatatest::expectSameExcept(full.header(), record.header(), skip);
        for (const std::string &name : c.changed)
            EXPECT_FALSE(metadatatest::sameAttribute(full.header()[name], record.header()[name]))
                << name;
    }
}

TEST(RenderMetadataStamp, FileStepKeepsTheHeaderAndAddsComment)
{
    Imf::Header file(320, 200, 1.5f, Imath::V2f(0, 0), 1.f, Imf::INCREASING_Y,
                     Imf::PIZ_COMPRESSION);
    file.channels().insert("diffuse.R", Imf::Channel(Imf::HALF));
    file.insert("capDate", Imf::StringAttribute("old"));
    file.insert("xDensity", Imf::FloatAttribute(300.f));
    ravelcast::stampFileMetadata(file, shotFacts(), "first take");
    EXPECT_EQ(file.displayWindow().max.x, 319);
    EXPECT_FLOAT_EQ(file.pixelAspectRatio(), 1.5f);
    EXPECT_EQ(file.compression(), Imf::PIZ_COMPRESSION);
    EXPECT_NE(file.channels().findChannel("diffuse.R"), nullptr);
    EXPECT_FLOAT_EQ(floatAttr(file, "xDensity"), 300.f);
    EXPECT_EQ(stringAttr(file, "comments"), "first take");
    EXPECT_EQ(stringAttr(file, "owner"), "artist");
    EXPECT_EQ(stringAttr(file, "LightWaveScene"), "shot.lws");
    EXPECT_EQ(stringAttr(file, "capDate"), "2010:02:03 14:05:09");
    EXPECT_EQ(stringAttr(file, "Make"), "NewTek");

    // The same attributes as the record's stamp, besides the comment.
    RenderMetadata record(file);
    record.stamp(shotFacts());
    metadatatest::expectSameExcept(record.header(), file, {});

    Imf::Header image;
    ravelcast::stampFileMetadata(image, shotFacts(), "");
    EXPECT_EQ(image.findTypedAttribute<Imf::Attribute>("comments"), nullptr);
}
