// The server tag tables and each server's place in the host's table.
#ifndef RAVELCAST_MODULE_SERVERTAGS_H
#define RAVELCAST_MODULE_SERVERTAGS_H

#include <lwsdk/module.h>

namespace ravelcast {

enum ServerPosition {
    kFilterHandlerPosition = 1,
    kFilterInterfacePosition = 2,
    kOpenFilterPanelPosition = 3,
    kOpenSettingsPanelPosition = 4,
    kLoaderPosition = 5,
    kSaverPosition = 6,
    kDummySaverPosition = 7,
    kMasterHandlerPosition = 8,
    kMasterInterfacePosition = 9,
};

extern ServerTagInfo kFilterTags[];       // filter handler and interface
extern ServerTagInfo kOpenFilterTags[];   // "Open_Ravelcast"
extern ServerTagInfo kOpenSettingsTags[]; // "Open_OpenEXRSettings"
extern ServerTagInfo kImageIOTags[];      // loader and saver
extern ServerTagInfo kDummySaverTags[];
extern ServerTagInfo kMasterTags[];       // master handler and interface

constexpr const char *kFilterServerName = "Ravelcast";
constexpr const char *kMasterServerName = "OpenEXRSettings";

} // namespace ravelcast

#endif
