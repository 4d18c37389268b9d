// "Preview Functions": the host's render display. A window is a raster of
// bytes a plug-in fills, a popup of display choices, and mouse clicks.
#ifndef DEVHOST_PREVIEWS_H
#define DEVHOST_PREVIEWS_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <lwsdk/preview.h>

#include "devhost/Extensions.h"

namespace devhost {

class Host;

struct PreviewWindow {
    std::string title;
    void *userData = nullptr;
    LWPreviewCloseFunc close = nullptr;
    LWPreviewClickFunc click = nullptr;
    LWPreviewResizeFunc resize = nullptr;
    LWPreviewChoiceFunc choose = nullptr;
    std::vector<std::string> choices;
    int current = 0;
    int width = 0, height = 0;        // the image
    std::vector<unsigned char> pixels; // RGB, top row first
    std::vector<unsigned char> shown;  // as of the last draw
    int windowWidth = 640, windowHeight = 480; // as drawn on screen
    bool open = false;
    int draws = 0;
};

class Previews : public ServiceFamily {
public:
    explicit Previews(Host &host);
    ~Previews() override;
    static Previews &of(Host &host);

    // The window of that title; throws HostError when there is none.
    PreviewWindow &find(const std::string &title);
    bool any() const { return !windows_.empty(); }
    PreviewWindow &only();

    // What a user does.
    void click(PreviewWindow &w, int x, int y);
    void choose(PreviewWindow &w, int choice);
    void resize(PreviewWindow &w, int width, int height);
    void closeByUser(PreviewWindow &w);
    // The window as shown: title bar, the choices popup, the image scaled
    // to the window size.
    void snapshot(const PreviewWindow &w, const std::string &png) const;

    // The service's operations.
    LWPreviewID subscribe(const char *title, void *data, LWPreviewCloseFunc close);
    void unsubscribe(LWPreviewID id);
    PreviewWindow *window(LWPreviewID id);

private:
    Host &host_;
    LWPreviewFuncs table_{};
    std::map<LWPreviewID, std::unique_ptr<PreviewWindow>> windows_;
    unsigned int next_ = 1;
};

} // namespace devhost

#endif
