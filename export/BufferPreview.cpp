#include "export/BufferPreview.h"

#include <algorithm>

#include "export/OpenEXRFilter.h"
#include "export/PreviewWindow.h"

namespace ravelcast {

const char *const BufferPreview::kModeNames[] = {"Raw Buffer", "Processed Buffer",
                                                 "Raw Buffer (normalized)",
                                                 "Processed Buffer (normalized)", nullptr};

BufferPreview::BufferPreview(OpenEXRFilter &filter) : filter_(filter), inspection_(filter)
{
    if (!subscribe("Ravelcast Buffers"))
        return;
    setChoices(kModeNames, filter_.settings().viperOptions);
    inspector_.setFrame(&inspection_);
    inspector_.setDisplayGamma(filter_.settings().displayGamma);
    inspector_.setDisplayMode(filter_.settings().viperOptions);
}

BufferPreview::~BufferPreview() = default;

void BufferPreview::toggle()
{
    if (!exists())
        return;
    if (isOpen()) {
        close();
        return;
    }
    open();
    show();
}

void BufferPreview::show()
{
    if (!exists())
        return;
    const OpenEXRBuffer *b = filter_.currentBuffer();
    const FrameData &frame = filter_.lastFrame().data();
    const int w = frame.previewImageWidth, h = frame.previewImageHeight;
    initBuffer(kPreviewWindowWidth, kPreviewWindowHeight);
    // The choice may have changed with a loaded scene or preset.
    setChoices(kModeNames, filter_.settings().viperOptions);
    if (b) {
        const std::lock_guard<std::mutex> hold(filter_.lastFrame().mutex());
        const PreviewPoint o = previewOrigin(w, h);
        const int mode = filter_.settings().viperOptions;
        const OpenEXRBuffer *alpha = filter_.buffer("Alpha");
        // The samples of the last frame as the settings process them now.
        const PreviewLook look = previewLook(*b, b->processingAt(frame.time));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::array<float, 3> v = previewPixel(*b, look, x, y, (mode & 1) != 0,
                                                            (mode & 2) != 0,
                                                            filter_.settings().displayGamma, alpha);
                setPixel(o.x + x, o.y + y, displayByte(v[0]), displayByte(v[1]),
                         displayByte(v[2]));
            }
    }
    draw();
}

void BufferPreview::clicked(int x, int y) { inspector_.click(x, y); }

void BufferPreview::chosen(int mode)
{
    if (mode < 0 || mode > 3)
        return;
    filter_.setViperOptions(mode);
    inspector_.setDisplayMode(mode);
    show();
}

void BufferPreview::resized(int width, int height) { inspector_.resize(width, height); }

} // namespace ravelcast
