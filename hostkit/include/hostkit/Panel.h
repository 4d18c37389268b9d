// Classic host panels ("LWPanelServices"): an owned panel, the interface
// that receives its events, a list of log lines and the about box.
#ifndef HOSTKIT_PANEL_H
#define HOSTKIT_PANEL_H

#include <map>
#include <string>
#include <vector>

#include <lwsdk/panel.h>

#include "hostkit/Services.h"

namespace hostkit {

class LWPanel;

// Receives a panel's events; the defaults do nothing.
class LWPanelCallbacks {
public:
    virtual void draw(LWPanel &panel, int mode);
    virtual void open(LWPanel &panel);
    virtual void activate(LWPanel &panel);
    virtual void close(LWPanel &panel);
    virtual int keyDown(LWPanel &panel, unsigned short key);
    virtual int keyUp(LWPanel &panel, unsigned short key);
    virtual void mouseButton(LWPanel &panel, int qualifiers, int x, int y);
    virtual void mouseMove(LWPanel &panel, int qualifiers, int x, int y);
    virtual ~LWPanelCallbacks() = default;
};

// Feeds a list box.
class LWPanelListCallBacks {
public:
    virtual int count() = 0;
    virtual std::string name(int index) = 0;
    virtual ~LWPanelListCallBacks() = default;

    // The text stays valid until the list is counted again.
    const char *nameForHost(int index);
    int countForHost();

private:
    std::map<int, std::string> hostNames_;
};

// One host panel; owns it when this object created it.
class LWPanel : public GlobalBase<LWPanelFuncs> {
public:
    explicit LWPanel(const std::string &title);
    // A non-owning view of a panel the host names in a callback.
    explicit LWPanel(LWPanelID id);
    ~LWPanel() override;
    LWPanel(const LWPanel &) = delete;
    LWPanel &operator=(const LWPanel &) = delete;

    LWPanelID id() const { return id_; }
    bool owns() const { return owns_; }
    const std::string &title() const { return title_; }

    // Stores callbacks as the panel's user data and attaches every event.
    void setCallbacks(LWPanelCallbacks *callbacks);
    // Answers the host's open result (0 without a panel).
    int open(int flags);
    void close();
    void redraw(int mode = DR_REFRESH);
    int getInt(int tag) const;
    void setInt(int tag, int value);
    void *getPointer(int tag) const;
    void setPointer(int tag, void *value);
    void setFunction(int tag, LWPanelFunc function);

    // The host's controls, by kind; null without a panel.
    LWControl *addCanvas(int width, int height, const char *label = "");
    LWControl *addText(const char *const *lines, const char *label = "");
    LWControl *addListBox(int width, int visibleLines, LWPanelListCallBacks *source,
                          const char *label);

    // Drawing through the host's functions; nothing without them.
    const LWDrawFuncs *drawing() const;

private:
    LWPanelID id_ = nullptr;
    bool owns_ = false;
    std::string title_;
};

// Attribute access of a host control.
int controlInt(LWControl *control, int tag);
void controlSetInt(LWControl *control, int tag, int value);
void *controlPointer(LWControl *control, int tag);
void controlSetPointer(LWControl *control, int tag, void *value);

// A panel listing lines of text, opened blocking.
class LogPanel : public LWPanel, public LWPanelListCallBacks {
public:
    explicit LogPanel(const std::string &title) : LWPanel(title) {}
    void add(const std::string &line) { lines_.push_back(line); }
    const std::vector<std::string> &lines() const { return lines_; }
    void setListWidth(int pixels) { listWidth_ = pixels; }
    int listWidth() const { return listWidth_; }
    void setVisibleLines(int lines) { visibleLines_ = lines; }
    // Shows the lines under listTitle; returns when the user closes it.
    void open(const std::string &listTitle);

    int count() override { return static_cast<int>(lines_.size()); }
    std::string name(int index) override { return lines_.at(static_cast<std::size_t>(index)); }

private:
    std::vector<std::string> lines_;
    LWControl *list_ = nullptr;
    int listWidth_ = 600;
    int visibleLines_ = 20;
};

// Calls pixel(r, g, b, x, y) for every pixel of a 24-bit picture stored
// bottom row first in blue-green-red order, the picture's top-left corner
// at (left, top), so it stands the right way up.
template <class Pixel>
void forEachPicturePixel(const unsigned char *picture, int width, int height, int left, int top,
                         Pixel &&pixel)
{
    for (int row = 0; row < height; ++row) {
        const unsigned char *p = picture + static_cast<std::size_t>(height - 1 - row) * width * 3;
        for (int col = 0; col < width; ++col, p += 3)
            pixel(p[2], p[1], p[0], left + col, top + row);
    }
}

// A panel with a 24-bit picture (bottom row first, blue-green-red) above
// lines of text. The owner opens it.
class AboutPanel : public LWPanel {
public:
    AboutPanel(const std::string &title, const std::vector<std::string> &lines,
               const unsigned char *picture, int pictureWidth, int pictureHeight);
    // Blocking, with frame.
    void show() { LWPanel::open(PANF_BLOCKING | PANF_FRAME); }

    // Draws the picture centred in the control's drawable area on white.
    void drawPicture(LWControl *canvas) const;

private:
    std::vector<std::string> lines_;
    std::vector<const char *> linePointers_;
    const unsigned char *picture_;
    int pictureWidth_;
    int pictureHeight_;
    LWControl *canvas_ = nullptr;
};

} // namespace hostkit

#endif
