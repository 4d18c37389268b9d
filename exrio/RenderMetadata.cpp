#include "exrio/RenderMetadata.h"

#include <charconv>
#include <cmath>

#include <ImfChromaticitiesAttribute.h>
#include <ImfDoubleAttribute.h>
#include <ImfFloatAttribute.h>
#include <ImfIntAttribute.h>
#include <ImfMatrixAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfStringAttribute.h>

#include "hostkit/HostInfo.h"

namespace ravelcast {

// ---- tables
namespace {

// The registered sign in UTF-8, as header texts are; the host's own texts
// carry it as the Windows-1252 byte 0xAE.
constexpr const char *kSoftware = "LightWave 3D\xC2\xAE";

// The product name between the host (Windows-1252 registered sign) and the
// header (UTF-8); a text already in the other spelling passes unchanged.
std::string registeredToUtf8(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\xAE' && (i == 0 || text[i - 1] != '\xC2'))
            out += "\xC2\xAE";
        else
            out += text[i];
    }
    return out;
}

std::string registeredToHost(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xAE')
            continue;
        out += text[i];
    }
    return out;
}
constexpr const char *kMaker = "NewTek";

enum RenderFactId : int {
    kFactTotalPoints = 0xC00D,
    kFactTotalPolygons = 0xC00E,
    kFactFirstFrame = 0xC002,
    kFactLastFrame = 0xC003,
    kFactFramestep = 0xC010,
    kFactRenderThreads = 0xC01A,
    kFactRTRefractions = 0xC016,
    kFactRTReflections = 0xC013,
    kFactRTTransparency = 0xC018,
    kFactCaustics = 0xC019,
    kFactRadiosity = 0xC017,
    kFactParticleBlur = 0xC009,
    kFactFieldRendering = 0xC012,
    kFactAAFilter = 0xC011,
    kFactAA = 0xC007,
};

const char *const kRenderFactNames[] = {
    "LW.Company",        "LW.FrameNumber",   "LW.FirstFrame",      "LW.LastFrame",
    "LW.Rendertime",     "LW.CameraName",    "LW.CameraType",      "LW.AA",
    "LW.Lens",           "LW.ParticleBlur",  "LW.MBType",          "LW.MBAmount",
    "LW.MBPasses",       "LW.TotalPoints",   "LW.TotalPolygons",   "LW.TotalMemory",
    "LW.Framestep",      "LW.AAFilter",      "LW.FieldRendering",  "LW.RTReflections",
    "LW.AdaptiveSampling", "LW.Stereo",      "LW.RTRefractions",   "LW.Radiosity",
    "LW.RTTransparency", "LW.Caustics",      "LW.RenderThreads",   "LW.DepthOfField",
    "LW.OutputFiles",
};
constexpr int kFirstRenderFact = 0xC000;

const char *const kFilterNames[] = {
    "Classic",  "Box",              "Box (Sharp)",     "Box (Soft)",     "Gaussian",
    "Gaussian (Sharp)", "Gaussian (Soft)", "Mitchell", "Mitchell (Sharp)", "Mitchell (Soft)",
    "Lanczos",  "Lanczos (Sharp)",  "Lanczos (Soft)",
};

const char *const kEnhancedLevels[] = {"Low", "Medium", "High", "Extreme"};

// How a host item's text becomes an attribute.
enum class ItemKind { Number, Rational, Text, RenderFact };

struct ItemRule {
    int tag;
    const char *attribute;
    ItemKind kind;
    // An attribute other writers use for the same fact; sent only when the
    // file lacks this one's own name, so the host gets the fact once.
    const char *onlyWithout = nullptr;
};

const ItemRule kItemRules[] = {
    {kTagXDensity, "xDensity", ItemKind::Number},
    {kTagFramesPerSecond, "framesPerSecond", ItemKind::Rational},
    {kTagWhiteLuminance, "whiteLuminance", ItemKind::Number},
    {kTagExposureTime, "expTime", ItemKind::Number},
    {kTagAperture, "aperture", ItemKind::Number},
    {kTagIsoSpeed, "isoSpeed", ItemKind::Number},
    {kTagCaptureDate, "capDate", ItemKind::Text},
    {kTagFocalLength, "FocalLength", ItemKind::Number},
    {kTagRenderFact, nullptr, ItemKind::RenderFact},
    {kTagComments, "comments", ItemKind::Text},
    {kTagFocus, "focus", ItemKind::Number},
    {kTagMake, "Make", ItemKind::Text},
    {kTagModel, "Model", ItemKind::Text},
    {kTagSoftware, "Software", ItemKind::Text},
};

// The loader's direction: header attribute to host item, in sending order.
// Each attribute goes back under the tag that sets it, so a loaded image
// saved again keeps its facts. "owner" has no item of its own (it is
// written from the environment) and is not passed on.
const ItemRule kReverseRules[] = {
    {kTagComments, "comments", ItemKind::Text},
    {kTagFramesPerSecond, "framesPerSecond", ItemKind::Rational},
    {kTagXDensity, "xDensity", ItemKind::Number},
    {kTagFocus, "focus", ItemKind::Number},
    {kTagWhiteLuminance, "whiteLuminance", ItemKind::Number},
    {kTagExposureTime, "expTime", ItemKind::Number},
    {kTagAperture, "aperture", ItemKind::Number},
    {kTagIsoSpeed, "isoSpeed", ItemKind::Number},
    {kTagCaptureDate, "capDate", ItemKind::Text},
    {kTagRenderFact, "Maker", ItemKind::Text},
    {kTagMake, "Make", ItemKind::Text},
    {kTagModel, "Model", ItemKind::Text},
    {kTagSoftware, "Software", ItemKind::Text},
    {kTagExposureTime, "Exposure", ItemKind::Number, "expTime"},
    {kTagAperture, "F-Stop", ItemKind::Number, "aperture"},
    {kTagFocalLength, "FocalLength", ItemKind::Number},
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A header's number attribute of any numeric type the library offers, as
// the shortest text that reads back as the attribute's value (times scale).
bool attributeNumberText(const Imf::Header &header, const char *name, double scale,
                         std::string *text)
{
    if (const auto *f = header.findTypedAttribute<Imf::FloatAttribute>(name)) {
        *text = shortestText(static_cast<float>(f->value() * scale));
        return true;
    }
    if (const auto *d = header.findTypedAttribute<Imf::DoubleAttribute>(name)) {
        *text = shortestText(d->value() * scale);
        return true;
    }
    if (const auto *i = header.findTypedAttribute<Imf::IntAttribute>(name)) {
        *text = shortestText(i->value() * scale);
        return true;
    }
    return false;
}

void setString(Imf::Header &header, const char *name, const std::string &value)
{
    header.insert(name, Imf::StringAttribute(value));
}

} // namespace

// ---- free helpers

const std::map<int, std::string> &renderFactNames()
{
    static const std::map<int, std::string> names = [] {
        std::map<int, std::string> m;
        int id = kFirstRenderFact;
        for (const char *name : kRenderFactNames)
            m.emplace(id++, name);
        return m;
    }();
    return names;
}

std::string antialiasingText(int level)
{
    if (level == 0)
        return "none";
    if (level >= 1 && level <= 4)
        return std::string("Enhanced ") + kEnhancedLevels[level - 1];
    if (level >= 100)
        return "PLD " + std::to_string(level - 99);
    return "unknown";
}

std::string filterName(int filterField)
{
    const int index = (filterField >> 1) & 0x1F;
    constexpr int count = static_cast<int>(sizeof kFilterNames / sizeof kFilterNames[0]);
    return index < count ? kFilterNames[index] : "unknown";
}

std::string modelText(unsigned int systemId, unsigned int productInfo)
{
    return std::string(hostkit::layoutSystem(systemId) ? "1" : "0") + " V" +
           std::to_string(hostkit::productMajor(productInfo)) + "." +
           std::to_string(hostkit::productMinor(productInfo)) +
           " B:" + std::to_string(hostkit::productBuild(productInfo));
}

namespace {

template <class T> std::string shortest(T value)
{
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

} // namespace

std::string shortestText(float value) { return shortest(value); }
std::string shortestText(double value) { return shortest(value); }

double leadingNumber(const std::string &text)
{
    const char *p = text.data();
    const char *end = p + text.size();
    while (p != end && isBlank(*p))
        ++p;
    if (p != end && *p == '+' && p + 1 != end && *(p + 1) != '-' && *(p + 1) != '+')
        ++p;
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(p, end, value, std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(value))
        return 0.0;
    return value;
}

std::vector<HostMetadataItem> hostMetadataItems(const Imf::Header &header)
{
    std::vector<HostMetadataItem> items;
    for (const ItemRule &rule : kReverseRules) {
        if (rule.onlyWithout && header.find(rule.onlyWithout) != header.end())
            continue;
        switch (rule.kind) {
        case ItemKind::Text:
        case ItemKind::RenderFact:
            if (const auto *s = header.findTypedAttribute<Imf::StringAttribute>(rule.attribute))
                items.push_back({rule.tag, rule.tag == kTagSoftware
                                               ? registeredToHost(s->value())
                                               : s->value()});
            break;
        case ItemKind::Rational:
            if (const auto *r =
                    header.findTypedAttribute<Imf::RationalAttribute>(rule.attribute)) {
                // A zero denominator has no rate to tell the host.
                if (r->value().d != 0)
                    items.push_back({rule.tag, shortestText(static_cast<double>(r->value().n) /
                                                            r->value().d)});
            }
            break;
        case ItemKind::Number: {
            std::string text;
            if (attributeNumberText(header, rule.attribute, 1.0, &text))
                items.push_back({rule.tag, text});
            break;
        }
        }
    }
    for (const auto &[id, name] : renderFactNames())
        if (const auto *s = header.findTypedAttribute<Imf::StringAttribute>(name))
            items.push_back({kTagRenderFact, std::to_string(id) + " " + s->value()});
    return items;
}

void stampFileMetadata(Imf::Header &header, const RenderFacts &facts, const std::string &comment,
                       const HeaderChoices &choices)
{
    RenderMetadata record(header);
    record.stamp(facts, choices);
    for (auto it = record.header().begin(); it != record.header().end(); ++it)
        header.insert(it.name(), it.attribute());
    if (!comment.empty())
        setString(header, "comments", comment);
}

// ---- the record

RenderMetadata::RenderMetadata() : namesById_(renderFactNames()) {}

RenderMetadata::RenderMetadata(const Imf::Header &header)
    : header_(header), namesById_(renderFactNames())
{
}

int RenderMetadata::setItem(const std::string &text, int tag)
{
    for (const ItemRule &rule : kItemRules) {
        if (rule.tag != tag)
            continue;
        switch (rule.kind) {
        case ItemKind::Number:
            header_.insert(rule.attribute,
                           Imf::FloatAttribute(static_cast<float>(leadingNumber(text))));
            break;
        case ItemKind::Rational:
            header_.insert(rule.attribute,
                           Imf::RationalAttribute(Imf::Rational(leadingNumber(text))));
            break;
        case ItemKind::Text:
            // Only the host's own product name is known to be Windows-1252;
            // other texts are passed as they come.
            setString(header_, rule.attribute,
                      tag == kTagSoftware ? registeredToUtf8(text) : text);
            break;
        case ItemKind::RenderFact:
            setIdValue(text);
            break;
        }
        return 1;
    }
    return 0;
}

void RenderMetadata::setIdValue(const std::string &text)
{
    if (text == kMaker) {
        setString(header_, "Maker", text);
        return;
    }
    const char *begin = text.data();
    const char *end = begin + text.size();
    int id = 0;
    const std::from_chars_result r = std::from_chars(begin, end, id);
    if (r.ec != std::errc())
        return;
    const char *value = r.ptr;
    if (value != end && *value == ' ')
        ++value;
    const std::string stored(value, end);
    valuesById_[id] = stored;
    const auto name = namesById_.find(id);
    if (name != namesById_.end())
        setString(header_, name->second.c_str(), stored);
}

void RenderMetadata::addRenderInfo() { stamp(gatherRenderFacts()); }

void RenderMetadata::addRenderInfo(std::time_t now) { stamp(gatherRenderFacts(now)); }

void RenderMetadata::stamp(const RenderFacts &facts, const HeaderChoices &choices)
{
    if (facts.owner)
        setString(header_, "owner", *facts.owner);
    if (facts.computerName)
        setString(header_, "computerName", *facts.computerName);
    if (facts.scene && facts.scene->name)
        setString(header_, "LightWaveScene", *facts.scene->name);
    header_.insert("LightWaveBuild", Imf::IntAttribute(hostkit::productBuild(facts.productInfo)));
    if (facts.captureDate)
        setString(header_, "capDate", *facts.captureDate);
    header_.insert("utcOffset", Imf::FloatAttribute(facts.utcOffset));
    if (facts.scene)
        stampScene(*facts.scene);
    setItem(kSoftware, kTagSoftware);
    setItem(kMaker, kTagMake);
    setItem(modelText(facts.systemId, facts.productInfo), kTagModel);
    if (facts.scene && facts.camera)
        stampCamera(*facts.camera, facts.scene->framesPerSecond);
    if (facts.scene && facts.cameraPlacement)
        stampPlacement(*facts.cameraPlacement, *facts.scene, choices.cameraMatrices);
    if (const auto c = colourSpaceChromaticities(choices.colourSpace))
        header_.insert("chromaticities", Imf::ChromaticitiesAttribute(*c));
}

void RenderMetadata::stampPlacement(const hostkit::CameraPlacement &camera,
                                    const hostkit::SceneFacts &scene,
                                    CameraMatrixConvention convention)
{
    if (const auto m = cameraMatrices(camera, scene.frameWidth, scene.frameHeight,
                                      scene.pixelAspect, convention)) {
        header_.insert("worldToCamera", Imf::M44fAttribute(Imath::M44f(m->worldToCamera)));
        header_.insert("worldToNDC", Imf::M44fAttribute(Imath::M44f(m->worldToNDC)));
    }
    if (camera.filmWidth && camera.filmHeight) {
        header_.insert("FilmApertureHorizontal",
                       Imf::FloatAttribute(static_cast<float>(*camera.filmWidth)));
        header_.insert("FilmApertureVertical",
                       Imf::FloatAttribute(static_cast<float>(*camera.filmHeight)));
    }
    if (camera.stereo)
        setString(header_, "view", camera.rightEye ? "right" : "left");
}

void RenderMetadata::stampScene(const hostkit::SceneFacts &scene)
{
    namespace option = hostkit::renderOption;
    header_.insert("framesPerSecond", Imf::RationalAttribute(Imf::Rational(scene.framesPerSecond)));
    const int options = scene.renderOptions;
    // The option facts carry the masked bit itself, not a yes/no.
    const std::pair<int, std::string> facts[] = {
        {kFactTotalPoints, std::to_string(scene.points)},
        {kFactTotalPolygons, std::to_string(scene.polygons)},
        {kFactFirstFrame, std::to_string(scene.frameStart)},
        {kFactLastFrame, std::to_string(scene.frameEnd)},
        {kFactFramestep, std::to_string(scene.frameStep)},
        {kFactRenderThreads, std::to_string(scene.threads)},
        {kFactRTRefractions, std::to_string(options & option::RefractTrace)},
        {kFactRTReflections, std::to_string(options & option::ReflectTrace)},
        {kFactRTTransparency, std::to_string(options & option::RayTracedTransparency)},
        {kFactCaustics, std::to_string(options & option::Caustics)},
        {kFactRadiosity, std::to_string(options & option::Radiosity)},
        {kFactParticleBlur, std::to_string(options & option::ParticleBlur)},
        {kFactFieldRendering, std::to_string(options & option::Fields)},
        {kFactAAFilter, filterName(scene.filter)},
        {kFactAA, antialiasingText(scene.antialiasing)},
    };
    for (const auto &[id, value] : facts)
        setIdValue(std::to_string(id) + " " + value);
}

void RenderMetadata::stampCamera(const hostkit::CameraOptics &camera, double framesPerSecond)
{
    if (camera.focalDistance)
        header_.insert("focus", Imf::FloatAttribute(static_cast<float>(*camera.focalDistance)));
    // These go through the item path as text, which keeps them exactly.
    if (camera.blurLength && framesPerSecond > 0.0)
        setItem(shortestText(*camera.blurLength / framesPerSecond), kTagExposureTime);
    if (camera.fStop)
        setItem(shortestText(*camera.fStop), kTagAperture);
    if (camera.focalLength)
        setItem(shortestText(*camera.focalLength), kTagFocalLength);
}

std::vector<HostMetadataItem> RenderMetadata::hostItems() const
{
    return hostMetadataItems(header_);
}

} // namespace ravelcast
