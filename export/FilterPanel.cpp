// The filter's panel: its controls, layout, enable rules and refresh links,
// the values it reads and writes, its popups and its buttons.
#include "export/FilterPanel.h"

#include <algorithm>
#include <cstring>

#include <lwsdk/filereq.h>

#include "export/BufferReview.h"
#include "export/OpenEXRFilter.h"
#include "exrio/RenderMetadata.h"
#include "hostkit/HostInfo.h"
#include "panels/AboutBox.h"

namespace ravelcast {

namespace {

const LWXPanelControl kControls[] = {
    {kRenderModeControl, "Render Mode (Layout only)", "iPopChoice"},
    {kToggleViperControl, "Toggle VIPER", "vButton"},
    {kPostGammaControl, "Post-apply Display Gamma", "iBoolean"},
    {kPresetsControl, "Presets", "vPopCmd"},
    {kQuickEnableControl, "Quick Buffer Enable", "vPopCmd"},
    {kOutputFileControl, "Output File", "sFileName"},
    {kFormatControl, "Format", "iPopChoice"},
    {kSingleNamingControl, "Single Image File Naming", "iPopChoice"},
    {kCustomNameControl, "Custom Single Image Name", "string"},
    {kUseRenderPathControl, "Use Render Path", "iBoolean"},
    {kDescriptionControl, "Description", "sInfo"},
    {kBufferControl, "Buffer", "iPopChoice"},
    {kCompressionControl, "Compression", "iPopChoice"},
    {kEnabledControl, "Enabled", "iBoolean"},
    {kPixelTypeControl, "OpenEXR Pixel Type", "iPopChoice"},
    {kLayerNameControl, "Layer Name", "string"},
    {kSaveAsControl, "Save as", "iPopChoice"},
    {kFileFormatControl, "File Format", "iPopChoice"},
    {kLumaAsRGBControl, "Save Luminance as RGB", "iBoolean"},
    {kInvertControl, "Invert", "iBoolean"},
    {kMinimumControl, "Minimum", "float-env"},
    {kMaximumControl, "Maximum", "float-env"},
    {kOffsetControl, "Offset", "float-env"},
    {kScaleControl, "Scale", "float-env"},
    {kGammaControl, "Gamma Correction", "float-env"},
    {kUnmultiplyControl, "Un-multiply by Alpha", "iBoolean"},
    {kDisplayGammaControl, "VIPER Display Gamma", "float"},
    {kFitDataWindowControl, "Fit Data Window", "iBoolean"},
    {kCommentControl, "Comment", "string"},
    {kAuthorControl, "Author", "string"},
    {kEmbedPreviewControl, "Embed Preview", "iBoolean"},
    {kPreviewScaleControl, "Scale", "iPopChoice"},
    {kPreviewWidthControl, "Width", "integer"},
    {kPreviewHeightControl, "Height", "integer"},
    {kChannelControl, "Channel", "iPopChoice"},
    {kChannelNameControl, "Channel Name", "string"},
    {kFlipChannelControl, "Flip Channel", "iBoolean"},
    {kReviewControl, "Review Settings...", "vButton"},
    {kAboutControl, "About Ravelcast...", "vButton"},
    {kDwaLevelControl, "DWA Compression Level", "float"},
    {kMultiPartControl, "One Part per Layer", "iBoolean"},
    {0, nullptr, nullptr}};

// What a control's value is, from its kind.
enum class Value { None, Integer, Float, Text };

Value valueOf(const char *kind)
{
    if (!std::strcmp(kind, "vButton"))
        return Value::None;
    if (!std::strcmp(kind, "float-env") || !std::strcmp(kind, "float"))
        return Value::Float;
    if (!std::strcmp(kind, "string") || !std::strcmp(kind, "sFileName") ||
        !std::strcmp(kind, "sInfo"))
        return Value::Text;
    return Value::Integer;
}

Value valueOfControl(unsigned int vid);

// The value type of every control that has one.
std::vector<LWXPanelDataDesc> dataOf(const LWXPanelControl *controls)
{
    std::vector<LWXPanelDataDesc> data;
    for (const LWXPanelControl *c = controls; c->cid; ++c) {
        const Value v = valueOf(c->ctrlclass);
        if (v != Value::None)
            data.push_back({c->cid, "",
                            v == Value::Float ? c->ctrlclass
                            : v == Value::Text ? "string"
                                               : "integer"});
    }
    data.push_back({0, nullptr, nullptr});
    return data;
}

const char *const kRenderModes[] = {"VIPER and Save Buffers", "VIPER only (save in ScreamerNet)",
                                    "Save Buffers Only", nullptr};
const char *const kNameFormats[] = {
    "Name001",        "Name001.exr",    "Name0001",        "Name0001.exr",
    "Name00001",      "Name00001.exr",  "Name000001",      "Name000001.exr",
    "Name_001",       "Name_001.exr",   "Name_0001",       "Name_0001.exr",
    "Name_00001",     "Name_00001.exr", "Name_000001",     "Name_000001.exr", nullptr};
const char *const kSingleNamings[] = {"Output_Layer_###.exr", "Layer\\Output_###.exr",
                                      "Layer\\Output_Layer_###.exr", "Layer_Output_###.exr",
                                      "Custom_###.exr", nullptr};
const char *const kCompressions[] = {"Uncompressed",  "RLE (lossless)", "ZIPS (lossless)",
                                     "ZIP (lossless)", "PIZ (lossless)", "PXR24 (lossy)",
                                     "B44 (lossy)",   "B44A (lossy)",   "DWAA (lossy)",
                                     "DWAB (lossy)",  nullptr};
const char *const kPixelTypes[] = {"32bit Integer", "16bit Float", "32bit Float", nullptr};
const char *const kSaveAs[] = {"Layer", "Image", "Layer and Image", "Image+Alpha",
                               "Layer and Image+Alpha", nullptr};
const char *const kPreviewScales[] = {"100%", "50%", "33%", "25%", "10%", "Custom Size", nullptr};
const char *const kQuickCommands[] = {"Enable All",      "Disable All",      "Toggle",
                                      "Enable RGB only", "Enable RGBA only", "Enable RGBAZ only"};

// Every control that shows a value of the current buffer.
#define BUFFER_CONTROLS                                                                      \
    kEnabledControl, kLayerNameControl, kPixelTypeControl, kSaveAsControl, kFileFormatControl, \
        kLumaAsRGBControl, kInvertControl, kMinimumControl, kMaximumControl, kOffsetControl,   \
        kScaleControl, kGammaControl, kUnmultiplyControl, kFitDataWindowControl,               \
        kChannelControl, kChannelNameControl, kFlipChannelControl

// Per buffer position: 1 where the buffer offers the setting.
template <class Offers> std::vector<int> bufferMap(const OpenEXRFilter &filter, Offers offers)
{
    std::vector<int> map;
    for (const auto &b : filter.buffers())
        map.push_back(offers(*b) ? 1 : 0);
    return map;
}

hostkit::HintList hints(const std::string &title, const OpenEXRFilter &filter)
{
    static std::string kept;
    kept = title;
    hostkit::HintList h;
    h.title(kept.c_str())
        .items(kRenderModeControl, kRenderModes)
        .items(kFormatControl, kNameFormats)
        .items(kSingleNamingControl, kSingleNamings)
        .items(kCompressionControl, kCompressions)
        .items(kPixelTypeControl, kPixelTypes)
        .items(kSaveAsControl, kSaveAs)
        .items(kPreviewScaleControl, kPreviewScales)
        .group(36912, {kDisplayGammaControl, kPostGammaControl})
        .group(36911, {kChannelNameControl, kFlipChannelControl})
        .group(36909, {kEmbedPreviewControl, kPreviewScaleControl, kPreviewWidthControl,
                       kPreviewHeightControl, kCommentControl, kAuthorControl})
        .group(36914, "Saving",
               {kSaveAsControl, kFileFormatControl, kLumaAsRGBControl, kPixelTypeControl,
                kFitDataWindowControl})
        .group(36915, "Processing",
               {kInvertControl, kMinimumControl, kMaximumControl, kOffsetControl, kScaleControl,
                kGammaControl, kUnmultiplyControl})
        .group(36916, "Channels", {kChannelControl, 36911})
        .tabs(36913, {36914, 36915, 36916})
        .group(36910, {kLayerNameControl, 36913})
        .group(36908, {kEnabledControl, kBufferControl, kDescriptionControl, kQuickEnableControl,
                       36910})
        .group(36907, {kPresetsControl, kRenderModeControl, kToggleViperControl, 36912})
        .group(36917, "Output",
               {kOutputFileControl, kUseRenderPathControl, kFormatControl, kSingleNamingControl,
                kCustomNameControl, kCompressionControl, kDwaLevelControl, kMultiPartControl})
        .label(36909, "Metadata")
        .tabs(36906, {36917, 36909})
        .group(36899, {kAboutControl, kReviewControl})
        .order({36907, 36906, 36908, 36899})
        .enableUnlessEqual(kEmbedPreviewControl, 0,
                           {kPreviewScaleControl, kPreviewWidthControl, kPreviewHeightControl})
        .enableUnlessEqual(kSaveAsControl, 0, {kFileFormatControl, kLumaAsRGBControl},
                           "Only available if you save the buffer as an image")
        .enableWhenEqual(kSingleNamingControl, 4, {kCustomNameControl},
                         "Only available if you use a custom file name")
        .enableWhenEqual(kUseRenderPathControl, 0, {kOutputFileControl})
        .enableFrom(kCompressionControl, 8, {kDwaLevelControl},
                    "Only used by DWAA and DWAB compression")
        .enableUnlessEqual(kEnabledControl, 0,
                           {kLayerNameControl, kInvertControl, kPixelTypeControl, kSaveAsControl,
                            kFileFormatControl, kMinimumControl, kMaximumControl, kOffsetControl,
                            kScaleControl, kGammaControl, kChannelControl, kChannelNameControl,
                            kFlipChannelControl, kUnmultiplyControl, kFitDataWindowControl},
                           "The Buffer is not enabled")
        .enableUnlessEqual(kRenderModeControl, kSaveOnly, {kToggleViperControl},
                           "Nothing is shown with \"Save Buffers Only\"")
        // What a buffer cannot use is greyed as it is chosen.
        .enableWhereMapped(kBufferControl,
                           bufferMap(filter, [](const OpenEXRBuffer &b) { return b.offersGamma(); }),
                           {kGammaControl, kUnmultiplyControl},
                           "Depth has no gamma and no un-multiplication")
        .enableWhereMapped(
            kBufferControl,
            bufferMap(filter, [](const OpenEXRBuffer &b) { return b.offersUnmultiply(); }),
            {kUnmultiplyControl}, "Only for colour buffers (three channels)")
        .fileRequester(kOutputFileControl, FREQ_SAVE, "Output filename", "Images")
        .refresh(kOutputFileControl, {kUseRenderPathControl})
        .refresh(kChannelControl, {kChannelNameControl, kFlipChannelControl})
        .refresh(kSaveAsControl, {kBufferControl})
        .refresh(kFileFormatControl, {kBufferControl})
        .refresh(kBufferControl, {kDescriptionControl, BUFFER_CONTROLS})
        .refresh(kEnabledControl, {kDescriptionControl, kBufferControl, BUFFER_CONTROLS})
        .refresh(kQuickEnableControl, {kEnabledControl, kBufferControl});
    return h;
}

const LWXPanelControl *controlOf(unsigned int vid)
{
    for (const LWXPanelControl *c = kControls; c->cid; ++c)
        if (c->cid == vid)
            return c;
    return nullptr;
}

Value valueOfControl(unsigned int vid)
{
    const LWXPanelControl *c = controlOf(vid);
    return c ? valueOf(c->ctrlclass) : Value::None;
}

// A typed number the field's range refuses is told, not dropped in silence.
template <class Owner>
void tellRefused(const hostkit::Field<Owner> &field, const Owner &owner, unsigned int vid,
                 const hostkit::PanelValue &typed)
{
    const LWXPanelControl *c = controlOf(vid);
    if (!c || field.stored == hostkit::Stored::Other ||
        (std::strcmp(c->ctrlclass, "float") && std::strcmp(c->ctrlclass, "integer")))
        return;
    const bool whole = !std::strcmp(c->ctrlclass, "integer");
    const auto text = [whole](double v) {
        return whole ? std::to_string(static_cast<long long>(v)) : shortestText(v);
    };
    const hostkit::PanelValue now = field.panelGet(owner);
    hostkit::LWMessage().error(std::string(c->label) + " takes values from " + text(field.lo) +
                                   " to " + text(field.hi) + ".",
                               "The value " + text(whole ? typed.i : typed.f) +
                                   " was not taken; it stays " + text(whole ? now.i : now.f) +
                                   ".");
}

// The controls whose change alters what the preview window shows.
bool changesPreview(unsigned int vid)
{
    switch (vid) {
    case kInvertControl:
    case kMinimumControl:
    case kMaximumControl:
    case kOffsetControl:
    case kScaleControl:
    case kGammaControl:
    case kUnmultiplyControl:
    case kFlipChannelControl: return true;
    default: return false;
    }
}

} // namespace

int depthPosition(int major, int minor)
{
    int d = 15;
    if (major > 9 || (major == 9 && minor > 5))
        d += 2;
    if (major > 8 || (major == 8 && minor > 2))
        d += 2;
    return d;
}

OpenEXRBuffer *OpenEXRFilter::currentBuffer() const
{
    if (current_ < 0 || current_ >= static_cast<int>(buffers_.size()))
        return nullptr;
    return buffers_[static_cast<std::size_t>(current_)].get();
}

int OpenEXRFilter::buildInterface(int, LWInterface *local, void *)
{
    if (!panel().id()) {
        static const std::vector<LWXPanelDataDesc> data = dataOf(kControls);
        hostkit::HintList h = hints("OpenEXR Layered SaverBuild: 98", *this);
        createViewPanel(kControls, data.data(), h.data(), true);
        if (panel().id()) {
            bufferList_.filter = this;
            channelList_.filter = this;
            quickCommands_.filter = this;
            wirePopup(kBufferControl, &bufferList_);
            wirePopup(kChannelControl, &channelList_);
            wirePopup(kFileFormatControl, &formatList_);
            wirePopupCommand(kQuickEnableControl, &quickCommands_);
if (presets_) {
    presets_->setPanel(panel().id());
    presets_->controlId = kPresetsControl;
    wirePopupCommand(kPresetsControl, presets_.get());
}
        }
        // The preview window comes with the panel; without one the panel
        // goes on alone.
        if (!preview_ && hostkit::inLayout()) {
            preview_ = std::make_unique<BufferPreview>(*this);
            if (!preview_->exists())
                preview_.reset();
            else
                preview_->inspector().setBuffer(currentBuffer());
        }
    }
    if (local)
        local->panel = panel().id();
    return AFUNC_OK;
}

void *OpenEXRFilter::get(unsigned int vid)
{
    auto hand = [&](const hostkit::PanelValue &v, Value type) -> void * {
        if (type == Value::Text) {
            panelText_ = v.s;
            return panelText_.data();
        }
        if (type == Value::Float) {
            panelFloat_ = v.f;
            return &panelFloat_;
        }
        panelInt_ = v.i;
        return &panelInt_;
    };
    OpenEXRBuffer *b = currentBuffer();
    switch (vid) {
    case kOutputFileControl: return hand({0, 0, outputFile_.fullPath()}, Value::Text);
    case kBufferControl: return hand({current_, 0, {}}, Value::Integer);
    case kChannelControl: return b ? hand({b->currentChannel(), 0, {}}, Value::Integer) : nullptr;
    case kChannelNameControl:
    case kFlipChannelControl: {
        if (!b || b->currentChannel() >= b->channelCount())
            return nullptr;
        const BufferChannel &c = b->channel(b->currentChannel());
        return vid == kChannelNameControl ? hand({0, 0, c.channelName()}, Value::Text)
                                          : hand({c.flip() ? 1 : 0, 0, {}}, Value::Integer);
    }
    case kPresetsControl:
    case kQuickEnableControl: return hand({0, 0, {}}, Value::Integer);
    default: break;
    }
    const Value type = valueOfControl(vid);
    if (const auto *f = fields().byControl(vid))
        return hand(f->panelGet(*this), type);
    // Depth has no value for what it does not use.
    if (b && !b->offersGamma() && (vid == kGammaControl || vid == kUnmultiplyControl))
        return nullptr;
    if (const auto *f = OpenEXRBuffer::fields().byControl(vid))
        return b ? hand(f->panelGet(*b), type) : nullptr;
    return nullptr;
}

int OpenEXRFilter::set(unsigned int vid, void *value)
{
    if (!value)
        return 0;
    // Only integer controls hand an int; texts may be shorter than one.
    const Value type = valueOfControl(vid);
    const int i = type == Value::Integer ? *static_cast<const int *>(value) : 0;
    OpenEXRBuffer *b = currentBuffer();
    int result = 1;
    switch (vid) {
    case kOutputFileControl: outputFile_.set(static_cast<const char *>(value)); break;
    case kBufferControl:
        if (i < 0 || i >= static_cast<int>(buffers_.size()))
            return 0;
        current_ = i;
        if (preview_) {
            preview_->inspector().setBuffer(currentBuffer());
            preview_->showIfOpen();
        }
        break;
    case kChannelControl:
        if (!b || i < 0 || i >= b->channelCount())
            return 0;
        b->setCurrentChannel(i);
        break;
    case kChannelNameControl:
    case kFlipChannelControl:
        if (!b || b->currentChannel() >= b->channelCount())
            return 0;
        if (vid == kChannelNameControl)
            b->channel(b->currentChannel()).setChannelName(static_cast<const char *>(value));
        else
            b->channel(b->currentChannel()).setFlip(i != 0);
        break;
    case kDescriptionControl:
    case kPresetsControl:
    case kQuickEnableControl: return 0;
    default: {
        hostkit::PanelValue v;
        const auto *ff = fields().byControl(vid);
        const auto *bf = ff ? nullptr : OpenEXRBuffer::fields().byControl(vid);
        if (!ff && (!bf || !b))
            return 0;
        if (type == Value::Float)
            v.f = *static_cast<const double *>(value);
        else if (type == Value::Text)
            v.s = static_cast<const char *>(value);
        else
            v.i = i;
        // What a buffer cannot use is not kept (and would not be saved).
        if (bf && ((vid == kGammaControl && !b->offersGamma()) ||
                   (vid == kUnmultiplyControl && !b->offersUnmultiply())))
            return 0;
        if (ff ? !ff->panelSet(*ff, *this, v) : !bf->panelSet(*bf, *b, v)) {
            if (ff)
                tellRefused(*ff, *this, vid, v);
            else
                tellRefused(*bf, *b, vid, v);
            return 0;
        }
        if (vid == kPreviewScaleControl && previewScale_ != kCustomPreviewSize) {
            hostkit::SceneInfo scene;
            const float factor = previewScaleFactor(previewScale_);
            if (scene.available()) {
                previewWidth_ = static_cast<int>(static_cast<float>(scene->frameWidth) * factor);
                previewHeight_ = static_cast<int>(static_cast<float>(scene->frameHeight) * factor);
            }
            result = LWXPRC_DFLT;
        }
        if (vid == kDisplayGammaControl && preview_) {
            preview_->inspector().setDisplayGamma(displayGamma_);
            preview_->showIfOpen();
        }
        break;
    }
    }
    if (preview_) {
        // The kept frame as the settings process it now, at once.
        if (changesPreview(vid))
            preview_->showIfOpen();
        preview_->inspector().refreshIfCreated();
    }
    notifyUpdate();
    return result;
}

void OpenEXRFilter::buttonClick(unsigned int cid)
{
    switch (cid) {
    case kToggleViperControl:
        if (!preview_)
            break;
        // Until a frame is rendered with the window in use it has nothing to show.
        if (!preview_->isOpen() && !frame_.previewed)
            hostkit::LWMessage().info("Ravelcast Buffers: nothing has been rendered yet.",
                                      "The window shows the buffers of the next frame you render.");
        preview_->toggle();
        break;
    case kReviewControl: showReview(*this); break;
    case kAboutControl: showAboutPanel(); break;
    default: break;
    }
}

void OpenEXRFilter::setViperOptions(int mode)
{
    viperOptions_ = mode & 3;
    notifyUpdate();
}

void OpenEXRFilter::destroyNotify()
{
    if (presets_)
        presets_->setPanel(nullptr);
    XPanelImageFilterHandler::destroyNotify();
}

void OpenEXRFilter::quickEnable(int command)
{
    auto all = [&](bool on) {
        for (auto &b : buffers_)
            b->setActive(on);
    };
    auto only = [&](int n) {
        all(false);
        for (int i = 0; i < n && i < static_cast<int>(buffers_.size()); ++i)
            buffers_[static_cast<std::size_t>(i)]->setActive(true);
    };
    switch (command) {
    case kEnableAll: all(true); break;
    case kDisableAll: all(false); break;
    case kToggle:
        for (auto &b : buffers_)
            b->setActive(!b->active());
        break;
    case kEnableRGB: only(1); break;
    case kEnableRGBA: only(2); break;
    case kEnableRGBAZ: {
        only(2);
        const hostkit::HostVersion v = hostkit::versionOf(hostkit::productInfo());
        const int d = depthPosition(static_cast<int>(v.major), static_cast<int>(v.minor));
        if (d < static_cast<int>(buffers_.size()))
            buffers_[static_cast<std::size_t>(d)]->setActive(true);
        break;
    }
    default: return;
    }
    if (preview_)
        preview_->inspector().refreshIfCreated();
    notifyUpdate();
}

// ---- the popups

int OpenEXRFilter::BufferList::popCount()
{
    return filter ? static_cast<int>(filter->buffers().size()) : 0;
}

std::string OpenEXRFilter::BufferList::popName(int index)
{
    if (!filter || index < 0 || index >= static_cast<int>(filter->buffers().size()))
        return {};
    return filter->buffers()[static_cast<std::size_t>(index)]->listLabel();
}

int OpenEXRFilter::ChannelList::popCount()
{
    const OpenEXRBuffer *b = filter ? filter->currentBuffer() : nullptr;
    return b ? b->channelCount() : 0;
}

std::string OpenEXRFilter::ChannelList::popName(int index)
{
    const OpenEXRBuffer *b = filter ? filter->currentBuffer() : nullptr;
    return b && index >= 0 && index < b->channelCount() ? b->channelLongName(index) : "";
}

int OpenEXRFilter::FormatList::popCount() { return hostkit::ImageUtil().saverCount() + 1; }

std::string OpenEXRFilter::FormatList::popName(int index)
{
    if (index == 0)
        return "native OpenEXR (no Alpha!)";
    return hostkit::ImageUtil().saverName(index - 1);
}

int OpenEXRFilter::QuickCommands::popCount()
{
    return static_cast<int>(sizeof kQuickCommands / sizeof kQuickCommands[0]);
}

std::string OpenEXRFilter::QuickCommands::popName(int index)
{
    return index >= 0 && index < popCount() ? kQuickCommands[index] : "";
}

void OpenEXRFilter::QuickCommands::popCommand(unsigned int cid, int command)
{
    if (filter && cid == kQuickEnableControl)
        filter->quickEnable(command);
}

} // namespace ravelcast
