// The layered-export image filter: owns the catalogue of render buffers and
// writes the enabled ones for every rendered frame.
#ifndef RAVELCAST_EXPORT_OPENEXRFILTER_H
#define RAVELCAST_EXPORT_OPENEXRFILTER_H

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "export/FileNaming.h"
#include "export/FramePlan.h"
#include "export/OpenEXRBuffer.h"
#include "hostkit/ChannelGroup.h"
#include "hostkit/Fields.h"
#include "hostkit/FileName.h"
#include "hostkit/Presets.h"
#include "hostkit/XPanelImageFilterHandler.h"

#include "export/BufferPreview.h"

namespace ravelcast {


// The "Scale" popup of the embedded preview.
constexpr int kCustomPreviewSize = 5;
float previewScaleFactor(int previewScale);

// LayoutRenderMode.
enum LayoutRenderMode { kViperAndSave = 0, kViperOnly = 1, kSaveOnly = 2 };

constexpr double kDefaultDwaLevel = 45.0;
constexpr double kMinDisplayGamma = 0.125;
constexpr double kMaxDisplayGamma = 64.0;
constexpr double kMaxDwaLevel = 1000.0;

class OpenEXRFilter : public hostkit::XPanelImageFilterHandler, public hostkit::PresetHandler {
public:
    // A creation context with its first flag set (the image pre-process
    // context) fails with an error text and builds nothing.
    OpenEXRFilter(void *priv, void *context, std::string &error);
    ~OpenEXRFilter() override;

    const std::string &describe() override;
    void process(const hostkit::FrameAccess &access) override;
    unsigned int flags() override;
    const int *hcFlags() override;
    // The panel: built on the first request and kept; values through
    // get and set, the buttons through buttonClick.
    int buildInterface(int version, LWInterface *local, void *serverData) override;
    void *get(unsigned int vid) override;
    int set(unsigned int vid, void *value) override;
    void buttonClick(unsigned int cid) override;
    // The host destroyed the panel: nothing may refresh it any more.
    void destroyNotify() override;
    void quickEnable(int command);

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

    // The filter-level settings, each named once.
    static const hostkit::FieldTable<OpenEXRFilter> &fields();

    const std::vector<hostkit::Ref<OpenEXRBuffer>> &buffers() const { return buffers_; }
    OpenEXRBuffer *buffer(const std::string &displayName) const;
    // Host buffer numbers of every channel of the Active buffers (or of all).
    std::vector<int> neededBuffers(bool all) const;
    // True while the preview window shows the frame: all buffers are asked.
    bool previewInUse() const;

    // The base of the output names: the render path or the output file.
    std::string baseName() const;
    int nameFormat() const { return nameFormat_; }
    int singleNameFormat() const { return singleNameFormat_; }
    const std::string &customFileName() const { return customFileName_; }
    int compression() const { return compression_; }
    double dwaLevel() const { return dwaLevel_; }
    bool multiPart() const { return multiPart_; }
    int layoutRenderMode() const { return layoutRenderMode_; }
    bool embedPreview() const { return embedPreview_; }
    int previewScale() const { return previewScale_; }
    // The embedded preview's size: the custom size, or as the last frame
    // made it from the preview scale.
    int previewWidth() const
    {
        return previewScale_ == kCustomPreviewSize ? previewWidth_ : frame_.previewWidth;
    }
    int previewHeight() const
    {
        return previewScale_ == kCustomPreviewSize ? previewHeight_ : frame_.previewHeight;
    }
    int customPreviewWidth() const { return previewWidth_; }
    int customPreviewHeight() const { return previewHeight_; }
    bool postApplyDisplayGamma() const { return postApplyDisplayGamma_; }
    double displayGamma() const { return displayGamma_; }
    const std::string &comment() const { return comment_; }
    const std::string &author() const { return author_; }
    bool useRGBPrefix() const { return useRGBPrefix_; }
    const hostkit::FileName &outputFile() const { return outputFile_; }
    int viperOptions() const { return viperOptions_; }
    const std::string &rootGroupName() const { return rootGroup_->name(); }
    int previewImageWidth() const { return frame_.previewImageWidth; }
    int previewImageHeight() const { return frame_.previewImageHeight; }
    // The names two outputs of a frame would share, as the frame's plan
    // resolves them, for the frame the host is at; empty when none.
    std::vector<std::string> nameCollisions() const;
    // What the last frame left for the preview window and the inspector.
    const FrameData &lastFrame() const { return frame_; }

    // The buffer the panel edits and the preview window shows.
    int currentIndex() const { return current_; }
    OpenEXRBuffer *currentBuffer() const;
    // The preview window's display mode, kept with the scene.
    void setViperOptions(int mode);
    // The preview window; null until the panel made it or when the host
    // has none.
    BufferPreview *preview() const { return preview_.get(); }
    // Held by the render while it replaces the buffers' preview samples and
    // extremes, and by the window and the inspector while they read them:
    // the host calls those on its interface thread.
    std::mutex &previewMutex() const { return previewMutex_; }

private:
    friend class FrameWriter;
    void handBack(const hostkit::FrameAccess &access) const;

    std::unique_ptr<hostkit::ChannelGroup> rootGroup_;
    std::vector<hostkit::Ref<OpenEXRBuffer>> buffers_;
    std::vector<int> hcList_;
    std::unique_ptr<hostkit::SimplePreset> presets_;

    // The panel's popups: each list has a feeder of its own.
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
        OpenEXRFilter *filter = nullptr;
        int popCount() override;
        std::string popName(int index) override;
        void popCommand(unsigned int cid, int command) override;
    };
    BufferList bufferList_;
    ChannelList channelList_;
    FormatList formatList_;
    QuickCommands quickCommands_;
    std::unique_ptr<BufferPreview> preview_;
    mutable std::mutex previewMutex_;
    int current_ = 0;
    // What get() hands the panel: valid until the next call.
    int panelInt_ = 0;
    double panelFloat_ = 0.0;
    std::string panelText_;

    hostkit::FileName outputFile_{"Content"};
    bool useRGBPrefix_ = true;
    int nameFormat_ = 1;
    int singleNameFormat_ = 0;
    std::string customFileName_;
    int compression_ = 3;
    // The quality of DWAA and DWAB compression; OpenEXR's default.
    double dwaLevel_ = kDefaultDwaLevel;
    // The layered file as one part per layer rather than one part.
    bool multiPart_ = false;
    int layoutRenderMode_ = kViperAndSave;
    int viperOptions_ = 1;
    bool embedPreview_ = false;
    int previewScale_ = 3;
    int previewWidth_ = 0;
    int previewHeight_ = 0;
    bool postApplyDisplayGamma_ = false;
    double displayGamma_ = 1.0;
    std::string comment_;
    std::string author_;

    // Of the frame being written.
    FrameData frame_;

    // The frame writer's band storage, kept from frame to frame: fresh
    // memory would pay its page faults again at every frame. A copy of the
    // filter starts without it.
    class BandStorage {
    public:
        BandStorage() = default;
        BandStorage(const BandStorage &) {}
        BandStorage &operator=(const BandStorage &) { return *this; }
        unsigned char *get(std::size_t bytes)
        {
            if (bytes > data_.size())
                std::vector<unsigned char>(bytes).swap(data_);
            return data_.data();
        }

    private:
        std::vector<unsigned char> data_;
    };
    BandStorage bands_;
};

} // namespace ravelcast

#endif
