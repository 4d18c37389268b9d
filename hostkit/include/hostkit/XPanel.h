// An owned host XPanel, the mix-in that receives its callbacks, the popup
// feeders and a builder for hint lists.
#ifndef HOSTKIT_XPANEL_H
#define HOSTKIT_XPANEL_H

#include <deque>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include <lwsdk/handler.h>
#include <lwsdk/xpanel.h>

#include "hostkit/Services.h"

namespace hostkit {

// Holds one host panel id; destroys the host panel when it owns it.
class XPanel : public GlobalBase<LWXPanelFuncs> {
public:
    XPanel() = default;
    XPanel(LWXPanelID id, bool owns) : id_(id), owns_(owns) {}
    ~XPanel() override { reset(); }
    XPanel(const XPanel &) = delete;
    XPanel &operator=(const XPanel &) = delete;

    LWXPanelID id() const { return id_; }
    bool owns() const { return owns_; }
    void assign(LWXPanelID id, bool owns)
    {
        reset();
        id_ = id;
        owns_ = owns;
    }
    // The host destroyed the panel itself: forget it without destroying.
    void forget()
    {
        id_ = nullptr;
        owns_ = false;
    }
    void reset();

private:
    LWXPanelID id_ = nullptr;
    bool owns_ = false;
};

// What a "dThumbnail" control's draw operation gets: the host's region and
// its drawing functions.
struct DrawContext {
    void *region;
    const LWXPDrawFuncs *drawFunctions;
    int width;
    int height;

    void box(int r, int g, int b, int x, int y, int w, int h) const;
    void pixel(int r, int g, int b, int x, int y) const;
    void text(const std::string &s, int r, int g, int b, int x, int y) const;
    int textWidth(const std::string &s) const;
    int textHeight() const;
};

// Feeds a popup list; set as the popup control's user data.
class PopUpCallback {
public:
    virtual int popCount() = 0;
    virtual std::string popName(int index) = 0;
    virtual ~PopUpCallback() = default;

    // The text stays valid until the list is counted again: a host may ask
    // for every name before it draws any.
    const char *nameForHost(int index);
    int countForHost();

private:
    std::map<int, std::string> hostNames_;
};

// A popup whose items are commands ("vPopCmd"). T is the implementing class.
class PopCommandTarget : public PopUpCallback {
public:
    virtual void popCommand(unsigned int cid, int command) = 0;
};
template <class T> class PopCmdCallback : public PopCommandTarget {};

// Builds a hint list as data; the lists and texts it points at live as long
// as the builder (the host copies them when the hints are applied).
class HintList {
public:
    using Ids = std::initializer_list<unsigned int>;

    HintList() = default;
    // Its words point into its own lists: a copy would point into another's.
    HintList(const HintList &) = delete;
    HintList &operator=(const HintList &) = delete;
    HintList(HintList &&) = default;

    HintList &title(const char *text) { return label(0, text); }
    HintList &label(unsigned int id, const char *text);
    HintList &items(unsigned int cid, const char *const *nullTerminated);
    HintList &group(unsigned int gid, Ids members);
    HintList &group(unsigned int gid, const char *text, Ids members);
    HintList &tabs(unsigned int rowId, Ids pages);
    HintList &order(Ids ids);
    // The ids are enabled while the controller's value is (not) equal to value.
    HintList &enableWhenEqual(unsigned int controller, int value, Ids ids,
                              const char *message = nullptr);
    HintList &enableUnlessEqual(unsigned int controller, int value, Ids ids,
                                const char *message = nullptr);
    HintList &enableFrom(unsigned int controller, int value, Ids ids,
                         const char *message = nullptr);
    // The ids are enabled while map[controller's value] is not 0.
    HintList &enableWhereMapped(unsigned int controller, const std::vector<int> &map, Ids ids,
                                const char *message = nullptr);
    HintList &refresh(unsigned int controller, Ids ids);
    // The requester a file name control opens.
    HintList &fileRequester(unsigned int cid, int type, const char *title, const char *fileType);
    // The toolkit's own thunks for one control (XPanelInterface wires them).
    HintList &popup(unsigned int cid);
    HintList &popupCommand(unsigned int cid);
    HintList &button(unsigned int cid);
    HintList &drawing(unsigned int cid);
    HintList &raw(std::initializer_list<LWXPanelHint> words);

    // The terminated list.
    const LWXPanelHint *data();

private:
    const unsigned int *keep(Ids ids);
    HintList &enable(unsigned int controller, int comparison, int value, Ids ids,
                     const char *message);

    std::vector<LWXPanelHint> words_;
    std::deque<std::vector<unsigned int>> lists_;
    std::deque<std::vector<int>> maps_;
    bool ended_ = false;
};

class XPanelInterface {
public:
    virtual void *get(unsigned int vid);
    virtual int set(unsigned int vid, void *value);
    virtual void buttonClick(unsigned int cid);
    virtual void changeNotify(LWXPanelID panel, unsigned int cid, unsigned int vid,
                              int event);
    virtual void destroyNotify();
    virtual void draw(unsigned int cid, const DrawContext &context);
    virtual void otherNotify();
    // Creates a view panel with this object as its view instance; see
    // panel() for the result (empty when the host could not create it).
    virtual void createViewPanel(const LWXPanelControl *controls,
                                 const LWXPanelDataDesc *data,
                                 const LWXPanelHint *hints, bool destroyNotify);
    virtual ~XPanelInterface() = default;
    // Called when the host asks for the plug-in's interface; answers an
    // activation result. Default: builds nothing.
    virtual int buildInterface(int version, LWInterface *local, void *serverData);

    XPanel &panel() { return panel_; }

    // Per-control wiring of the panel built by createViewPanel: each
    // control gets the one thunk its kind needs. No-ops without a panel.
    void wireButton(unsigned int cid);
    void wireDrawing(unsigned int cid);
    void wirePopup(unsigned int cid, PopUpCallback *items);
    void wirePopupCommand(unsigned int cid, PopCommandTarget *commands);
    // Asks the host to read every value again.
    void refreshPanel();

private:
    XPanel panel_;
};

// A modal form: values live in the panel; read them after post() while the
// form exists.
class XPanelForm {
public:
    XPanelForm(const LWXPanelControl *controls, const LWXPanelDataDesc *data,
               const LWXPanelHint *hints);
    bool valid() const { return panel_.id() != nullptr; }
    void setPopup(unsigned int cid, PopUpCallback *items);
    void setInt(unsigned int vid, int value);
    void setString(unsigned int vid, const std::string &value);
    int getInt(unsigned int vid, int fallback = 0) const;
    std::string getString(unsigned int vid) const;
    // Shows the form; true for OK.
    bool post();

private:
    XPanel panel_;
};

} // namespace hostkit

#endif
