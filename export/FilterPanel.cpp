// The filter's panel: its controls, layout, enable rules and refresh links,
// the values it reads and writes through the settings tables, its popups
// and its buttons.
#include "export/FilterPanel.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "export/BufferReview.h"
#include "export/OpenEXRFilter.h"
#include "exrio/RenderMetadata.h"
#include "hostkit/FileRequest.h"
#include "hostkit/HostInfo.h"
#include "hostkit/utility/Text.h"
#include "panels/AboutBox.h"

namespace ravelcast {

namespace {

using hostkit::Control;
using hostkit::PanelType;

// The panel's own controls: they show no setting.
struct OwnControl {
    unsigned int cid;
    const char *label;
    Control kind;
};
const OwnControl kOwnControls[] = {
    {kToggleViperControl, "Toggle VIPER", Control::Button},
    {kPresetsControl, "Presets", Control::Command},
    {kQuickEnableControl, "Quick Buffer Enable", Control::Command},
    {kBufferControl, "Buffer", Control::Choice},
    {kChannelControl, "Channel", Control::Choice},
    {kReviewControl, "Review Settings...", Control::Button},
    {kAboutControl, "About Ravelcast...", Control::Button},
    {kMetadataRowControl, "Metadata Row", Control::Choice},
    {kMetadataRowsControl, "Metadata Rows", Control::Command},
    {kMetadataKeyControl, "Key", Control::Text},
    {kMetadataTypeControl, "Type", Control::Choice},
    {kMetadataValueControl, "Value", Control::Text},
};

// The order the host is given the controls in, which it may lay them out
// by: as the panel has always had them. Controls not named here follow in
// table order.
const unsigned int kDeclaredOrder[] = {
    kRenderModeControl,  kToggleViperControl,  kPostGammaControl,    kPresetsControl,
    kQuickEnableControl, kOutputFileControl,   kFormatControl,       kSingleNamingControl,
    kCustomNameControl,  kUseRenderPathControl, kDescriptionControl, kBufferControl,
    kCompressionControl, kEnabledControl,      kPixelTypeControl,    kLayerNameControl,
    kSaveAsControl,      kFileFormatControl,   kLumaAsRGBControl,    kInvertControl,
    kMinimumControl,     kMaximumControl,      kOffsetControl,       kScaleControl,
    kGammaControl,       kUnmultiplyControl,   kDisplayGammaControl, kFitDataWindowControl,
    kCommentControl,     kAuthorControl,       kEmbedPreviewControl, kPreviewScaleControl,
    kPreviewWidthControl, kPreviewHeightControl, kChannelControl,    kChannelNameControl,
    kFlipChannelControl, kReviewControl,       kAboutControl};

std::size_t declaredRank(unsigned int cid)
{
    const auto *end = std::end(kDeclaredOrder);
    return static_cast<std::size_t>(std::find(std::begin(kDeclaredOrder), end, cid) -
                                    std::begin(kDeclaredOrder));
}

// The panel's control list and their values' types: its own controls and
// every row of the settings tables that a control edits.
struct PanelControls {
    std::vector<LWXPanelControl> controls;
    std::vector<LWXPanelDataDesc> data;
    std::vector<PanelType> types; // per control
    std::vector<OwnControl> rows; // gathered, before they are ordered

    template <class Owner> void gather(const hostkit::FieldTable<Owner> &table)
    {
        for (const hostkit::Field<Owner> &f : table.rows())
            if (f.control)
                rows.push_back({f.control, f.label, f.kind});
    }
    void add(const OwnControl &c)
    {
        const hostkit::ControlKind &k = hostkit::controlKind(c.kind);
        controls.push_back({c.cid, c.label, k.controlClass});
        types.push_back(k.value);
        if (k.value != PanelType::None)
            data.push_back({c.cid, "", k.dataType});
    }
    PanelType typeOf(unsigned int cid) const
    {
        for (std::size_t i = 0; i < types.size(); ++i)
            if (controls[i].cid == cid)
                return types[i];
        return PanelType::None;
    }
};

const PanelControls &panelControls()
{
    static const PanelControls all = [] {
        PanelControls p;
        p.rows.assign(std::begin(kOwnControls), std::end(kOwnControls));
        p.gather(FilterSettings::fields());
        p.gather(BufferSettings::fields());
        p.gather(BufferChannel::fields());
        std::stable_sort(p.rows.begin(), p.rows.end(), [](const OwnControl &a, const OwnControl &b) {
            return declaredRank(a.cid) < declaredRank(b.cid);
        });
        for (const OwnControl &c : p.rows)
            p.add(c);
        p.controls.push_back({0, nullptr, nullptr});
        p.data.push_back({0, nullptr, nullptr});
        return p;
    }();
    return all;
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
const char *const kCameraMatrixWorlds[] = {"Host World", "Right-Handed World (Z flipped)", "None",
                                           nullptr};
const char *const kColourSpaces[] = {colourSpaceName(kLinearRec709), colourSpaceName(kACEScg),
                                     colourSpaceName(kACES2065), colourSpaceName(kLinearRec2020),
                                     colourSpaceName(kColourSpaceNotStated), nullptr};
const char *const kBufferCompressions[] = {
    "As the File",   "Uncompressed",   "RLE (lossless)", "ZIPS (lossless)", "ZIP (lossless)",
    "PIZ (lossless)", "PXR24 (lossy)", "B44 (lossy)",    "B44A (lossy)",    "DWAA (lossy)",
    "DWAB (lossy)",  nullptr};
const char *const kCryptoLevels[] = {"2", "4", "6", "8", "10", "12", "14", "16", nullptr};
const char *const kUserMetadataTypes[] = {userMetadataTypeName(kUserText),
                                          userMetadataTypeName(kUserInteger),
                                          userMetadataTypeName(kUserFloat), nullptr};
const char *const kMetadataRowCommands[] = {"Add Row", "Remove Row"};
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
        kBufferCompressionControl, kChannelControl, kChannelNameControl, kFlipChannelControl

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
        .items(kBufferCompressionControl, kBufferCompressions)
        .items(kPixelTypeControl, kPixelTypes)
        .items(kSaveAsControl, kSaveAs)
        .items(kPreviewScaleControl, kPreviewScales)
        .items(kCameraMatricesControl, kCameraMatrixWorlds)
        .items(kColourSpaceControl, kColourSpaces)
        .items(kCryptoLevelsControl, kCryptoLevels)
        .items(kMetadataTypeControl, kUserMetadataTypes)
        .group(36912, {kDisplayGammaControl, kPostGammaControl})
        .group(36911, {kChannelNameControl, kFlipChannelControl})
        .group(36909, {kEmbedPreviewControl, kPreviewScaleControl, kPreviewWidthControl,
                       kPreviewHeightControl, kCommentControl, kAuthorControl,
                       kCameraMatricesControl, kColourSpaceControl, 36937})
        .group(36937, "User Metadata",
               {kMetadataRowControl, kMetadataRowsControl, kMetadataKeyControl,
                kMetadataTypeControl, kMetadataValueControl})
        .group(36914, "Saving",
               {kSaveAsControl, kFileFormatControl, kLumaAsRGBControl, kPixelTypeControl,
                kFitDataWindowControl, kBufferCompressionControl})
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
        .group(kCryptomatteGroup, "Cryptomatte",
               {kCryptoObjectControl, kCryptoMaterialControl, kCryptoAssetControl,
                kCryptoLevelsControl, kCryptoAlphaEdgesControl})
        .label(36909, "Metadata")
        .tabs(36906, {36917, 36909, kCryptomatteGroup})
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
                            kFlipChannelControl, kUnmultiplyControl, kFitDataWindowControl,
                            kBufferCompressionControl},
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
        .refresh(kQuickEnableControl, {kEnabledControl, kBufferControl})
        .refresh(kMetadataRowControl,
                 {kMetadataKeyControl, kMetadataTypeControl, kMetadataValueControl})
        .refresh(kMetadataRowsControl, {kMetadataRowControl, kMetadataKeyControl,
                                        kMetadataTypeControl, kMetadataValueControl})
        .refresh(kMetadataKeyControl, {kMetadataRowControl})
        .refresh(kMetadataTypeControl, {kMetadataRowControl})
        .refresh(kMetadataValueControl, {kMetadataRowControl});
    return h;
}

// A typed number the field's range refuses is told, not dropped in silence.
template <class Owner>
void tellRefused(const hostkit::Field<Owner> &field, const Owner &owner,
                 const hostkit::PanelValue &typed)
{
    if (field.stored == hostkit::Stored::Other ||
        (field.kind != Control::Float && field.kind != Control::Integer))
        return;
    const bool whole = field.kind == Control::Integer;
    const auto text = [whole](double v) {
        return whole ? std::to_string(static_cast<long long>(v)) : shortestText(v);
    };
    const hostkit::PanelValue now = field.panelGet(owner);
    hostkit::LWMessage().error(std::string(field.label) + " takes values from " + text(field.lo) +
                                   " to " + text(field.hi) + ".",
                               "The value " + text(whole ? typed.i : typed.f) +
                                   " was not taken; it stays " + text(whole ? now.i : now.f) +
                                   ".");
}

// Takes the value into the row's owner; false when it refuses it (and says so).
template <class Owner>
bool take(const hostkit::Field<Owner> &field, Owner &owner, const hostkit::PanelValue &v)
{
    if (field.panelSet(field, owner, v))
        return true;
    tellRefused(field, owner, v);
    return false;
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

FilterPanel::FilterPanel(OpenEXRFilter &filter) : filter_(filter)
{
    bufferList_.filter = &filter;
    channelList_.filter = &filter;
    quickCommands_.panel = this;
    metadataRows_.filter = &filter;
    metadataCommands_.panel = this;
}

FilterPanel::~FilterPanel() = default;

bool FilterPanel::build()
{
    if (panel().id())
        return true;
    const PanelControls &all = panelControls();
    hostkit::HintList h = hints("OpenEXR Layered SaverBuild: 98", filter_);
    createViewPanel(all.controls.data(), all.data.data(), h.data(), true);
    if (!panel().id())
        return false;
    wirePopup(kBufferControl, &bufferList_);
    wirePopup(kChannelControl, &channelList_);
    wirePopup(kFileFormatControl, &formatList_);
    wirePopupCommand(kQuickEnableControl, &quickCommands_);
    wirePopup(kMetadataRowControl, &metadataRows_);
    wirePopupCommand(kMetadataRowsControl, &metadataCommands_);
    if (hostkit::SimplePreset *presets = filter_.presets()) {
        presets->setPanel(panel().id());
        presets->controlId = kPresetsControl;
        wirePopupCommand(kPresetsControl, presets);
    }
    return true;
}

void *FilterPanel::hand(const hostkit::PanelValue &v, PanelType type)
{
    if (type == PanelType::Text) {
        panelText_ = v.s;
        return panelText_.data();
    }
    if (type == PanelType::Float) {
        panelFloat_ = v.f;
        return &panelFloat_;
    }
    panelInt_ = v.i;
    return &panelInt_;
}

void *FilterPanel::get(unsigned int vid)
{
    const PanelType type = panelControls().typeOf(vid);
    OpenEXRBuffer *b = filter_.currentBuffer();
    switch (vid) {
    case kBufferControl: return hand({filter_.currentIndex(), 0, {}}, type);
    case kChannelControl: return b ? hand({b->currentChannel(), 0, {}}, type) : nullptr;
    case kPresetsControl:
    case kQuickEnableControl:
    case kMetadataRowsControl: return hand({}, type);
    case kMetadataRowControl: return hand({metadataRow() ? currentMetadataRow_ : 0, 0, {}}, type);
    case kMetadataKeyControl:
    case kMetadataTypeControl:
    case kMetadataValueControl: {
        const UserMetadataRow *row = metadataRow();
        if (!row)
            return nullptr;
        hostkit::PanelValue v;
        v.i = row->type;
        v.s = vid == kMetadataKeyControl ? row->key : row->value;
        return hand(v, type);
    }
    default: break;
    }
    if (const auto *f = FilterSettings::fields().byControl(vid))
        return hand(f->panelGet(filter_.settings()), type);
    if (!b)
        return nullptr;
    // Depth has no value for what it does not use.
    if (!b->offersGamma() && (vid == kGammaControl || vid == kUnmultiplyControl))
        return nullptr;
    if (const auto *f = BufferSettings::fields().byControl(vid))
        return hand(f->panelGet(b->settings()), type);
    if (const auto *f = BufferChannel::fields().byControl(vid))
        return b->currentChannel() < b->channelCount()
                   ? hand(f->panelGet(b->channel(b->currentChannel())), type)
                   : nullptr;
    return nullptr;
}

int FilterPanel::set(unsigned int vid, void *value)
{
    if (!value)
        return 0;
    // Only integer controls hand an int; texts may be shorter than one.
    const PanelType type = panelControls().typeOf(vid);
    const int i = type == PanelType::Integer ? *static_cast<const int *>(value) : 0;
    OpenEXRBuffer *b = filter_.currentBuffer();
    switch (vid) {
    case kBufferControl:
        if (!filter_.setCurrentIndex(i))
            return 0;
        break;
    case kChannelControl:
        if (!b || i < 0 || i >= b->channelCount())
            return 0;
        b->setCurrentChannel(i);
        break;
    case kMetadataRowControl:
        if (i < 0 || i >= static_cast<int>(filter_.settings().userMetadata.size()))
            return 0;
        currentMetadataRow_ = i;
        return 1;
    case kMetadataKeyControl:
    case kMetadataTypeControl:
    case kMetadataValueControl: return setMetadata(vid, value, type);
    case kDescriptionControl:
    case kPresetsControl:
    case kMetadataRowsControl:
    case kQuickEnableControl: return 0;
    default: return setSetting(vid, value, type);
    }
    filter_.settingsChanged(false);
    return 1;
}

int FilterPanel::setSetting(unsigned int vid, void *value, PanelType type)
{
    hostkit::PanelValue v;
    if (type == PanelType::Float)
        v.f = *static_cast<const double *>(value);
    else if (type == PanelType::Text)
        v.s = static_cast<const char *>(value);
    else if (type == PanelType::Integer)
        v.i = *static_cast<const int *>(value);
    FilterSettings &settings = filter_.settings();
    OpenEXRBuffer *b = filter_.currentBuffer();
    if (const auto *f = FilterSettings::fields().byControl(vid)) {
        if (!take(*f, settings, v))
            return 0;
    } else if (const auto *bf = b ? BufferSettings::fields().byControl(vid) : nullptr) {
        // What a buffer cannot use is not kept (and would not be saved).
        if ((vid == kGammaControl && !b->offersGamma()) ||
            (vid == kUnmultiplyControl && !b->offersUnmultiply()) || !take(*bf, b->settings(), v))
            return 0;
    } else if (const auto *cf = b ? BufferChannel::fields().byControl(vid) : nullptr) {
        if (b->currentChannel() >= b->channelCount() ||
            !take(*cf, b->channel(b->currentChannel()), v))
            return 0;
    } else {
        return 0;
    }
    int result = 1;
    if (vid == kPreviewScaleControl && settings.previewScale != kCustomPreviewSize) {
        scalePreview();
        result = LWXPRC_DFLT;
    }
    if (vid == kDisplayGammaControl && filter_.preview()) {
        filter_.preview()->inspector().setDisplayGamma(settings.displayGamma);
        filter_.preview()->showIfOpen();
    }
    filter_.settingsChanged(changesPreview(vid));
    return result;
}

const UserMetadataRow *FilterPanel::metadataRow() const
{
    const auto &rows = filter_.settings().userMetadata;
    return currentMetadataRow_ >= 0 && currentMetadataRow_ < static_cast<int>(rows.size())
               ? &rows[static_cast<std::size_t>(currentMetadataRow_)]
               : nullptr;
}

int FilterPanel::setMetadata(unsigned int vid, void *value, PanelType type)
{
    std::vector<UserMetadataRow> &rows = filter_.settings().userMetadata;
    if (!metadataRow()) {
        hostkit::LWMessage().error("There is no metadata row to edit.",
                                   "Add one with \"Metadata Rows\", \"Add Row\".");
        return 0;
    }
    const auto at = static_cast<std::size_t>(currentMetadataRow_);
    std::vector<UserMetadataRow> edited = rows;
    UserMetadataRow &row = edited[at];
    if (vid == kMetadataTypeControl) {
        row.type = type == PanelType::Integer ? *static_cast<const int *>(value) : -1;
        // A new row's type is chosen before its value.
        if (row.value.empty() && row.type != kUserText)
            row.value = "0";
    }
    else if (vid == kMetadataKeyControl)
        row.key = hostkit::trimmed(static_cast<const char *>(value));
    else
        row.value = static_cast<const char *>(value);
    // Checked as it would be written, with example token values.
    const std::string why = userMetadataProblem(edited, at, exampleMetadataTokens(), true);
    if (!why.empty()) {
        const UserMetadataRow &now = rows[at];
        hostkit::LWMessage().error(metadataRowName(rows, at) + ": " + why,
                                   "It was not taken; the row stays " + now.key + " (" +
                                            userMetadataTypeName(now.type) + ") = \"" +
                                            now.value + "\".");
        return 0;
    }
    rows = std::move(edited);
    filter_.settingsChanged(false);
    return 1;
}

void FilterPanel::metadataCommand(int command)
{
    std::vector<UserMetadataRow> &rows = filter_.settings().userMetadata;
    if (command == kAddMetadataRow) {
        // A key no row holds yet, to be renamed by the user.
        std::string key;
        for (int n = static_cast<int>(rows.size()) + 1;; ++n) {
            key = "key" + std::to_string(n);
            if (std::none_of(rows.begin(), rows.end(),
                             [&](const UserMetadataRow &r) { return r.key == key; }))
                break;
        }
        rows.push_back({key, kUserText, ""});
        currentMetadataRow_ = static_cast<int>(rows.size()) - 1;
    } else if (command == kRemoveMetadataRow && metadataRow()) {
        rows.erase(rows.begin() + currentMetadataRow_);
        currentMetadataRow_ = std::max(0, std::min(currentMetadataRow_, static_cast<int>(rows.size()) - 1));
    } else {
        return;
    }
    filter_.settingsChanged(false);
}

void FilterPanel::scalePreview()
{
    const std::optional<hostkit::FrameSize> frame = hostkit::frameSize();
    if (!frame)
        return;
    FilterSettings &settings = filter_.settings();
    const float factor = previewScaleFactor(settings.previewScale);
    settings.previewWidth = static_cast<int>(static_cast<float>(frame->width) * factor);
    settings.previewHeight = static_cast<int>(static_cast<float>(frame->height) * factor);
}

void FilterPanel::buttonClick(unsigned int cid)
{
    BufferPreview *preview = filter_.preview();
    switch (cid) {
    case kToggleViperControl:
        if (!preview)
            break;
        // Until a frame is rendered with the window in use it has nothing to show.
        if (!preview->isOpen() && !filter_.lastFrame().data().previewed)
            hostkit::LWMessage().info("Ravelcast Buffers: nothing has been rendered yet.",
                                      "The window shows the buffers of the next frame you render.");
        preview->toggle();
        break;
    case kReviewControl: showReview(filter_); break;
    case kAboutControl: showAboutPanel(); break;
    default: break;
    }
}

void FilterPanel::destroyNotify()
{
    if (hostkit::SimplePreset *presets = filter_.presets())
        presets->setPanel(nullptr);
    XPanelInterface::destroyNotify();
}

void FilterPanel::quickEnable(int command)
{
    const auto &buffers = filter_.buffers();
    auto all = [&](bool on) {
        for (auto &b : buffers)
            b->setActive(on);
    };
    auto only = [&](int n) {
        all(false);
        for (int i = 0; i < n && i < static_cast<int>(buffers.size()); ++i)
            buffers[static_cast<std::size_t>(i)]->setActive(true);
    };
    switch (command) {
    case kEnableAll: all(true); break;
    case kDisableAll: all(false); break;
    case kToggle:
        for (auto &b : buffers)
            b->setActive(!b->active());
        break;
    case kEnableRGB: only(1); break;
    case kEnableRGBA: only(2); break;
    case kEnableRGBAZ: {
        only(2);
        const hostkit::HostVersion v = hostkit::versionOf(hostkit::productInfo());
        const int d = depthPosition(static_cast<int>(v.major), static_cast<int>(v.minor));
        if (d < static_cast<int>(buffers.size()))
            buffers[static_cast<std::size_t>(d)]->setActive(true);
        break;
    }
    default: return;
    }
    filter_.settingsChanged(false);
}

// ---- the popups

int FilterPanel::BufferList::popCount()
{
    return filter ? static_cast<int>(filter->buffers().size()) : 0;
}

std::string FilterPanel::BufferList::popName(int index)
{
    if (!filter || index < 0 || index >= static_cast<int>(filter->buffers().size()))
        return {};
    return filter->buffers()[static_cast<std::size_t>(index)]->listLabel();
}

int FilterPanel::ChannelList::popCount()
{
    const OpenEXRBuffer *b = filter ? filter->currentBuffer() : nullptr;
    return b ? b->channelCount() : 0;
}

std::string FilterPanel::ChannelList::popName(int index)
{
    const OpenEXRBuffer *b = filter ? filter->currentBuffer() : nullptr;
    return b && index >= 0 && index < b->channelCount() ? b->channelLongName(index) : "";
}

// "(no rows)" holds the place of an empty list.
int FilterPanel::MetadataRows::popCount()
{
    return filter ? std::max<int>(1, static_cast<int>(filter->settings().userMetadata.size())) : 0;
}

std::string FilterPanel::MetadataRows::popName(int index)
{
    if (!filter)
        return {};
    const auto &rows = filter->settings().userMetadata;
    if (rows.empty())
        return index == 0 ? "(no rows)" : "";
    if (index < 0 || index >= static_cast<int>(rows.size()))
        return {};
    const UserMetadataRow &r = rows[static_cast<std::size_t>(index)];
    return r.key + " = " + r.value;
}

int FilterPanel::MetadataCommands::popCount()
{
    return static_cast<int>(sizeof kMetadataRowCommands / sizeof kMetadataRowCommands[0]);
}

std::string FilterPanel::MetadataCommands::popName(int index)
{
    return index >= 0 && index < popCount() ? kMetadataRowCommands[index] : "";
}

void FilterPanel::MetadataCommands::popCommand(unsigned int cid, int command)
{
    if (panel && cid == kMetadataRowsControl)
        panel->metadataCommand(command);
}

int FilterPanel::FormatList::popCount() { return hostkit::ImageUtil().saverCount() + 1; }

std::string FilterPanel::FormatList::popName(int index)
{
    if (index == 0)
        return "native OpenEXR (no Alpha!)";
    return hostkit::ImageUtil().saverName(index - 1);
}

int FilterPanel::QuickCommands::popCount()
{
    return static_cast<int>(sizeof kQuickCommands / sizeof kQuickCommands[0]);
}

std::string FilterPanel::QuickCommands::popName(int index)
{
    return index >= 0 && index < popCount() ? kQuickCommands[index] : "";
}

void FilterPanel::QuickCommands::popCommand(unsigned int cid, int command)
{
    if (panel && cid == kQuickEnableControl)
        panel->quickEnable(command);
}

} // namespace ravelcast
