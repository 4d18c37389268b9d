// A window of the host's render display ("Preview Functions"): subscribed
// under a title, filled pixel by pixel, with a popup of display choices.
// The host's callbacks arrive as virtual functions, behind the exception
// barrier: nothing escapes to the host.
#ifndef HOSTKIT_PREVIEWDISPLAY_H
#define HOSTKIT_PREVIEWDISPLAY_H

#include "hostkit/Services.h"

namespace hostkit {

class PreviewDisplay {
public:
    PreviewDisplay() = default;
    // Unsubscribes the window.
    virtual ~PreviewDisplay();
    PreviewDisplay(const PreviewDisplay &) = delete;
    PreviewDisplay &operator=(const PreviewDisplay &) = delete;

    // Asks the host for the window; false when it gives none (no service).
    bool subscribe(const char *title);
    bool exists() const { return id_ != nullptr; }
    bool isOpen() const;
    void open();
    void close();
    // choices: null-terminated, kept by the caller while the window lives.
    void setChoices(const char *const *choices, int current);
    // The image's size; its pixels start black.
    void initBuffer(int width, int height);
    void setPixel(int x, int y, int r, int g, int b);
    // Shows the pixels set so far.
    void draw();

protected:
    // A click at (x, y) of the window as it is drawn now.
    virtual void clicked(int x, int y);
    // The user chose item `choice` of the popup.
    virtual void chosen(int choice);
    // The window is now drawn at width x height.
    virtual void resized(int width, int height);

private:
    static void closeThunk(void *data);
    static void clickThunk(void *data, int x, int y);
    static void choiceThunk(void *data, int choice);
    static void resizeThunk(void *data, int width, int height);

    GlobalBase<LWPreviewFuncs> service_;
    LWPreviewID id_ = nullptr;
};

} // namespace hostkit

#endif
