#include "exrio/UserMetadata.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <set>

#include <ImfFloatAttribute.h>
#include <ImfIntAttribute.h>
#include <ImfName.h>
#include <ImfStringAttribute.h>

#include "exrio/RenderMetadata.h"
#include "hostkit/Services.h"
#include "hostkit/utility/Text.h"

namespace ravelcast {

namespace {

bool sameWord(const std::string &a, const char *b) { return hostkit::sameIgnoringCase(a, b); }

// The whole text as a number of that kind, whatever the user's locale.
template <class T> bool readWhole(const std::string &text, T &value)
{
    std::string t = hostkit::trimmed(text);
    if (!t.empty() && t[0] == '+')
        t.erase(0, 1);
    if (t.empty())
        return false;
    const char *end = t.data() + t.size();
    const std::from_chars_result r = std::from_chars(t.data(), end, value);
    return r.ec == std::errc() && r.ptr == end;
}

bool readInteger(const std::string &text, std::int32_t &value) { return readWhole(text, value); }

bool readFloat(const std::string &text, float &value)
{
    double d = 0.0;
    if (!readWhole(text, d) || !std::isfinite(d) || std::fabs(d) > FLT_MAX)
        return false;
    value = static_cast<float>(d);
    return true;
}

// What the filter, the saver and the library write in every file, and the
// prefix other writers of ours use.
const std::set<std::string> &reservedNames()
{
    static const std::set<std::string> names = [] {
        std::set<std::string> n = {
            "channels", "compression", "dataWindow", "displayWindow", "lineOrder",
            "pixelAspectRatio", "screenWindowCenter", "screenWindowWidth", "name", "type",
            "version", "chunkCount", "tiles", "view", "multiView", "preview",
            "dwaCompressionLevel", "chromaticities", "worldToCamera", "worldToNDC", "owner",
            "comments", "capDate", "utcOffset", "framesPerSecond", "focus", "expTime",
            "aperture", "isoSpeed", "xDensity", "whiteLuminance", "computerName",
            "LightWaveScene", "LightWaveBuild", "FocalLength", "FilmApertureHorizontal",
            "FilmApertureVertical", "Make", "Model", "Software", "Maker", "author"};
        for (const auto &[id, name] : renderFactNames())
            n.insert(name);
        return n;
    }();
    return names;
}

struct Published {
    std::mutex lock;
    const void *owner = nullptr;
    std::vector<UserMetadataRow> rows;
};

Published &published()
{
    static Published p;
    return p;
}

} // namespace

const char *userMetadataTypeName(int type)
{
    static const char *const kNames[kUserMetadataTypeCount] = {"Text", "Integer", "Float"};
    return type >= 0 && type < kUserMetadataTypeCount ? kNames[type] : "unknown";
}

MetadataTokens metadataTokens(const std::string &sceneName, const std::string &camera, bool stereo,
                              bool rightEye, int frame, const RenderFacts &facts)
{
    MetadataTokens t;
    const std::size_t dot = sceneName.rfind('.');
    t.scene = dot == std::string::npos ? sceneName : sceneName.substr(0, dot);
    t.camera = camera;
    if (stereo)
        t.eye = rightEye ? "R" : "L";
    t.frame = std::to_string(frame);
    t.layer = "Base";
    t.user = facts.owner.value_or(std::string());
    t.machine = facts.computerName.value_or(std::string());
    return t;
}

MetadataTokens hostMetadataTokens(const RenderFacts &facts)
{
    const hostkit::TimeInfo time;
    const hostkit::RenderCamera camera = hostkit::renderCamera(time.time());
    const std::string scene = facts.scene ? facts.scene->name.value_or(std::string()) : std::string();
    return metadataTokens(scene, camera.name, camera.stereo, camera.rightEye,
                          static_cast<int>(time.frame()), facts);
}

MetadataTokens exampleMetadataTokens()
{
    MetadataTokens t;
    t.scene = "scene";
    t.camera = "Camera";
    t.eye = "L";
    t.frame = "1";
    t.layer = "Base";
    t.user = "user";
    t.machine = "machine";
    return t;
}

std::string expandMetadataTokens(const std::string &text, const MetadataTokens &tokens)
{
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('%', at);
        const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(at);
            break;
        }
        out += text.substr(at, open - at);
        const std::string word = text.substr(open + 1, close - open - 1);
        const std::string *value = nullptr;
        static const std::string dot = ".";
        if (sameWord(word, "scene"))
            value = &tokens.scene;
        else if (sameWord(word, "camera"))
            value = &tokens.camera;
        else if (sameWord(word, "eye"))
            value = &tokens.eye;
        else if (sameWord(word, "frame"))
            value = &tokens.frame;
        else if (sameWord(word, "layer") || sameWord(word, "buffer"))
            value = &tokens.layer;
        else if (sameWord(word, "user"))
            value = &tokens.user;
        else if (sameWord(word, "machine"))
            value = &tokens.machine;
        else if (sameWord(word, "dot"))
            value = &dot;
        if (value) {
            out += *value;
            at = close + 1;
        } else {
            // Not a token: the first % stays, the second may open one.
            out += '%';
            at = open + 1;
        }
    }
    return out;
}

bool reservedAttributeName(const std::string &name)
{
    if (reservedNames().count(name))
        return true;
    static const std::string kCryptomatte = "cryptomatte/";
    return hostkit::sameIgnoringCase(name.substr(0, kCryptomatte.size()), kCryptomatte);
}

std::string metadataRowName(const std::vector<UserMetadataRow> &rows, std::size_t index)
{
    std::string s = "Metadata row " + std::to_string(index + 1);
    if (!rows[index].key.empty())
        s += " (" + rows[index].key + ")";
    return s;
}

std::string userMetadataProblem(const std::vector<UserMetadataRow> &rows, std::size_t index,
                                const MetadataTokens &tokens, bool againstAll)
{
    const UserMetadataRow &row = rows[index];
    if (row.key.empty())
        return "the key is empty: every attribute needs a name.";
    for (const char c : row.key)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "the key holds a control character, which a header name cannot hold.";
    if (row.key.size() > static_cast<std::size_t>(Imf::Name::MAX_LENGTH))
        return "the key is longer than " + std::to_string(Imf::Name::MAX_LENGTH) +
               " bytes, the most a header name can hold.";
    if (reservedAttributeName(row.key))
        return "Ravelcast writes the attribute \"" + row.key +
               "\" itself; choose another key.";
    for (std::size_t i = 0; i < (againstAll ? rows.size() : index); ++i)
        if (i != index && rows[i].key == row.key)
            return "metadata row " + std::to_string(i + 1) + " already has the key \"" +
                   row.key + "\".";
    if (row.type < 0 || row.type >= kUserMetadataTypeCount)
        return "the type " + std::to_string(row.type) + " is not Text, Integer or Float.";
    const std::string value = expandMetadataTokens(row.value, tokens);
    std::int32_t i = 0;
    float f = 0.0f;
    if (row.type == kUserInteger && !readInteger(value, i))
        return "\"" + value + "\" does not read as an integer (-2147483648 to 2147483647).";
    if (row.type == kUserFloat && !readFloat(value, f))
        return "\"" + value + "\" does not read as a float (such as 24 or 0.5).";
    return {};
}

std::string userMetadataRefusal(const std::vector<UserMetadataRow> &rows, std::size_t index,
                                const MetadataTokens &tokens)
{
    const std::string why = userMetadataProblem(rows, index, tokens);
    return why.empty() ? why : metadataRowName(rows, index) + ": " + why;
}

std::vector<std::string> applyUserMetadata(Imf::Header &header,
                                           const std::vector<UserMetadataRow> &rows,
                                           const MetadataTokens &tokens)
{
    std::vector<std::string> refused;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string why = userMetadataRefusal(rows, i, tokens);
        if (why.empty() && header.find(rows[i].key) != header.end())
            why = metadataRowName(rows, i) + ": the file already holds an attribute \"" + rows[i].key +
                  "\".";
        if (!why.empty()) {
            refused.push_back(std::move(why));
            continue;
        }
        const UserMetadataRow &row = rows[i];
        const std::string value = expandMetadataTokens(row.value, tokens);
        if (row.type == kUserInteger) {
            std::int32_t v = 0;
            readInteger(value, v);
            header.insert(row.key, Imf::IntAttribute(v));
        } else if (row.type == kUserFloat) {
            float v = 0.0f;
            readFloat(value, v);
            header.insert(row.key, Imf::FloatAttribute(v));
        } else {
            header.insert(row.key, Imf::StringAttribute(value));
        }
    }
    return refused;
}

void publishUserMetadata(const void *owner, const std::vector<UserMetadataRow> &rows)
{
    Published &p = published();
    const std::lock_guard<std::mutex> hold(p.lock);
    p.owner = owner;
    p.rows = rows;
}

void withdrawUserMetadata(const void *owner)
{
    Published &p = published();
    const std::lock_guard<std::mutex> hold(p.lock);
    if (p.owner != owner)
        return;
    p.owner = nullptr;
    p.rows.clear();
}

std::vector<UserMetadataRow> publishedUserMetadata()
{
    Published &p = published();
    const std::lock_guard<std::mutex> hold(p.lock);
    return p.rows;
}

} // namespace ravelcast
