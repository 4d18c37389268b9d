#include "module/ServerTags.h"

namespace ravelcast {

#define GROUP {"Orvo Ravelcast", SRVTAG_CMDGROUP}
#define END {nullptr, 0}

ServerTagInfo kFilterTags[] = {
    {"Orvo Ravelcast - OpenEXR Layered Export", SRVTAG_USERNAME},
    {"Ravelcast - OpenEXR Layered Export", SRVTAG_BUTTONNAME}, GROUP, END};

ServerTagInfo kOpenFilterTags[] = {
    {"Orvo Ravelcast...", SRVTAG_USERNAME}, {"Ravelcast...", SRVTAG_BUTTONNAME}, GROUP, END};

ServerTagInfo kOpenSettingsTags[] = {{"Orvo OpenEXR Settings...", SRVTAG_USERNAME},
                                     {"OpenEXR Settings...", SRVTAG_BUTTONNAME}, GROUP, END};

ServerTagInfo kImageIOTags[] = {GROUP, END};

ServerTagInfo kDummySaverTags[] = {{"OpenEXR Dummy(.exr)", SRVTAG_USERNAME}, GROUP, END};

ServerTagInfo kMasterTags[] = {{"Orvo OpenEXR Settings", SRVTAG_USERNAME},
                               {"OpenEXR Save Settings", SRVTAG_BUTTONNAME}, GROUP, END};

#undef GROUP
#undef END

} // namespace ravelcast
