// The layered-export filter's own settings (each buffer keeps its own) as
// plain data, with the table that names each setting once: its block, its
// default, the values it takes and the panel control that edits it.
#ifndef RAVELCAST_EXPORT_FILTERSETTINGS_H
#define RAVELCAST_EXPORT_FILTERSETTINGS_H

#include <string>
#include <vector>

#include "export/Cryptomatte.h"
#include "exrio/RenderMetadata.h"
#include "exrio/UserMetadata.h"
#include "hostkit/Fields.h"
#include "hostkit/FileName.h"

namespace ravelcast {

// The "Scale" popup of the embedded preview.
constexpr int kCustomPreviewSize = 5;
float previewScaleFactor(int previewScale);

// LayoutRenderMode.
enum LayoutRenderMode { kViperAndSave = 0, kViperOnly = 1, kSaveOnly = 2 };

constexpr double kMinDisplayGamma = 0.125;
constexpr double kMaxDisplayGamma = 64.0;
constexpr double kMaxDwaLevel = 1000.0;

// Cryptomatte's ranks: two to a layer.
constexpr int kMinCryptoLevels = 2;
constexpr int kMaxCryptoLevels = 16;

struct FilterSettings {
    // Every setting at its row's default.
    FilterSettings();

    hostkit::FileName outputFile;
    bool useRGBPrefix;
    int nameFormat;
    int singleNameFormat;
    std::string customFileName;
    int compression;
    // The quality of DWAA and DWAB compression.
    double dwaLevel;
    // The layered file as one part per layer rather than one part.
    bool multiPart;
    int layoutRenderMode;
    // The preview window's display mode, kept with the scene.
    int viperOptions;
    bool embedPreview;
    int previewScale;
    // The custom size of the embedded preview.
    int previewWidth;
    int previewHeight;
    bool postApplyDisplayGamma;
    double displayGamma;
    std::string comment;
    std::string author;
    // The world of the camera matrices (CameraMatrixConvention) and the
    // colour space the files declare (ColourSpace).
    int cameraMatrices;
    int colourSpace;
    // The Cryptomatte types written, their ranks (even, 2 to 16) and
    // whether the beauty's alpha is the coverage where an item meets the
    // background.
    bool cryptoObject;
    bool cryptoMaterial;
    bool cryptoAsset;
    int cryptoLevels;
    bool cryptoAlphaEdges;
    // The user's own attributes, written into every file in this order.
    std::vector<UserMetadataRow> userMetadata;

    static const hostkit::FieldTable<FilterSettings> &fields();

    HeaderChoices headerChoices() const;
    // The Cryptomatte types that are on, in their order.
    std::vector<MatteKind> mattes() const;
    // Whether the types go to lossless files of their own beside the
    // layered file: a lossy single-part file would change the ids.
    bool mattesApart() const;

    // The base of the output names: the render path (the scene's RGB
    // prefix) or the output file.
    std::string baseName(const std::string &renderPath) const;
    // Whether the preview window shows the frame (all buffers are asked).
    bool previewInUse(bool inLayout) const { return layoutRenderMode != kSaveOnly && inLayout; }
};

} // namespace ravelcast

#endif
