// Arithmetic and wording shared by the header scan and the layout checks:
// sizes saturate instead of overflowing, messages read alike.
#ifndef RAVELCAST_EXRIO_EXRLAYOUTDETAIL_H
#define RAVELCAST_EXRIO_EXRLAYOUTDETAIL_H

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

#include "exrio/ExrLayout.h"

namespace ravelcast {
namespace layoutdetail {


constexpr std::uint64_t kSaturated = std::uint64_t(1) << 62;

inline std::uint64_t satMul(std::uint64_t a, std::uint64_t b)
{
    if (a == 0 || b == 0)
        return 0;
    if (a > kSaturated / b)
        return kSaturated;
    return std::min(a * b, kSaturated);
}

inline std::uint64_t satAdd(std::uint64_t a, std::uint64_t b) { return std::min(a + b, kSaturated); }

[[noreturn]] inline void damaged(const std::string &why)
{
    throw ExrLayoutError("Its header is damaged: " + why + ".");
}

inline std::string quoted(const std::string &s) { return "\"" + s + "\""; }

inline int floorLog2(std::uint64_t x)
{
    int y = 0;
    while (x > 1) {
        x >>= 1;
        ++y;
    }
    return y;
}

inline int ceilLog2(std::uint64_t x)
{
    const int f = floorLog2(x);
    return (std::uint64_t(1) << f) == x ? f : f + 1;
}

inline std::uint64_t levelSize(std::uint64_t size, int level, int rounding)
{
    if (level >= 63)
        return 1;
    const std::uint64_t b = std::uint64_t(1) << level;
    std::uint64_t s = size / b;
    if (rounding == 1 && s * b < size)
        ++s;
    return std::max<std::uint64_t>(s, 1);
}

inline std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b ? 1 : 0); }

inline std::uint64_t windowWidth(const Imath::Box2i &b)
{
    return static_cast<std::uint64_t>(std::int64_t(b.max.x) - b.min.x + 1);
}

inline std::uint64_t windowHeight(const Imath::Box2i &b)
{
    return static_cast<std::uint64_t>(std::int64_t(b.max.y) - b.min.y + 1);
}

inline bool emptyWindow(const Imath::Box2i &b) { return b.max.x < b.min.x || b.max.y < b.min.y; }

inline std::string windowText(const Imath::Box2i &b)
{
    std::ostringstream s;
    s << "(" << b.min.x << ", " << b.min.y << ") - (" << b.max.x << ", " << b.max.y << ")";
    return s.str();
}

inline std::uint64_t sampleBytes(int pixelType) { return pixelType == 1 ? 2 : 4; }

inline std::string mebibytes(std::uint64_t bytes)
{
    return std::to_string((bytes + (std::uint64_t(1) << 20) - 1) >> 20) + " MiB";
}

[[noreturn]] inline void tooLarge(const std::string &what, std::uint64_t bytes)
{
    throw ExrLayoutError(what + " is too large to load: it would need " + mebibytes(bytes) +
                         " for one block of rows (at most " + mebibytes(kMaxChunkBytes) + ").");
}


} // namespace layoutdetail
} // namespace ravelcast

#endif
