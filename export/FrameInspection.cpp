#include "export/FrameInspection.h"

#include <mutex>

#include "export/OpenEXRFilter.h"
#include "export/PreviewWindow.h"

namespace ravelcast {

bool FrameInspection::imagePixel(int x, int y, int windowWidth, int windowHeight, int &imageX,
                                 int &imageY) const
{
    const std::lock_guard<std::mutex> hold(filter_.lastFrame().mutex());
    const FrameData &frame = filter_.lastFrame().data();
    const int w = frame.previewImageWidth, h = frame.previewImageHeight;
    const PreviewPoint p = windowToImage(x, y, windowWidth, windowHeight, w, h);
    if (!insideImage(p, w, h))
        return false;
    imageX = p.x;
    imageY = p.y;
    return true;
}

bool FrameInspection::inspect(int sx, int sy, int mode, double displayGamma,
                              InspectedPixel &pixel) const
{
    const OpenEXRBuffer *shown = filter_.currentBuffer();
    if (!shown)
        return false;
    const OpenEXRBuffer &b = *shown;
    const OpenEXRBuffer *alphaBuffer = filter_.buffer("Alpha");
    const std::lock_guard<std::mutex> hold(filter_.lastFrame().mutex());
    const FrameData &frame = filter_.lastFrame().data();
    const bool processed = (mode & 1) != 0, normalized = (mode & 2) != 0;
    // As the window shows the samples: the settings as they are now.
    const PreviewLook look = previewLook(b, b.processingAt(frame.time));
    const std::array<float, 3> colour =
        previewPixel(b, look, sx, sy, processed, normalized, displayGamma, alphaBuffer);
    for (std::size_t i = 0; i < colour.size(); ++i)
        pixel.colour[i] = displayByte(colour[i]);

    const bool written = b.active() && (b.savesLayer() || b.savesImage());
    pixel.buffer = b.displayName();
    pixel.written = written ? (b.savesLayer() ? "layer" : "") : "not written";
    if (written && b.savesImage())
        pixel.written += b.savesLayer() ? " + image" : "image";
    pixel.pixelType = b.pixelType();
    // Frame pixels: a limited region's lines start at its corner.
    pixel.frameX = frame.x0 + previewToHost(sx, frame.previewImageWidth, frame.hostWidth);
    pixel.frameY = frame.y0 + previewToHost(sy, frame.previewImageHeight, frame.hostHeight);
    if (const Imath::Box2i &dw = b.dataWindow(); !isEmptyWindow(dw))
        pixel.window = std::array<int, 4>{frame.windowX0 + dw.min.x, frame.windowY0 + dw.min.y,
                                          frame.windowX0 + dw.max.x, frame.windowY0 + dw.max.y};
    if (b.rawMinimum() != kNoMinimum)
        pixel.minimum = b.rawMinimum();
    if (b.rawMaximum() != kNoMaximum)
        pixel.maximum = b.rawMaximum();

    const auto layered = b.fileChannelNames(false);
    const float alpha = previewAlpha(alphaBuffer, sx, sy);
    // The numbers are normalised by the range the window divides by.
    const float lo = processed ? look.processedMinimum : look.rawMinimum;
    const float hi = processed ? look.processedMaximum : look.rawMaximum;
    for (int i = 0; i < b.channelCount(); ++i) {
        const BufferChannel &c = b.channel(i);
        InspectedChannel out;
        out.longName = c.longName();
        out.channelName = c.channelName();
        if (!written)
            out.output = "not written";
        else if (b.savesLayer())
            out.output = layered[static_cast<std::size_t>(i)][0];
        else
            out.output = b.lumaAsRGB() ? "RGB" : c.channelName();
        out.raw = c.previewSample(sx, sy);
        out.shown = out.raw;
        if (processed)
            out.shown = look.processing.apply(out.shown, alpha, c.flip());
        if (normalized)
            out.shown = (out.shown - lo) / (hi - lo);
        pixel.channels.push_back(std::move(out));
    }
    return true;
}

} // namespace ravelcast
