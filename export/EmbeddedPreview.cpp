#include "export/EmbeddedPreview.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "export/OpenEXRBuffer.h"

namespace ravelcast {

unsigned char previewByte(float linear)
{
    if (!(linear > 0.0f))
        return 0; // negative, zero and NaN
    const float v = std::pow(5.5555f * linear, 0.4545f) * 84.66f;
    return static_cast<unsigned char>(std::clamp(v, 0.0f, 255.0f));
}

std::optional<Imf::PreviewImage> embeddedPreview(const OpenEXRBuffer &buffer,
                                                 const hostkit::FrameAccess &access, int width,
                                                 int height)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    Imf::PreviewImage preview(width, height);
    const int n = std::min(buffer.channelCount(), 3);
    std::vector<Resampled> channels;
    for (int c = 0; c < n; ++c)
        channels.push_back(buffer.resampledChannel(c, access, width, height));
    const Processing processing = buffer.processing();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float v[3] = {0, 0, 0};
            for (int c = 0; c < n; ++c) {
                const Resampled &r = channels[c];
                if (!r.samples.empty())
                    v[c] = processing.apply(r.samples[static_cast<std::size_t>(y) * width + x],
                                            0.0f, buffer.channel(c).flip());
            }
            if (n == 1)
                v[1] = v[2] = v[0];
            Imf::PreviewRgba &p = preview.pixel(x, y);
            p.r = previewByte(v[0]);
            p.g = previewByte(v[1]);
            p.b = previewByte(v[2]);
            p.a = 255;
        }
    return preview;
}

} // namespace ravelcast
