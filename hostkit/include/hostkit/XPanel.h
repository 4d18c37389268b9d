// An owned host XPanel and the mix-in that receives its callbacks.
#ifndef HOSTKIT_XPANEL_H
#define HOSTKIT_XPANEL_H

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

struct DrawContext {
    void *region;
    void *drawFunctions;
    int width;
    int height;
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

private:
    XPanel panel_;
};

} // namespace hostkit

#endif
