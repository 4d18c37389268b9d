// The filter's panel: its controls (the settings tables' rows and the
// panel's own), layout, enable rules and refresh links, the values it reads
// and writes through the tables, its popups and its buttons.
#ifndef RAVELCAST_EXPORT_FILTERPANEL_H
#define RAVELCAST_EXPORT_FILTERPANEL_H

#include <string>

#include "export/FilterControls.h"
#include "exrio/UserMetadata.h"
#include "hostkit/Fields.h"
#include "hostkit/XPanel.h"

namespace ravelcast {

class OpenEXRFilter;

class FilterPanel : public hostkit::XPanelInterface {
public:
    explicit FilterPanel(OpenEXRFilter &filter);
    ~FilterPanel() override;
    FilterPanel(const FilterPanel &) = delete;
    FilterPanel &operator=(const FilterPanel &) = delete;

    // Makes the host's panel when there is none; false when the host made
    // none.
    bool build();

    void *get(unsigned int vid) override;
    int set(unsigned int vid, void *value) override;
    void buttonClick(unsigned int cid) override;
    // The host destroyed the panel: nothing may refresh it any more.
    void destroyNotify() override;
    void quickEnable(int command);
    void metadataCommand(int command);

private:
    void *hand(const hostkit::PanelValue &value, hostkit::PanelType type);
    int setSetting(unsigned int vid, void *value, hostkit::PanelType type);
    // The preview size the scale gives the scene's frame.
    void scalePreview();
    // Takes a key, type or value into the shown metadata row; refuses it,
    // saying why, when the row could not be written with it.
    int setMetadata(unsigned int vid, void *value, hostkit::PanelType type);
    // The shown row; null when there are none.
    const UserMetadataRow *metadataRow() const;

    // Each popup list has a feeder of its own.
    struct BufferList : hostkit::PopUpCallback {
        const OpenEXRFilter *filter = nullptr;
        int popCount() override;
        std::string popName(int index) override;
    };
    struct ChannelList : hostkit::PopUpCallback {
        const OpenEXRFilter *filter = nullptr;
        int popCount() override;
        std::string popName(int index) override;
    };
    // Item 0 is the native file; the host's savers follow.
    struct FormatList : hostkit::PopUpCallback {
        int popCount() override;
        std::string popName(int index) override;
    };
    struct QuickCommands : hostkit::PopCmdCallback<QuickCommands> {
        FilterPanel *panel = nullptr;
        int popCount() override;
        std::string popName(int index) override;
        void popCommand(unsigned int cid, int command) override;
    };

    // "key = value" per row.
    struct MetadataRows : hostkit::PopUpCallback {
        const OpenEXRFilter *filter = nullptr;
        int popCount() override;
        std::string popName(int index) override;
    };
    struct MetadataCommands : hostkit::PopCmdCallback<MetadataCommands> {
        FilterPanel *panel = nullptr;
        int popCount() override;
        std::string popName(int index) override;
        void popCommand(unsigned int cid, int command) override;
    };

    OpenEXRFilter &filter_;
    BufferList bufferList_;
    ChannelList channelList_;
    FormatList formatList_;
    QuickCommands quickCommands_;
    MetadataRows metadataRows_;
    MetadataCommands metadataCommands_;
    int currentMetadataRow_ = 0;
    // What get() hands the panel: valid until the next call.
    int panelInt_ = 0;
    double panelFloat_ = 0.0;
    std::string panelText_;
};

} // namespace ravelcast

#endif
