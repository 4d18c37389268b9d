#include "export/Cryptomatte.h"

#include <cmath>
#include <cstring>
#include <unordered_set>

#include "hostkit/FrameAccess.h"
#include "hostkit/SceneFacts.h"

namespace ravelcast {

namespace {

std::uint32_t rotl(std::uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

std::uint32_t finalMix(std::uint32_t h)
{
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    h ^= h >> 16;
    return h;
}

std::uint32_t scrambled(std::uint32_t k)
{
    k *= 0xcc9e2d51u;
    k = rotl(k, 15);
    k *= 0x1b873593u;
    return k;
}

// The length of the UTF-8 sequence starting at i, or 0 when it is not one.
std::size_t sequenceAt(const std::string &s, std::size_t i)
{
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(s[at]); };
    const unsigned char c = byte(i);
    if (c < 0x80)
        return 1;
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if ((c & 0xe0) == 0xc0) {
        n = 2;
        cp = c & 0x1fu;
    } else if ((c & 0xf0) == 0xe0) {
        n = 3;
        cp = c & 0x0fu;
    } else if ((c & 0xf8) == 0xf0) {
        n = 4;
        cp = c & 0x07u;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3fu);
    }
    // Overlong forms, surrogates and code points past Unicode's end are not UTF-8.
    static const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
        return 0;
    return n;
}

} // namespace

std::uint32_t murmurHash3(const std::string &bytes, std::uint32_t seed)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t length = bytes.size();
    const std::size_t blocks = length / 4;
    std::uint32_t h = seed;
    for (std::size_t i = 0; i < blocks; ++i) {
        // Blocks are read least significant byte first, whatever the machine.
        const unsigned char *p = data + i * 4;
        const std::uint32_t k = static_cast<std::uint32_t>(p[0]) |
                                static_cast<std::uint32_t>(p[1]) << 8 |
                                static_cast<std::uint32_t>(p[2]) << 16 |
                                static_cast<std::uint32_t>(p[3]) << 24;
        h ^= scrambled(k);
        h = rotl(h, 13);
        h = h * 5 + 0xe6546b64u;
    }
    const unsigned char *tail = data + blocks * 4;
    std::uint32_t k = 0;
    switch (length & 3) {
    case 3: k ^= static_cast<std::uint32_t>(tail[2]) << 16; [[fallthrough]];
    case 2: k ^= static_cast<std::uint32_t>(tail[1]) << 8; [[fallthrough]];
    case 1:
        k ^= tail[0];
        h ^= scrambled(k);
        break;
    default: break;
    }
    h ^= static_cast<std::uint32_t>(length);
    return finalMix(h);
}

std::uint32_t matteIdBits(std::uint32_t hash)
{
    const std::uint32_t exponent = (hash >> 23) & 0xffu;
    return exponent == 0 || exponent == 0xff ? hash ^ (1u << 23) : hash;
}

float matteIdFloat(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

float matteId(const std::string &name) { return matteIdFloat(matteIdBits(murmurHash3(name))); }

std::string utf8Name(const std::string &raw)
{
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size();) {
        if (const std::size_t n = sequenceAt(raw, i)) {
            out.append(raw, i, n);
            i += n;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(raw[i++]);
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
    return out;
}

std::string hex8(std::uint32_t v)
{
    static const char digits[] = "0123456789abcdef";
    std::string s(8, '0');
    for (int i = 7; i >= 0; --i, v >>= 4)
        s[static_cast<std::size_t>(i)] = digits[v & 0xf];
    return s;
}

std::string matteKey(const std::string &typeName)
{
    return hex8(murmurHash3(typeName)).substr(0, 7);
}

std::string manifestJson(const std::vector<std::string> &names)
{
    std::string json = "{";
    std::unordered_set<std::string> written;
    for (const std::string &name : names) {
        if (!written.insert(name).second)
            continue;
        if (json.size() > 1)
            json += ',';
        json += '"';
        for (const char ch : name) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c == '"' || c == '\\') {
                json += '\\';
                json += ch;
            } else if (c < 0x20) {
                static const char digits[] = "0123456789abcdef";
                json += "\\u00";
                json += digits[c >> 4];
                json += digits[c & 0xf];
            } else {
                json += ch;
            }
        }
        json += "\":\"" + hex8(matteIdBits(murmurHash3(name))) + '"';
    }
    return json + "}";
}

const char *matteTypeName(MatteKind kind)
{
    switch (kind) {
    case MatteKind::Object: return "CryptoObject";
    case MatteKind::Material: return "CryptoMaterial";
    case MatteKind::Asset: return "CryptoAsset";
    }
    return "";
}

int matteHostBuffer(MatteKind kind)
{
    return kind == MatteKind::Material ? hostkit::buffer::SurfaceId : hostkit::buffer::ObjectId;
}

std::vector<std::string> matteLayers(const std::string &typeName, int ranks)
{
    std::vector<std::string> layers;
    for (int i = 0; i < (ranks + 1) / 2; ++i)
        layers.push_back(typeName + (i < 10 ? "0" : "") + std::to_string(i));
    return layers;
}

MatteNames matteNames(MatteKind kind, const hostkit::SceneNames &scene)
{
    MatteNames m;
    std::unordered_set<std::string> listed;
    const auto add = [&](const std::string &raw) {
        std::string name = utf8Name(raw);
        if (listed.insert(name).second)
            m.names.push_back(name);
        return name;
    };
    const std::vector<hostkit::NamedItem> &items =
        kind == MatteKind::Material ? scene.surfaces : scene.objects;
    for (const hostkit::NamedItem &item : items) {
        const std::string name = add(kind == MatteKind::Asset ? item.topName : item.name);
        if (item.bufferId != 0)
            m.ids[item.bufferId] = matteId(name);
    }
    return m;
}

namespace {
// Ids up to this are looked up in a table rather than a map.
constexpr int kDenseIds = 1 << 16;
} // namespace

MatteIds::MatteIds(const MatteNames &names)
{
    for (const auto &[id, matte] : names.ids) {
        if (id > 0 && id < kDenseIds) {
            if (dense_.size() <= static_cast<std::size_t>(id))
                dense_.resize(static_cast<std::size_t>(id) + 1, 0.0f);
            dense_[static_cast<std::size_t>(id)] = matte;
        } else {
            sparse_[id] = matte;
        }
    }
}

float MatteIds::operator()(float hostValue) const
{
    // The host writes whole numbers; anything else names no item.
    if (!(std::fabs(hostValue) < 2147483520.0f) || hostValue != std::floor(hostValue) ||
        hostValue == 0.0f)
        return 0.0f;
    const int id = static_cast<int>(hostValue);
    if (id > 0 && id < kDenseIds)
        return static_cast<std::size_t>(id) < dense_.size() ? dense_[static_cast<std::size_t>(id)]
                                                             : 0.0f;
    const auto at = sparse_.find(id);
    return at == sparse_.end() ? 0.0f : at->second;
}

} // namespace ravelcast
