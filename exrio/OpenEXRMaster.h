// "OpenEXRSettings": the master through which the user edits the shared
// OpenEXR saver settings (compression and channel pixel type), keeps them
// with the scene and sees them in the host's master list. The values live
// in the process's saver settings record, not in the master: loading a
// scene with the master's blocks changes what every later saver writes.
#ifndef RAVELCAST_EXRIO_OPENEXRMASTER_H
#define RAVELCAST_EXRIO_OPENEXRMASTER_H

#include <string>

#include "exrio/SaverSettings.h"
#include "hostkit/XPanelMasterHandler.h"

namespace ravelcast {

// Panel value ids.
enum MasterControl : unsigned int {
    kMasterAbout = 36865,       // the about picture
    kMasterPixelType = 36866,   // "Pixel Format"
    kMasterCompression = 36867, // "Compression"
    kMasterAboutButton = 36868, // "About Ravelcast..."
    kMasterColourSpace = 36869, // "Colour Space"
};

class OpenEXRMaster : public hostkit::XPanelMasterHandler {
public:
    OpenEXRMaster(void *priv, void *context, std::string &error);
    ~OpenEXRMaster() override;

    // "Orvo OpenEXR: " + pixel type name + " - " + compression name.
    const std::string &describe() override;
    double event(const LWMasterAccess *access) override;
    unsigned int flags() override;
    // Builds the panel on the first request and hands its id to the host.
    int buildInterface(int version, LWInterface *local, void *serverData) override;
    // The thumbnail: the about picture with the version and build date.
    void draw(unsigned int cid, const hostkit::DrawContext &context) override;
    // "About Ravelcast..." opens the about box.
    void buttonClick(unsigned int cid) override;

    // The record's pixel type (36866) or compression (36867), valid until
    // the next get; null for other ids.
    void *get(unsigned int vid) override;
    // Stores *value (an int) for 36866 or 36867 and answers 1; values
    // outside the lists, other ids and a null value change nothing and
    // answer 0.
    int set(unsigned int vid, void *value) override;

    // Blocks 'VERS', 'BPPX', 'XCMP' (signed 16-bit). Loaded values outside
    // the lists are ignored; no error text is returned.
    hostkit::ErrorText load(hostkit::LoadState &state) override;
    hostkit::ErrorText save(hostkit::SaveState &state) override;
    // Both instances share the one record: nothing to copy.
    void copy(const OpenEXRMaster &other);

    SaverSettingsRecord &settings() { return *settings_; }

private:
    SaverSettingsRecord *settings_;
    int panelValue_ = 0; // what get hands the panel
};

} // namespace ravelcast

#endif
