// The tests' own MurmurHash3_x86_32 and Cryptomatte id, written from the
// published algorithm apart from the module's, so that files are checked
// against a second implementation.
#ifndef RAVELCAST_TESTS_SUPPORT_MATTEIDS_H
#define RAVELCAST_TESTS_SUPPORT_MATTEIDS_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace testsupport {

inline std::uint32_t murmur3(const std::string &text, std::uint32_t seed = 0)
{
    const auto rot = [](std::uint32_t v, unsigned r) { return (v << r) | (v >> (32u - r)); };
    const auto mixK = [&](std::uint32_t k) { return rot(k * 0xcc9e2d51u, 15) * 0x1b873593u; };
    std::uint32_t h = seed;
    std::uint32_t k = 0;
    unsigned filled = 0;
    for (const char c : text) {
        k |= static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << (8 * filled);
        if (++filled == 4) {
            h = rot(h ^ mixK(k), 13) * 5u + 0xe6546b64u;
            k = 0;
            filled = 0;
        }
    }
    if (filled)
        h ^= mixK(k);
    h ^= static_cast<std::uint32_t>(text.size());
    h = (h ^ (h >> 16)) * 0x85ebca6bu;
    h = (h ^ (h >> 13)) * 0xc2b2ae35u;
    return h ^ (h >> 16);
}

// A name's id as Cryptomatte stores it: the hash's bits, with the lowest
// exponent bit flipped for exponents 0 and 255.
inline std::uint32_t matteBits(const std::string &name)
{
    std::uint32_t h = murmur3(name);
    const std::uint32_t e = (h >> 23) & 0xffu;
    if (e == 0 || e == 0xffu)
        h ^= 0x800000u;
    return h;
}

inline std::string hexOf(std::uint32_t v)
{
    char s[9];
    std::snprintf(s, sizeof s, "%08x", static_cast<unsigned>(v));
    return s;
}

} // namespace testsupport

#endif
