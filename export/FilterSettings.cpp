#include "export/FilterSettings.h"

#include "export/FilterControls.h"
#include "export/FramePlan.h"
#include "exrio/SaverSettings.h"

namespace ravelcast {

namespace {

using hostkit::Control;
using hostkit::ErrorText;
using hostkit::Field;
using hostkit::LoadState;
using hostkit::PanelValue;
using hostkit::SaveState;
using F = FilterSettings;

// The output file: a block holding the name, kept with the scene only (a
// preset is for other scenes too).
Field<F> outputFileRow()
{
    return hostkit::fields::custom<F>(
               {hostkit::blockId("FNAM"), "FileName"},
               [](const Field<F> &f, const F &o, SaveState &s) {
                   hostkit::SavedBlock name(s, f.ident, false);
                   s.writeString(o.outputFile.fullPath());
               },
               [](const Field<F> &, F &o, LoadState &s) {
                   const std::string name = s.readString().value_or("");
                   if (!name.empty())
                       o.outputFile.set(name);
                   return ErrorText();
               },
               [](F &to, const F &from) { to.outputFile = from.outputFile; })
        .notInPresets()
        .resets([](const Field<F> &, F &o) { o.outputFile = hostkit::FileName("Content"); })
        .on(kOutputFileControl, "Output File", Control::FileName,
            [](const F &o) {
                PanelValue v;
                v.s = o.outputFile.fullPath();
                return v;
            },
            [](const Field<F> &, F &o, const PanelValue &v) {
                o.outputFile.set(v.s);
                return true;
            });
}

// The ranks: a popup of the even counts, stored as the count. An odd or
// out-of-range count from a damaged scene is not taken.
Field<F> cryptoLevelsRow()
{
    Field<F> f = hostkit::fields::number<F, &F::cryptoLevels>({hostkit::blockId("CRYL"), "CryptoLevels"},
                                                              hostkit::Stored::I4, kMinCryptoLevels,
                                                              kMaxCryptoLevels)
                     .defaults(6);
    f.load = [](const Field<F> &f, F &o, LoadState &s) -> ErrorText {
        const std::optional<double> v = hostkit::fields::readNumber(s, f.stored);
        if (v && *v >= f.lo && *v <= f.hi && static_cast<int>(*v) == *v &&
            static_cast<int>(*v) % 2 == 0)
            o.cryptoLevels = static_cast<int>(*v);
        return {};
    };
    return f.on(
        kCryptoLevelsControl, "Levels", Control::Choice,
        [](const F &o) {
            PanelValue v;
            v.i = o.cryptoLevels / 2 - 1;
            return v;
        },
        [](const Field<F> &, F &o, const PanelValue &v) {
            const int ranks = (v.i + 1) * 2;
            if (ranks < kMinCryptoLevels || ranks > kMaxCryptoLevels)
                return false;
            o.cryptoLevels = ranks;
            return true;
        });
}

// More rows than any studio keeps: a damaged file cannot make the panel
// and every header grow without end.
constexpr std::size_t kMaxUserMetadataRows = 1000;

const LWBlockIdent kUserMetadataRow[] = {{hostkit::blockId("UROW"), "Row"}, {0, nullptr}};
const LWBlockIdent kUserMetadataEntry[] = {{hostkit::blockId("UKEY"), "Key"},
                                           {hostkit::blockId("UTYP"), "Type"},
                                           {hostkit::blockId("UVAL"), "Value"},
                                           {0, nullptr}};

// The user's attributes: a block of rows, each with its key, type and value.
// A row is taken only when all three were read; the type must be one of
// the three.
Field<F> userMetadataRow()
{
    return hostkit::fields::custom<F>(
               {hostkit::blockId("UMET"), "UserMetadata"},
               [](const Field<F> &f, const F &o, SaveState &s) {
                   hostkit::SavedBlock rows(s, f.ident, false);
                   for (const UserMetadataRow &r : o.userMetadata) {
                       hostkit::SavedBlock row(s, kUserMetadataRow[0], false);
                       s.writeBlock(kUserMetadataEntry[0], r.key);
                       s.writeBlock(kUserMetadataEntry[1], static_cast<std::int32_t>(r.type));
                       s.writeBlock(kUserMetadataEntry[2], r.value);
                   }
               },
               [](const Field<F> &, F &o, LoadState &s) {
                   ErrorText error;
                   std::vector<UserMetadataRow> rows;
                   int seen = 0;
                   while (s.findBlock(kUserMetadataRow)) {
                       hostkit::FoundBlock row(s);
                       ++seen;
                       std::optional<std::string> key, value;
                       std::optional<std::int32_t> type;
                       while (unsigned int id = s.findBlock(kUserMetadataEntry)) {
                           hostkit::FoundBlock entry(s);
                           if (id == hostkit::blockId("UKEY"))
                               key = s.readString();
                           else if (id == hostkit::blockId("UTYP"))
                               type = s.readI4();
                           else
                               value = s.readString();
                       }
                       if (!key || !value || !type || *type < 0 ||
                           *type >= kUserMetadataTypeCount) {
                           if (error.empty())
                               error = "Metadata row " + std::to_string(seen) +
                                       " could not be read; it was left out.";
                           continue;
                       }
                       if (rows.size() == kMaxUserMetadataRows) {
                           if (error.empty())
                               error = "More than " + std::to_string(kMaxUserMetadataRows) +
                                       " metadata rows; the rest were left out.";
                           continue;
                       }
                       rows.push_back({*key, *type, *value});
                   }
                   o.userMetadata = std::move(rows);
                   return error;
               },
               [](F &to, const F &from) { to.userMetadata = from.userMetadata; })
        .resets([](const Field<F> &, F &o) { o.userMetadata.clear(); });
}

} // namespace

FilterSettings::FilterSettings() { fields().reset(*this); }

// Table order is the order settings are saved in. Values a damaged scene
// could hold outside a row's range are not taken over.
const hostkit::FieldTable<FilterSettings> &FilterSettings::fields()
{
    using namespace hostkit::fields;
    using hostkit::blockId;
    using hostkit::Stored;
    static const hostkit::FieldTable<F> table(
        {
            outputFileRow(),
            flag<F, &F::useRGBPrefix>({blockId("USLW"), "useRGBPrefix"})
                .defaults(1)
                .on(kUseRenderPathControl, "Use Render Path", Control::Boolean),
            number<F, &F::nameFormat>({blockId("FFRX"), "NameFormatExt"}, Stored::I4, 0, 15)
                .defaults(1)
                .on(kFormatControl, "Format", Control::Choice),
            text<F, &F::customFileName>({blockId("CFNM"), "CustomFileName"})
                .on(kCustomNameControl, "Custom Single Image Name", Control::Text),
            number<F, &F::singleNameFormat>({blockId("SFRM"), "SingleFileNameFormat"},
                                            Stored::I4, 0, 4)
                .on(kSingleNamingControl, "Single Image File Naming", Control::Choice),
            number<F, &F::layoutRenderMode>({blockId("VIPR"), "LayoutRenderMode"}, Stored::U4, 0,
                                            2)
                .defaults(kViperAndSave)
                .on(kRenderModeControl, "Render Mode (Layout only)", Control::Choice),
            number<F, &F::viperOptions>({blockId("VIOP"), "VIPEROptions"}, Stored::U4, 0, 3)
                .defaults(1),
            // A gamma of 0, below or not a number has no inverse: ignored,
            // as are values beyond any display's (0.125 to 64).
            number<F, &F::displayGamma>({blockId("DGAM"), "DisplayGamma"}, Stored::FP,
                                        kMinDisplayGamma, kMaxDisplayGamma)
                .defaults(1.0)
                .on(kDisplayGammaControl, "VIPER Display Gamma", Control::Float),
            flag<F, &F::postApplyDisplayGamma>({blockId("PDGM"), "PostApplyDisplayGamma"})
                .on(kPostGammaControl, "Post-apply Display Gamma", Control::Boolean),
            flag<F, &F::embedPreview>({blockId("PRVW"), "EmbedPreview"})
                .on(kEmbedPreviewControl, "Embed Preview", Control::Boolean),
            number<F, &F::previewScale>({blockId("PRSC"), "PreviewScale"}, Stored::I4, 0,
                                        kCustomPreviewSize)
                .defaults(3)
                .on(kPreviewScaleControl, "Scale", Control::Choice),
            number<F, &F::previewWidth>({blockId("PRWI"), "PreviewWidth"}, Stored::I4, 0,
                                        1 << 16)
                .on(kPreviewWidthControl, "Width", Control::Integer),
            number<F, &F::previewHeight>({blockId("PRHE"), "PreviewHeight"}, Stored::I4, 0,
                                         1 << 16)
                .on(kPreviewHeightControl, "Height", Control::Integer),
            text<F, &F::author>({blockId("AUTH"), "Author"})
                .on(kAuthorControl, "Author", Control::Text),
            text<F, &F::comment>({blockId("CMNT"), "Comment"})
                .on(kCommentControl, "Comment", Control::Text),
            number<F, &F::compression>({blockId("XCMP"), "Compression"}, Stored::I2, 0,
                                       kCompressionCount - 1)
                .defaults(3)
                .on(kCompressionControl, "Compression", Control::Choice),
            // OpenEXR's own default quality.
            number<F, &F::dwaLevel>({blockId("XDWA"), "DWACompressionLevel"}, Stored::FP, 0,
                                    kMaxDwaLevel)
                .defaults(45.0)
                .on(kDwaLevelControl, "DWA Compression Level", Control::Float),
            flag<F, &F::multiPart>({blockId("XMPT"), "MultiPart"})
                .on(kMultiPartControl, "One Part per Layer", Control::Boolean),
            number<F, &F::cameraMatrices>({blockId("CMTX"), "CameraMatrices"}, Stored::I4, 0,
                                          kCameraMatrixConventionCount - 1)
                .defaults(kHostWorldMatrices)
                .on(kCameraMatricesControl, "Camera Matrices", Control::Choice),
            number<F, &F::colourSpace>({blockId("CSPC"), "ColourSpace"}, Stored::I4, 0,
                                       kColourSpaceCount - 1)
                .defaults(kLinearRec709)
                .on(kColourSpaceControl, "Colour Space", Control::Choice),
            flag<F, &F::cryptoObject>({blockId("CRYO"), "CryptoObject"})
                .on(kCryptoObjectControl, "CryptoObject", Control::Boolean),
            flag<F, &F::cryptoMaterial>({blockId("CRYM"), "CryptoMaterial"})
                .on(kCryptoMaterialControl, "CryptoMaterial", Control::Boolean),
            flag<F, &F::cryptoAsset>({blockId("CRYA"), "CryptoAsset"})
                .on(kCryptoAssetControl, "CryptoAsset", Control::Boolean),
            cryptoLevelsRow(),
            flag<F, &F::cryptoAlphaEdges>({blockId("CRYE"), "CryptoAlphaEdges"})
                .on(kCryptoAlphaEdgesControl, "Alpha as Coverage at Edges", Control::Boolean),
            userMetadataRow(),
            // The older name format: bit 2 moved to bit 3.
            custom<F>({blockId("FFRM"), "NameFormat"}, nullptr,
                      [](const Field<F> &, F &f, LoadState &s) {
                          if (const auto v = s.readI4())
                              f.nameFormat = (*v & 3) | ((*v & 4) * 2);
                          return ErrorText();
                      },
                      nullptr),
        },
        {{blockId("VERS"), "Version"}, {blockId("BUFF"), "Buffer"}, {LWID_ENDPLUGIN, "EndPlugin"}});
    return table;
}

HeaderChoices FilterSettings::headerChoices() const
{
    HeaderChoices c;
    c.cameraMatrices = static_cast<CameraMatrixConvention>(cameraMatrices);
    c.colourSpace = colourSpace;
    return c;
}

std::vector<MatteKind> FilterSettings::mattes() const
{
    std::vector<MatteKind> on;
    if (cryptoObject)
        on.push_back(MatteKind::Object);
    if (cryptoMaterial)
        on.push_back(MatteKind::Material);
    if (cryptoAsset)
        on.push_back(MatteKind::Asset);
    return on;
}

bool FilterSettings::mattesApart() const
{
    return (cryptoObject || cryptoMaterial || cryptoAsset) && !multiPart &&
           lossyCompression(compression);
}

std::string FilterSettings::baseName(const std::string &renderPath) const
{
    return useRGBPrefix ? renderPath : outputFile.fullPath();
}

float previewScaleFactor(int previewScale)
{
    static const float factors[] = {1.0f, 0.5f, 0.333000004f, 0.25f, 0.100000001f};
    return previewScale >= 0 && previewScale < kCustomPreviewSize ? factors[previewScale] : 0.0f;
}

} // namespace ravelcast
