#include "devhost/FilterAccess.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>

#include "devhost/Host.h"

namespace devhost {

namespace {
FilterAccess *g_current = nullptr;

float *getLineThunk(int type, int y) { return g_current ? g_current->line(type, y) : nullptr; }
void setRGBThunk(int x, int y, const float rgb[3])
{
    if (g_current)
        g_current->setRGB(x, y, rgb);
}
void setAlphaThunk(int x, int y, float alpha)
{
    if (g_current)
        g_current->setAlpha(x, y, alpha);
}

constexpr int kFinal[4] = {LWBUF_RED, LWBUF_GREEN, LWBUF_BLUE, LWBUF_ALPHA};
} // namespace

FilterAccess::FilterAccess(RenderedFrame &frame, LWTime start, LWTime end, LWMonitor *monitor)
    : frame_(frame)
{
    if (g_current)
        throw HostError("a filter access is already in use");
    const std::size_t pixels = static_cast<std::size_t>(frame.width()) * frame.height();
    for (int c = 0; c < 4; ++c) {
        output_[c] = FloatPlane(pixels);
        if (const float *p = frame.plane(kFinal[c]))
            std::copy(p, p + pixels, output_[c].data());
    }
    access_.width = frame.width();
    access_.height = frame.height();
    access_.frame = frame.frame();
    access_.start = start;
    access_.end = end;
    access_.getLine = guarded<getLineThunk>;
    access_.setRGB = guarded<setRGBThunk>;
    access_.setAlpha = guarded<setAlphaThunk>;
    access_.monitor = monitor;
    g_current = this;
}

FilterAccess::~FilterAccess()
{
    if (g_current == this)
        g_current = nullptr;
}

float *FilterAccess::line(int type, int y) { return frame_.line(type, y); }

void FilterAccess::setRGB(int x, int y, const float rgb[3])
{
    if (!rgb || x < 0 || y < 0 || x >= frame_.width() || y >= frame_.height())
        return;
    const std::size_t i = static_cast<std::size_t>(y) * frame_.width() + x;
    for (int c = 0; c < 3; ++c)
        output_[c][i] = rgb[c];
}

void FilterAccess::setAlpha(int x, int y, float alpha)
{
    if (x < 0 || y < 0 || x >= frame_.width() || y >= frame_.height())
        return;
    output_[3][static_cast<std::size_t>(y) * frame_.width() + x] = alpha;
}

void FilterAccess::commit()
{
    for (int c = 0; c < 4; ++c) {
        float *p = frame_.allocate(kFinal[c]);
        if (p)
            std::copy(output_[c].begin(), output_[c].end(), p);
    }
}

} // namespace devhost
