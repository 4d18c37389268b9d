// "Open_Ravelcast" and "Open_OpenEXRSettings": open a scene server's panel,
// applying the server first when the scene lacks it.

#include <lwsdk/filter.h>
#include <lwsdk/generic.h>
#include <lwsdk/master.h>

#include "hostkit/LayoutGenericHandler.h"
#include "module/ServerRegistry.h"
#include "module/ServerTags.h"

namespace ravelcast {

class OpenRavelcastUI : public hostkit::OpenPanelCommand {
public:
    OpenRavelcastUI() : OpenPanelCommand(LWIMAGEFILTER_HCLASS, kFilterServerName) {}
};

class OpenSettingsUI : public hostkit::OpenPanelCommand {
public:
    OpenSettingsUI() : OpenPanelCommand(LWMASTER_HCLASS, kMasterServerName) {}
};

namespace {
ServerRegistration openFilter(kOpenFilterPanelPosition, LWLAYOUTGENERIC_CLASS,
                              "Open_Ravelcast",
                              hostkit::LayoutGenericAdaptor<OpenRavelcastUI>::activate,
                              kOpenFilterTags);
ServerRegistration openSettings(kOpenSettingsPanelPosition, LWLAYOUTGENERIC_CLASS,
                                "Open_OpenEXRSettings",
                                hostkit::LayoutGenericAdaptor<OpenSettingsUI>::activate,
                                kOpenSettingsTags);
} // namespace

} // namespace ravelcast
