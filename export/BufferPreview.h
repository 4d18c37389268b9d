// The buffer preview window "Ravelcast Buffers": the filter's current
// buffer in the host's render display, in one of four display modes, with
// the pixel inspector following clicks.
#ifndef RAVELCAST_EXPORT_BUFFERPREVIEW_H
#define RAVELCAST_EXPORT_BUFFERPREVIEW_H

#include "export/FrameInspection.h"
#include "hostkit/PreviewDisplay.h"
#include "panels/PixelInfoPanel.h"

namespace ravelcast {

class OpenEXRFilter;

class BufferPreview : private hostkit::PreviewDisplay {
public:
    explicit BufferPreview(OpenEXRFilter &filter);
    ~BufferPreview() override;

    // Whether the host gave a window.
    using PreviewDisplay::exists;
    using PreviewDisplay::isOpen;
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
    void clicked(int x, int y) override;
    void chosen(int mode) override;
    void resized(int width, int height) override;

    OpenEXRFilter &filter_;
    FrameInspection inspection_;
    PixelInfoPanel inspector_;
};

} // namespace ravelcast

#endif
