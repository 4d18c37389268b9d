#include "export/PreviewWindow.h"

#include <algorithm>
#include <cmath>

#include "export/OpenEXRBuffer.h"

namespace ravelcast {

PreviewPoint previewOrigin(int imageWidth, int imageHeight)
{
    return {(kPreviewWindowWidth - imageWidth) / 2, (kPreviewWindowHeight - imageHeight) / 2};
}

PreviewPoint windowToImage(int px, int py, int windowWidth, int windowHeight, int imageWidth,
                           int imageHeight)
{
    const PreviewPoint o = previewOrigin(imageWidth, imageHeight);
    if (windowWidth <= 0 || windowHeight <= 0)
        return {-1, -1};
    return {px * kPreviewWindowWidth / windowWidth - o.x,
            py * kPreviewWindowHeight / windowHeight - o.y};
}

bool insideImage(PreviewPoint p, int imageWidth, int imageHeight)
{
    return p.x >= 0 && p.y >= 0 && p.x < imageWidth && p.y < imageHeight;
}

int previewToHost(int i, int previewSize, int hostSize)
{
    if (previewSize <= 0 || hostSize <= 0)
        return 0;
    const double at = (static_cast<double>(i) + 0.5) * hostSize / previewSize;
    return std::clamp(static_cast<int>(std::floor(at)), 0, hostSize - 1);
}

int displayByte(float v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::min(std::max(v, 0.0f), 1.0f) * 255.0f);
}

PreviewLook previewLook(const OpenEXRBuffer &buffer)
{
    return {buffer.processing(), buffer.rawMinimum(), buffer.rawMaximum(),
            buffer.processedMinimum(), buffer.processedMaximum()};
}

PreviewLook previewLook(const OpenEXRBuffer &buffer, const Processing &processing)
{
    PreviewLook look{processing, buffer.rawMinimum(), buffer.rawMaximum(), 0.0f, 0.0f};
    look.processedMinimum = processing.apply(look.rawMinimum, 0.0f, false);
    look.processedMaximum = processing.apply(look.rawMaximum, 0.0f, false);
    if (look.processedMinimum > look.processedMaximum)
        std::swap(look.processedMinimum, look.processedMaximum);
    return look;
}

float previewAlpha(const OpenEXRBuffer *alpha, int x, int y)
{
    return alpha && alpha->channelCount() > 0 ? alpha->channel(0).previewSample(x, y) : 1.0f;
}

std::array<float, 3> previewPixel(const OpenEXRBuffer &buffer, int x, int y, bool processed,
                                  bool normalized, double displayGamma,
                                  const OpenEXRBuffer *alpha)
{
    return previewPixel(buffer, previewLook(buffer), x, y, processed, normalized, displayGamma,
                        alpha);
}

std::array<float, 3> previewPixel(const OpenEXRBuffer &buffer, const PreviewLook &look, int x,
                                  int y, bool processed, bool normalized, double displayGamma,
                                  const OpenEXRBuffer *alpha)
{
    std::array<float, 3> v{0, 0, 0};
    std::array<bool, 3> flips{false, false, false};
    const int n = buffer.channelCount();
    if (n == 1) {
        v.fill(buffer.channel(0).previewSample(x, y));
        flips.fill(buffer.channel(0).flip());
    } else if (n >= 2) {
        v[0] = buffer.channel(0).previewSample(x, y);
        v[1] = buffer.channel(1).previewSample(x, y);
        flips[0] = buffer.channel(0).flip();
        flips[1] = flips[2] = buffer.channel(1).flip();
        if (n >= 3) {
            v[2] = buffer.channel(2).previewSample(x, y);
            flips[2] = buffer.channel(2).flip();
        }
    }
    if (processed) {
        const float a = previewAlpha(alpha, x, y);
        for (int i = 0; i < 3; ++i)
            v[i] = look.processing.apply(v[i], a, flips[i]);
        if (n == 3 && displayGamma != 1.0)
            for (float &c : v)
                c = std::pow(c, static_cast<float>(1.0 / displayGamma));
        if (normalized) {
            const float lo = look.processedMinimum, hi = look.processedMaximum;
            for (float &c : v)
                c = (c - lo) / (hi - lo);
        }
    } else if (normalized) {
        const float lo = look.rawMinimum, hi = look.rawMaximum;
        for (float &c : v)
            c = (c - lo) / (hi - lo);
    }
    return v;
}

} // namespace ravelcast
