#include "export/BufferPreview.h"

#include <algorithm>

#include "export/OpenEXRFilter.h"
#include "export/PreviewWindow.h"
#include "hostkit/ExceptionBarrier.h"

namespace ravelcast {

const char *const BufferPreview::kModeNames[] = {"Raw Buffer", "Processed Buffer",
                                                 "Raw Buffer (normalized)",
                                                 "Processed Buffer (normalized)", nullptr};

BufferPreview::BufferPreview(OpenEXRFilter &filter) : filter_(filter), inspection_(filter)
{
    const LWPreviewFuncs *f = service_.table();
    if (!f || !f->subscribe)
        return;
    id_ = f->subscribe("Ravelcast Buffers", this, closed);
    if (!id_)
        return;
    f->setClick(id_, clicked);
    f->setResize(id_, resized);
    f->setChoices(id_, kModeNames, filter_.settings().viperOptions, chosen);
    inspector_.setFrame(&inspection_);
    inspector_.setDisplayGamma(filter_.settings().displayGamma);
    inspector_.setDisplayMode(filter_.settings().viperOptions);
}

BufferPreview::~BufferPreview()
{
    if (id_ && service_.table()->unsubscribe)
        service_.table()->unsubscribe(id_);
}

bool BufferPreview::isOpen() const { return id_ && service_.table()->isOpen(id_); }

void BufferPreview::toggle()
{
    if (!id_)
        return;
    if (isOpen()) {
        service_.table()->close(id_);
        return;
    }
    service_.table()->open(id_);
    show();
}

void BufferPreview::show()
{
    if (!id_)
        return;
    const LWPreviewFuncs *f = service_.table();
    const OpenEXRBuffer *b = filter_.currentBuffer();
    const FrameData &frame = filter_.lastFrame().data();
    const int w = frame.previewImageWidth, h = frame.previewImageHeight;
    f->initBuffer(id_, kPreviewWindowWidth, kPreviewWindowHeight);
    // The choice may have changed with a loaded scene or preset.
    f->setChoices(id_, kModeNames, filter_.settings().viperOptions, chosen);
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
                f->setPixel(id_, o.x + x, o.y + y, displayByte(v[0]), displayByte(v[1]),
                             displayByte(v[2]));
            }
    }
    f->draw(id_);
}

// The host calls these on its interface thread; nothing may escape.
void BufferPreview::closed(void *) {}

void BufferPreview::clicked(void *data, int x, int y)
{
    hostkit::guardedVoid("An exception occured in Preview::Click():", [&] {
        if (data)
            static_cast<BufferPreview *>(data)->inspector_.click(x, y);
    });
}

void BufferPreview::chosen(void *data, int mode)
{
    hostkit::guardedVoid("An exception occured in Preview::Choice():", [&] {
        auto *p = static_cast<BufferPreview *>(data);
        if (!p || mode < 0 || mode > 3)
            return;
        p->filter_.setViperOptions(mode);
        p->inspector_.setDisplayMode(mode);
        p->show();
    });
}

void BufferPreview::resized(void *data, int width, int height)
{
    hostkit::guardedVoid("An exception occured in Preview::Resize():", [&] {
        if (data)
            static_cast<BufferPreview *>(data)->inspector_.resize(width, height);
    });
}

} // namespace ravelcast
