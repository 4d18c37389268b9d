#include "devhost/BufferRequest.h"

#include <algorithm>

namespace devhost {

namespace {
// The refraction buffers have no bit of their own: a filter asks for them
// with a combination of the other colour bits and transparency.
struct CombinedBit {
    int buffer;
    unsigned int bits;
};
constexpr CombinedBit kCombined[] = {
    {LWBUF_REFRACTION_RED, 0x920020u},
    {LWBUF_REFRACTION_GREEN, 0x1240020u},
    {LWBUF_REFRACTION_BLUE, 0x2480020u},
    {LWBUF_REFRACTION_ALPHA, 0x20u},
};
} // namespace

BufferRequest BufferRequest::fromMask(unsigned int mask)
{
    BufferRequest r;
    for (int i = 0; i < 32; ++i)
        if (mask & (1u << i))
            r.add(i);
    for (const CombinedBit &c : kCombined)
        if ((mask & c.bits) == c.bits)
            r.add(c.buffer);
    return r;
}

BufferRequest BufferRequest::fromList(const int *list)
{
    BufferRequest r;
    if (!list || list[0] <= 0)
        return r;
    const int count = std::min(list[0], kMaxListCount);
    for (int i = 1; i <= count; ++i)
        r.add(list[i]);
    return r;
}

BufferRequest BufferRequest::all()
{
    BufferRequest r;
    r.set_.set();
    return r;
}

void BufferRequest::add(int buffer)
{
    if (buffer >= 0 && buffer < LWBUF_COUNT)
        set_.set(static_cast<std::size_t>(buffer));
}

bool BufferRequest::has(int buffer) const
{
    return buffer >= 0 && buffer < LWBUF_COUNT && set_.test(static_cast<std::size_t>(buffer));
}

std::vector<int> BufferRequest::buffers() const
{
    std::vector<int> out;
    for (int i = 0; i < LWBUF_COUNT; ++i)
        if (set_.test(static_cast<std::size_t>(i)))
            out.push_back(i);
    return out;
}

BufferRequest &BufferRequest::operator|=(const BufferRequest &other)
{
    set_ |= other.set_;
    return *this;
}

} // namespace devhost
