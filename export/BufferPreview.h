// The buffer preview window "Ravelcast Buffers": the filter's current
// buffer in the host's render display, in one of four display modes, with
// the pixel inspector following clicks.
#ifndef RAVELCAST_EXPORT_BUFFERPREVIEW_H
#define RAVELCAST_EXPORT_BUFFERPREVIEW_H

#include <lwsdk/preview.h>

#include "export/FrameInspection.h"
#include "hostkit/Services.h"
#include "panels/PixelInfoPanel.h"

namespace ravelcast {

class OpenEXRFilter;

class BufferPreview {
public:
    explicit BufferPreview(OpenEXRFilter &filter);
    ~BufferPreview();
    BufferPreview(const BufferPreview &) = delete;
    BufferPreview &operator=(const BufferPreview &) = delete;

    // Whether the host gave a window.
    bool exists() const { return id_ != nullptr; }
    bool isOpen() const;
    // Opens the window showing the current buffer, or closes it.
    void toggle();
    // Shows the filter's current buffer, mode and gamma again.
    void show();
    // The same when the window is open; a closed window is left alone.
    void showIfOpen()
    {
        if (isOpen())
            show();
    }
    PixelInfoPanel &inspector() { return inspector_; }

    static const char *const kModeNames[];

private:
    static void closed(void *data);
    static void clicked(void *data, int x, int y);
    static void chosen(void *data, int mode);
    static void resized(void *data, int width, int height);

    OpenEXRFilter &filter_;
    hostkit::GlobalBase<LWPreviewFuncs> service_;
    LWPreviewID id_ = nullptr;
    FrameInspection inspection_;
    PixelInfoPanel inspector_;
};

} // namespace ravelcast

#endif
