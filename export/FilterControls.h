// The filter panel's controls and groups, by id.
#ifndef RAVELCAST_EXPORT_FILTERCONTROLS_H
#define RAVELCAST_EXPORT_FILTERCONTROLS_H

namespace ravelcast {

enum FilterControl : unsigned int {
    kOutputFileControl = 36865,
    kCompressionControl = 36866,
    kFormatControl = 36867,
    kUseRenderPathControl = 36868,
    kPresetsControl = 36869,
    kSingleNamingControl = 36870,
    kCustomNameControl = 36871,
    kQuickEnableControl = 36872,
    kBufferControl = 36873,
    kEnabledControl = 36874,
    kLayerNameControl = 36875,
    kPixelTypeControl = 36876,
    kInvertControl = 36877,
    kMinimumControl = 36878,
    kMaximumControl = 36879,
    kOffsetControl = 36880,
    kScaleControl = 36881,
    kDescriptionControl = 36882,
    kLumaAsRGBControl = 36884,
    kUnmultiplyControl = 36885,
    kGammaControl = 36886,
    kSaveAsControl = 36887,
    kFileFormatControl = 36888,
    kChannelControl = 36889,
    kChannelNameControl = 36890,
    kFlipChannelControl = 36891,
    kCommentControl = 36892,
    kEmbedPreviewControl = 36893,
    kAuthorControl = 36894,
    kPreviewScaleControl = 36895,
    kPreviewWidthControl = 36896,
    kPreviewHeightControl = 36897,
    kFitDataWindowControl = 36898,
    kReviewControl = 36900,
    kAboutControl = 36901,
    kRenderModeControl = 36902,
    kDisplayGammaControl = 36903,
    kPostGammaControl = 36904,
    kToggleViperControl = 36905,
    // Beyond the classic panel: DWA quality, one part per layer and a
    // buffer's own compression.
    kDwaLevelControl = 36918,
    kMultiPartControl = 36919,
    // What compositors read: the camera matrices' world and the colour space.
    kCameraMatricesControl = 36930,
    kColourSpaceControl = 36931,
    kBufferCompressionControl = 36920,
    // Cryptomatte: its types, its ranks, the alpha's coverage at edges, and
    // the group that holds them.
    kCryptoObjectControl = 36960,
    kCryptoMaterialControl = 36961,
    kCryptoAssetControl = 36962,
    kCryptoLevelsControl = 36963,
    kCryptoAlphaEdgesControl = 36964,
    kCryptomatteGroup = 36965,
    // The user's own attributes: the row shown, its commands, and the
    // shown row's key, type and value.
    kMetadataRowControl = 36932,
    kMetadataRowsControl = 36933,
    kMetadataKeyControl = 36934,
    kMetadataTypeControl = 36935,
    kMetadataValueControl = 36936,
};

// The commands of the "Metadata Rows" popup, in popup order.
enum MetadataRowCommand { kAddMetadataRow, kRemoveMetadataRow };

// The "Quick Buffer Enable" commands, in popup order.
enum QuickEnable { kEnableAll, kDisableAll, kToggle, kEnableRGB, kEnableRGBA, kEnableRGBAZ };

// The catalogue position of "Depth" for a host version.
int depthPosition(int major, int minor);

} // namespace ravelcast

#endif
