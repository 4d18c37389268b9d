// The layered-export image filter: owns the catalogue of render buffers and
// writes the enabled ones for every rendered frame.
#ifndef RAVELCAST_EXPORT_OPENEXRFILTER_H
#define RAVELCAST_EXPORT_OPENEXRFILTER_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "export/FilterSettings.h"
#include "export/FrameWriter.h"
#include "export/LastFrame.h"
#include "export/OpenEXRBuffer.h"
#include "hostkit/ChannelGroup.h"
#include "hostkit/ImageFilterHandler.h"
#include "hostkit/Presets.h"

#include "export/BufferPreview.h"

namespace ravelcast {

class FilterPanel;

class OpenEXRFilter : public hostkit::ImageFilterHandler, public hostkit::PresetHandler {
public:
    // A creation context with its first flag set (the image pre-process
    // context) fails with an error text and builds nothing.
    OpenEXRFilter(void *priv, void *context, std::string &error);
    ~OpenEXRFilter() override;

    const std::string &describe() override;
    void process(const hostkit::FrameAccess &access) override;
    unsigned int flags() override;
    const int *hcFlags() override;
    // The panel: built on the first request and kept, with the preview
    // window beside it.
    int buildInterface(int version, LWInterface *local, void *serverData);

    hostkit::ErrorText load(hostkit::LoadState &state) override;
    hostkit::ErrorText save(hostkit::SaveState &state) override;
    // The preset flag: presets hold every buffer and no output file name,
    // and loading one does not first disable the buffers.
    hostkit::ErrorText loadSettings(hostkit::LoadState &state, bool preset);
    hostkit::ErrorText saveSettings(hostkit::SaveState &state, bool preset);
    void copy(const OpenEXRFilter &other);
    std::optional<std::string> loadPreset(hostkit::LoadState &state) override;
    void savePreset(hostkit::SaveState &state) override;
    hostkit::SimplePreset *presets() const { return presets_.get(); }

    const FilterSettings &settings() const { return settings_; }
    // For the panel, which edits them through their table.
    FilterSettings &settings() { return settings_; }

    const std::vector<hostkit::Ref<OpenEXRBuffer>> &buffers() const { return buffers_; }
    OpenEXRBuffer *buffer(const std::string &displayName) const;
    // Host buffer numbers of every channel of the Active buffers (or of all).
    std::vector<int> neededBuffers(bool all) const;
    // True while the preview window shows the frame: all buffers are asked.
    bool previewInUse() const;

    // The base of the output names: the render path or the output file.
    std::string baseName() const;
    // The embedded preview's size: the custom size, or as the last frame
    // made it from the preview scale.
    int previewWidth() const;
    int previewHeight() const;
    const std::string &rootGroupName() const { return rootGroup_->name(); }
    // The names two outputs of a frame would share, as the frame's plan
    // resolves them, for the frame the host is at; empty when none.
    std::vector<std::string> nameCollisions() const;
    // What the last frame left for the preview window and the inspector.
    const LastFrame &lastFrame() const { return frame_; }

    // The buffer the panel edits and the preview window shows.
    int currentIndex() const { return current_; }
    OpenEXRBuffer *currentBuffer() const;
    // Chooses it: false for no such buffer.
    bool setCurrentIndex(int index);
    // The preview window's display mode, kept with the scene.
    void setViperOptions(int mode);
    // The preview window; null until the panel made it or when the host
    // has none.
    BufferPreview *preview() const { return preview_.get(); }
    // A setting changed on the panel: the host is told, and the preview
    // window shows it (its picture only when the change alters it).
    void settingsChanged(bool picture);

private:
    // The frame as the host gave it, display gamma applied when postGamma.
    void handBack(const hostkit::FrameAccess &access, bool postGamma) const;

    FilterSettings settings_;
    std::unique_ptr<hostkit::ChannelGroup> rootGroup_;
    std::vector<hostkit::Ref<OpenEXRBuffer>> buffers_;
    std::vector<int> hcList_;
    std::unique_ptr<hostkit::SimplePreset> presets_;
    std::unique_ptr<FilterPanel> panel_;
    std::unique_ptr<BufferPreview> preview_;
    int current_ = 0;
    LastFrame frame_;
    // Kept from frame to frame: fresh memory would pay its page faults
    // again at every frame.
    BandStorage bands_;
};

} // namespace ravelcast

#endif
