#include "devhost/RenderedFrame.h"

#include <cstddef>

namespace devhost {

RenderedFrame::RenderedFrame(int width, int height, int originX, int originY, LWFrame frame)
    : width_(width > 0 ? width : 0), height_(height > 0 ? height : 0), originX_(originX),
      originY_(originY), frame_(frame)
{
}

bool RenderedFrame::has(int buffer) const
{
    return buffer >= 0 && buffer < LWBUF_COUNT && !planes_[buffer].empty();
}

float *RenderedFrame::allocate(int buffer)
{
    if (buffer < 0 || buffer >= LWBUF_COUNT || width_ == 0 || height_ == 0)
        return nullptr;
    FloatPlane &p = planes_[buffer];
    if (p.empty())
        p = FloatPlane(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    return p.data();
}

void RenderedFrame::release(int buffer)
{
    if (buffer >= 0 && buffer < LWBUF_COUNT)
        planes_[buffer] = FloatPlane();
}

float *RenderedFrame::plane(int buffer)
{
    return has(buffer) ? planes_[buffer].data() : nullptr;
}

const float *RenderedFrame::plane(int buffer) const
{
    return has(buffer) ? planes_[buffer].data() : nullptr;
}

float *RenderedFrame::line(int buffer, int y)
{
    if (!has(buffer) || y < 0 || y >= height_)
        return nullptr;
    return planes_[buffer].data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
}

const float *RenderedFrame::line(int buffer, int y) const
{
    return const_cast<RenderedFrame *>(this)->line(buffer, y);
}

std::vector<int> RenderedFrame::buffers() const
{
    std::vector<int> out;
    for (int i = 0; i < LWBUF_COUNT; ++i)
        if (has(i))
            out.push_back(i);
    return out;
}

} // namespace devhost
