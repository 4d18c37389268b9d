// Cryptomatte: mattes that compositors pick by name. A name's id is the
// MurmurHash3 (x86, 32 bits, seed 0) of its UTF-8 bytes, read as a float;
// a type's manifest maps every name of that type in the scene to its id.
// Everything here is plain data, without a host.
#ifndef RAVELCAST_EXPORT_CRYPTOMATTE_H
#define RAVELCAST_EXPORT_CRYPTOMATTE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace hostkit {
struct SceneNames;
}

namespace ravelcast {

// MurmurHash3_x86_32 of the bytes.
std::uint32_t murmurHash3(const std::string &bytes, std::uint32_t seed = 0);

// The id's bits: the hash with its exponent's lowest bit flipped when the
// exponent is 0 or 255, so that no id is a denormal, an infinity or a NaN.
std::uint32_t matteIdBits(std::uint32_t hash);
float matteIdFloat(std::uint32_t bits);
// The id of a name, as the mattes hold it.
float matteId(const std::string &name);

// Valid UTF-8 stays as it is; any other byte is taken as the Latin-1
// letter it would be, so that hash and manifest agree on one text.
std::string utf8Name(const std::string &raw);

// Eight lower-case hexadecimal digits.
std::string hex8(std::uint32_t v);

// The header key of a type: the first 7 hexadecimal digits of the hash of
// its name ("cryptomatte/<key>/name" and so on).
std::string matteKey(const std::string &typeName);

// A JSON object from each name to the 8-digit hex of its id, in the order
// given (a name given twice is written once). Valid JSON whatever the names
// hold: quotes, backslashes and control characters are escaped.
std::string manifestJson(const std::vector<std::string> &names);
// A manifest longer than this goes to a file of its own beside the image.
constexpr std::size_t kManifestInHeader = 64 * 1024;

// The three types, in the order the settings, files and review list them.
enum class MatteKind { Object, Material, Asset };
constexpr int kMatteKinds = 3;
const char *matteTypeName(MatteKind kind); // "CryptoObject", ...
// The host buffer whose ids the type resolves: Object ID or Surface ID.
int matteHostBuffer(MatteKind kind);

// The layer names of a type with this many ranks: two ranks a layer,
// "CryptoObject00", "CryptoObject01", ...
std::vector<std::string> matteLayers(const std::string &typeName, int ranks);
// Each layer's channels: R the first rank's id, G its coverage, B the
// second rank's id, A its coverage.
constexpr const char *kMatteChannels[4] = {"R", "G", "B", "A"};

// The names of one type in the scene, and what each id of its host buffer
// resolves to.
struct MatteNames {
    // Every name of the type in the scene, in the host's order.
    std::vector<std::string> names;
    // Host buffer id -> the name's matte id.
    std::unordered_map<int, float> ids;
};

// Objects by their own name, surfaces by theirs, assets by the name of the
// object's top-level parent (its own when it has none).
MatteNames matteNames(MatteKind kind, const hostkit::SceneNames &scene);

// The host buffer's values resolved into ids, one row at a time.
class MatteIds {
public:
    MatteIds() = default;
    explicit MatteIds(const MatteNames &names);
    // The matte id of a host buffer value; 0 where no item is (0, not a
    // whole number, or an id no item has).
    float operator()(float hostValue) const;

private:
    std::vector<float> dense_; // by id, for the usual small ids
    std::unordered_map<int, float> sparse_;
};

} // namespace ravelcast

#endif
