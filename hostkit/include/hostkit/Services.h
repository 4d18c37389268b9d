// Wrappers of the host services, one per service table (see GlobalBase).
// A wrapper whose service the host lacks reports available() false; its
// convenience operations then do nothing and answer a neutral value.
#ifndef HOSTKIT_SERVICES_H
#define HOSTKIT_SERVICES_H

#include <optional>
#include <string>

#include <lwsdk/blockio.h>
#include <lwsdk/envelope.h>
#include <lwsdk/imageio.h>
#include <lwsdk/panel.h>
#include <lwsdk/preview.h>
#include <lwsdk/scene.h>
#include <lwsdk/services.h>
#include <lwsdk/xpanel.h>

#include "hostkit/Global.h"
#include "hostkit/SceneFacts.h"

namespace hostkit {

#define HOSTKIT_SERVICE_NAME(Table, Name)                                     \
    template <> struct ServiceName<Table> {                                   \
        static constexpr const char *value = Name;                            \
    }

HOSTKIT_SERVICE_NAME(LWMessageFuncs, LWMESSAGEFUNCS_GLOBAL);
HOSTKIT_SERVICE_NAME(LWSceneInfo, LWSCENEINFO_GLOBAL);
HOSTKIT_SERVICE_NAME(LWCameraInfo, LWCAMERAINFO_GLOBAL);
HOSTKIT_SERVICE_NAME(LWItemInfo, LWITEMINFO_GLOBAL);
HOSTKIT_SERVICE_NAME(LWTimeInfo, LWTIMEINFO_GLOBAL);
HOSTKIT_SERVICE_NAME(LWObjectInfo, LWOBJECTINFO_GLOBAL);
HOSTKIT_SERVICE_NAME(LWSurfaceFuncs, LWSURFACEFUNCS_GLOBAL);
HOSTKIT_SERVICE_NAME(LWDirInfo, LWDIRINFOFUNC_GLOBAL);
HOSTKIT_SERVICE_NAME(LWInstUpdate, LWINSTUPDATE_GLOBAL);
HOSTKIT_SERVICE_NAME(LWGlobalPool, LWGLOBALPOOL_GLOBAL);
HOSTKIT_SERVICE_NAME(LWInterfaceInfo, LWINTERFACEINFO_GLOBAL);
HOSTKIT_SERVICE_NAME(LWFileIOFuncs, LWFILEIOFUNCS_GLOBAL);
HOSTKIT_SERVICE_NAME(LWImageUtil, LWIMAGEUTIL_GLOBAL);
HOSTKIT_SERVICE_NAME(LWEnvelopeFuncs, LWENVELOPEFUNCS_GLOBAL);
HOSTKIT_SERVICE_NAME(LWChannelInfo, LWCHANNELINFO_GLOBAL);
HOSTKIT_SERVICE_NAME(LWVParmFuncs, LWVPARMFUNCS_GLOBAL);
HOSTKIT_SERVICE_NAME(LWXPanelFuncs, LWXPANELFUNCS_GLOBAL);
HOSTKIT_SERVICE_NAME(LWPanelFuncs, LWPANELFUNCS_GLOBAL);
HOSTKIT_SERVICE_NAME(LWPreviewFuncs, LWPREVIEWFUNCS_GLOBAL);

#undef HOSTKIT_SERVICE_NAME

// "Info Messages 2": one- and two-line messages and questions.
class LWMessage : public GlobalBase<LWMessageFuncs> {
public:
    void info(const std::string &line1, const std::string &line2 = {}) const;
    void error(const std::string &line1, const std::string &line2 = {}) const;
    void warning(const std::string &line1, const std::string &line2 = {}) const;
    // 1 for yes, 0 for no (also without the service).
    int yesNo(const std::string &title, const std::string &line1,
              const std::string &line2 = {}) const;
    // 2 yes, 1 no, 0 cancel (also without the service).
    int yesNoCancel(const std::string &title, const std::string &line1,
                    const std::string &line2 = {}) const;
};

class SceneInfo : public GlobalBase<LWSceneInfo> {
public:
    const LWSceneInfo *operator->() const { return table(); }
    // The scene's settings now; nothing without the service.
    std::optional<SceneFacts> facts() const;
    // The render camera's optics at the host's current time; nothing
    // without the scene, camera or time service, or without a render
    // camera at that time.
    std::optional<CameraOptics> renderCameraOptics() const;
    // The render camera's placement and lens at the host's current time;
    // nothing without the services, their placement and zoom functions or a
    // render camera.
    std::optional<CameraPlacement> renderCameraPlacement() const;
    // Both at once, each service held once.
    RenderCameraFacts renderCameraFacts() const;
};

class CameraInfo : public GlobalBase<LWCameraInfo> {
public:
    const LWCameraInfo *operator->() const { return table(); }
};

class ItemInfo : public GlobalBase<LWItemInfo> {
public:
    const LWItemInfo *operator->() const { return table(); }
    // Name of an item; "(none)" for the empty item or without the service.
    std::string name(LWItemID item) const;
    // The item holding this one; null at the top or without the service.
    LWItemID parent(LWItemID item) const;
    // An item's world placement at a time; nothing without the service or
    // its placement function.
    std::optional<ItemPlacement> placement(LWItemID item, LWTime time) const;
};

// "LW Object Info" and "Surface Functions": what the Object ID and Surface
// ID buffers' values name.
class ObjectInfo : public GlobalBase<LWObjectInfo> {
public:
    LWItemID byBufferId(int id) const;
    // The object's name; nothing for an id no object has.
    std::optional<std::string> name(int bufferId) const;
};

class SurfaceFuncs : public GlobalBase<LWSurfaceFuncs> {
public:
    // The surface's name; nothing for an id no surface has.
    std::optional<std::string> name(int bufferId) const;
};

class TimeInfo : public GlobalBase<LWTimeInfo> {
public:
    // Current time and frame; 0 without the service.
    LWTime time() const { return available() ? table()->time : 0.0; }
    LWFrame frame() const { return available() ? table()->frame : 0; }
};

class DirInfo : public GlobalBase<LWDirInfo> {
public:
    // A named host directory ("Content", "Settings", "Install"); empty when
    // unknown or without the service.
    std::string dir(const char *name) const;
};

class InstUpdate : public GlobalBase<LWInstUpdate> {
public:
    void update(const char *className, LWInstance instance) const;
};

class GlobalMemory : public GlobalBase<LWGlobalPool> {
public:
    const LWGlobalPool *operator->() const { return table(); }
};

class InterfaceInfo : public GlobalBase<LWInterfaceInfo> {
public:
    const LWInterfaceInfo *operator->() const { return table(); }
};

class FileIO : public GlobalBase<LWFileIOFuncs> {
public:
    const LWFileIOFuncs *operator->() const { return table(); }
};

class ImageUtil : public GlobalBase<LWImageUtil> {
public:
    const LWImageUtil *operator->() const { return table(); }
    int saverCount() const;
    // Empty past the end or without the service.
    std::string saverName(int index) const;
    std::string saverExtension(int index) const;
    // Index of a saver by exact name, -1 when there is none.
    int findSaver(const std::string &name) const;
};

class EnvelopeFuncs : public GlobalBase<LWEnvelopeFuncs> {
public:
    const LWEnvelopeFuncs *operator->() const { return table(); }
};

class ChannelInfo : public GlobalBase<LWChannelInfo> {
public:
    const LWChannelInfo *operator->() const { return table(); }
};

class VParmFuncs : public GlobalBase<LWVParmFuncs> {
public:
    const LWVParmFuncs *operator->() const { return table(); }
};

class XPanelFuncs : public GlobalBase<LWXPanelFuncs> {
public:
    const LWXPanelFuncs *operator->() const { return table(); }
};

// The process-wide message wrapper made at the first activation and kept to
// module exit; a fresh wrapper when no activation has happened yet.
const LWMessage &processMessages();
void makeProcessMessages();
// Gives the process-wide message service back now (tests that replace the
// host; the module gives it back at exit).
void releaseProcessMessages();

// The render camera at the scene's current time: its name ("(none)"
// without one) and whether it is a stereo camera and which eye renders.
struct RenderCamera {
    std::string name = "(none)";
    bool stereo = false;
    bool rightEye = false;
    bool noLimitedRegion = false;
};
RenderCamera renderCamera(double time);

// Whether the scene's render options ask for a limited region.
bool limitedRegionOn();

// The scene's render path (its RGB prefix); empty without one.
std::string renderPath();

// The scene's frame size in pixels; nothing without the scene service.
struct FrameSize {
    int width = 0, height = 0;
};
std::optional<FrameSize> frameSize();

// The scene's objects and surfaces with their names and the ids their
// buffers hold; empty where the host lacks the service (a surface service
// without surfaces gives none).
SceneNames sceneNames();

} // namespace hostkit

#endif
