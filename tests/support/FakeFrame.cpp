#include "FakeFrame.h"

#include <stdexcept>

namespace testsupport {

namespace {
FakeFrame *g_frame = nullptr;
}

FakeFrame::FakeFrame(int width, int height)
{
    if (g_frame)
        throw std::logic_error("one fake frame at a time");
    g_frame = this;
    access_.width = width;
    access_.height = height;
    access_.getLine = [](int type, int y) { return const_cast<float *>(line(type, y)); };
    access_.setRGB = setRGB;
    access_.setAlpha = setAlpha;
    rgb.assign(static_cast<std::size_t>(width) * height * 3, -1.0f);
    alpha.assign(static_cast<std::size_t>(width) * height, -1.0f);
}

FakeFrame::~FakeFrame() { g_frame = nullptr; }

void FakeFrame::set(int buffer, std::vector<float> values)
{
    values.resize(static_cast<std::size_t>(access_.width) * access_.height);
    buffers_[buffer] = std::move(values);
}

void FakeFrame::fill(int buffer, float value)
{
    set(buffer, std::vector<float>(static_cast<std::size_t>(access_.width) * access_.height, value));
}

const float *FakeFrame::line(int type, int y)
{
    FakeFrame *f = g_frame;
    if (!f)
        return nullptr;
    f->lineRequests.push_back(type);
    auto it = f->buffers_.find(type);
    if (it == f->buffers_.end() || y < 0 || y >= f->access_.height)
        return nullptr;
    return it->second.data() + static_cast<std::size_t>(y) * f->access_.width;
}

void FakeFrame::setRGB(int x, int y, const float c[3])
{
    if (!g_frame)
        return;
    const std::size_t i = (static_cast<std::size_t>(y) * g_frame->access_.width + x) * 3;
    for (int k = 0; k < 3; ++k)
        g_frame->rgb[i + k] = c[k];
}

void FakeFrame::setAlpha(int x, int y, float a)
{
    if (g_frame)
        g_frame->alpha[static_cast<std::size_t>(y) * g_frame->access_.width + x] = a;
}

} // namespace testsupport
