// Cryptomatte's ids and manifests as plain data: the hash against its
// published vectors and a second implementation, the exponent rule at both
// edges, and manifests that stay valid JSON whatever the names hold.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ExportTest.h"
#include "FlatJson.h"
#include "MatteIds.h"
#include "devhost/BlockFile.h"
#include "export/Cryptomatte.h"

namespace {

using ravelcast::manifestJson;
using ravelcast::matteId;
using ravelcast::matteIdBits;
using ravelcast::murmurHash3;

std::uint32_t bitsOf(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

TEST(CryptomatteTest, IdsAreMurmurHash3WithNoDenormalsInfinitiesOrNaNs)
{
    // MurmurHash3_x86_32's published vectors: empty input, seeds, every
    // length of tail and whole blocks.
    struct Vector {
        std::string text;
        std::uint32_t seed, hash;
    };
    const Vector vectors[] = {
        {"", 0, 0x00000000u},
        {"", 1, 0x514e28b7u},
        {"", 0xffffffffu, 0x81f16f39u},
        {std::string(4, '\0'), 0, 0x2362f9deu},
        {"aaaa", 0x9747b28cu, 0x5a97808au},
        {"aaa", 0x9747b28cu, 0x283e0130u},
        {"aa", 0x9747b28cu, 0x5d211726u},
        {"a", 0x9747b28cu, 0x7fa09ea6u},
        {"abcd", 0x9747b28cu, 0xf0478627u},
        {"Hello, world!", 0x9747b28cu, 0x24884cbau},
        {"The quick brown fox jumps over the lazy dog", 0x9747b28cu, 0x2fa826cdu},
    };
    for (const Vector &v : vectors) {
        SCOPED_TRACE(v.text);
        EXPECT_EQ(murmurHash3(v.text, v.seed), v.hash);
        EXPECT_EQ(testsupport::murmur3(v.text, v.seed), v.hash);
    }

    // Names whose hash has exponent 0 or 255 (about one in 128), found by
    // search; their ids have the exponent's lowest bit flipped, every other
    // id is the hash itself.
    bool zero = false, full = false;
    int ordinary = 0;
    for (int n = 0; n < 20000 && !(zero && full && ordinary > 100); ++n) {
        const std::string name = "item" + std::to_string(n);
        const std::uint32_t hash = murmurHash3(name);
        const std::uint32_t exponent = (hash >> 23) & 0xff;
        const float id = matteId(name);
        ASSERT_TRUE(std::isnormal(id)) << name;
        EXPECT_EQ(bitsOf(id), testsupport::matteBits(name)) << name;
        if (exponent == 0 || exponent == 255) {
            (exponent == 0 ? zero : full) = true;
            EXPECT_EQ(bitsOf(id), hash ^ (1u << 23)) << name;
            EXPECT_EQ(matteIdBits(hash), hash ^ (1u << 23));
        } else {
            ++ordinary;
            EXPECT_EQ(bitsOf(id), hash) << name;
        }
    }
    EXPECT_TRUE(zero && full) << "no name with either edge exponent was found";

    // The header key: 7 digits of the type name's hash.
    EXPECT_EQ(ravelcast::matteKey("CryptoObject"),
              testsupport::hexOf(testsupport::murmur3("CryptoObject")).substr(0, 7));
}

TEST(CryptomatteTest, ManifestsAreValidJsonWhateverTheNamesHold)
{
    const std::vector<std::string> names = {
        "RedBall",      "say \"cheese\"", "C:\\props\\crate", "tab\there",  "line\nbreak",
        "Caf\xc3\xa9",  "\xe7\x90\x83",   "\xf0\x9f\x8e\xb1 eight-ball",   "/slash/",
        "RedBall", // twice: one entry
        std::string("nul\x01", 4)};
    const std::string json = manifestJson(names);
    const auto parsed = testsupport::parseFlatJson(json);
    ASSERT_TRUE(parsed) << json;
    ASSERT_EQ(parsed->size(), names.size() - 1);
    std::vector<std::string> once = names;
    once.erase(once.begin() + 9);
    for (std::size_t i = 0; i < parsed->size(); ++i) {
        const auto &[name, hex] = (*parsed)[i];
        EXPECT_EQ(name, once[i]) << "the name reads back as it was";
        EXPECT_EQ(hex, testsupport::hexOf(testsupport::matteBits(once[i]))) << once[i];
    }
    EXPECT_EQ(manifestJson({}), "{}");

    // A name that is not UTF-8 (a Latin-1 byte) is hashed and listed as
    // the letter it would be, so that the manifest is UTF-8 and agrees.
    const std::string latin1 = "Caf\xe9";
    EXPECT_EQ(ravelcast::utf8Name(latin1), "Caf\xc3\xa9");
    EXPECT_EQ(ravelcast::utf8Name("Caf\xc3\xa9"), "Caf\xc3\xa9");
    EXPECT_EQ(ravelcast::utf8Name("\xc0\xaf"), "\xc3\x80\xc2\xaf") << "an overlong form is no UTF-8";
}

class CryptomatteSettingsTest : public ExportTest {};

// The ranks are an even count from 2 to 16: an odd count or one outside
// the range from a damaged scene is not taken.
TEST_F(CryptomatteSettingsTest, LevelsTakeEvenCountsOnly)
{
    for (const auto &[text, want] : std::vector<std::pair<std::string, int>>{
             {"2", 2}, {"16", 16}, {"8", 8}, {"5", 6}, {"0", 6}, {"18", 6}, {"-2", 6}}) {
        ravelcast::OpenEXRFilter &f = makeFilter();
        devhost::TextBlockReader r("{ CryptoLevels " + text + " }");
        r.setPluginLevel(true);
        hostkit::LoadState s(r.state());
        ASSERT_EQ(f.loadSettings(s, true), "");
        EXPECT_EQ(f.settings().cryptoLevels, want) << text;
        EXPECT_EQ(ravelcast::matteLayers("CryptoObject", f.settings().cryptoLevels).size(),
                  static_cast<std::size_t>(want / 2));
    }
}

} // namespace
