#include "export/BufferSettings.h"

#include <ImfPixelType.h>

#include "export/FilterControls.h"
#include "exrio/SaverSettings.h"
#include "hostkit/Services.h"

namespace ravelcast {

namespace {

using hostkit::blockId;

constexpr int kSaveAsByPopup[] = {1, 2, 3, 6, 7};
constexpr int kPopupBySaveAs[] = {0, 0, 1, 2, 0, 0, 3, 4};

} // namespace

int saveAsFromPopup(int index)
{
    return index >= 0 && index < 5 ? kSaveAsByPopup[index] : kSaveLayer;
}

int popupFromSaveAs(int saveAs) { return kPopupBySaveAs[saveAs & 7]; }


BufferSettings::BufferSettings() { fields().reset(*this); }

BufferSettings::~BufferSettings() = default;

void BufferSettings::makeParameters(LWChanGroupID group)
{
    // Each named as its row's key, starting at its row's default.
    const auto parameter = [&](unsigned int id) {
        const hostkit::Field<BufferSettings> &row = fields().row(id);
        return std::make_unique<hostkit::VParm>(row.ident.token, group, kPluginName,
                                                row.byDefault);
    };
    minimum = parameter(blockId("MINI"));
    maximum = parameter(blockId("MAXI"));
    offset = parameter(blockId("OFFS"));
    scale = parameter(blockId("SCAL"));
    gamma = parameter(blockId("GAMA"));
}

void BufferSettings::dropParameters()
{
    minimum.reset();
    maximum.reset();
    offset.reset();
    scale.reset();
    gamma.reset();
}

namespace {

using hostkit::Control;
using hostkit::ErrorText;
using hostkit::Field;
using hostkit::LoadState;
using hostkit::SaveState;
using hostkit::fields::custom;
using B = BufferSettings;

// Saved as its three bits; the popup offers five of them.
Field<B> saveAsRow()
{
    return custom<B>({blockId("SVAS"), "SaveAs"},
                     [](const Field<B> &f, const B &b, SaveState &s) {
                         s.writeBlock(f.ident, static_cast<std::int32_t>(b.saveAs));
                     },
                     [](const Field<B> &, B &b, LoadState &s) {
                         // Three bits; anything else is damage, not a choice.
                         const auto v = s.readI4();
                         if (v && *v >= 0 && *v <= 7)
                             b.saveAs = *v;
                         return ErrorText();
                     },
                     [](B &to, const B &from) { to.saveAs = from.saveAs; })
        .defaults(kSaveLayer)
        .resets([](const Field<B> &f, B &b) { b.saveAs = static_cast<int>(f.byDefault); })
        .on(kSaveAsControl, "Save as", Control::Choice,
            [](const B &b) {
                hostkit::PanelValue v;
                v.i = popupFromSaveAs(b.saveAs);
                return v;
            },
            [](const Field<B> &, B &b, const hostkit::PanelValue &v) {
                if (v.i < 0 || v.i > 4)
                    return false;
                b.saveAs = saveAsFromPopup(v.i);
                return true;
            });
}

// The host saver by name: its position differs between hosts.
Field<B> imageFormatRow()
{
    return custom<B>({blockId("IFMT"), "ImageFormat"},
                     [](const Field<B> &f, const B &b, SaveState &s) {
                         if (b.imageFormat != 0)
                             s.writeBlock(f.ident,
                                          hostkit::ImageUtil().saverName(b.imageFormat - 1));
                     },
                     [](const Field<B> &, B &b, LoadState &s) {
                         const auto name = s.readString();
                         const int saver = name ? hostkit::ImageUtil().findSaver(*name) : -1;
                         if (saver >= 0)
                             b.imageFormat = saver + 1;
                         return ErrorText();
                     },
                     [](B &to, const B &from) { to.imageFormat = from.imageFormat; })
        .resets([](const Field<B> &, B &b) { b.imageFormat = 0; })
        .on(kFileFormatControl, "File Format", Control::Choice,
            [](const B &b) {
                hostkit::PanelValue v;
                v.i = b.imageFormat;
                return v;
            },
            [](const Field<B> &, B &b, const hostkit::PanelValue &v) {
                // 0 the native file, then the host's savers.
                if (v.i < 0 || v.i > hostkit::ImageUtil().saverCount())
                    return false;
                b.imageFormat = v.i;
                return true;
            });
}

// Stored as OpenEXR's number (-1 "As the File"); the popup puts "As the
// File" first.
Field<B> compressionRow()
{
    return hostkit::fields::number<B, &B::compression>({blockId("XBCP"), "BufferCompression"},
                                                       hostkit::Stored::I2, kAsTheFile,
                                                       kCompressionCount - 1)
        .defaults(kAsTheFile)
        .on(kBufferCompressionControl, "Compression", Control::Choice,
            [](const B &b) {
                hostkit::PanelValue v;
                v.i = b.compression + 1;
                return v;
            },
            [](const Field<B> &, B &b, const hostkit::PanelValue &v) {
                if (v.i < 0 || v.i > kCompressionCount)
                    return false;
                b.compression = v.i - 1;
                return true;
            });
}

// Only a colour buffer un-multiplies.
Field<B> unmultiplyRow()
{
    return custom<B>({blockId("UMUL"), "Unmultiply"},
                     [](const Field<B> &f, const B &b, SaveState &s) {
                         if (b.offersUnmultiply)
                             s.writeBlock(f.ident, b.unmultiply);
                     },
                     [](const Field<B> &, B &b, LoadState &s) {
                         // Not offered elsewhere, so not taken from a file either.
                         if (const auto v = s.readBool(); v && b.offersUnmultiply)
                             b.unmultiply = *v;
                         return ErrorText();
                     },
                     [](B &to, const B &from) { to.unmultiply = from.unmultiply; })
        .resets([](const Field<B> &, B &b) { b.unmultiply = false; })
        .on(kUnmultiplyControl, "Un-multiply by Alpha", Control::Boolean,
            [](const B &b) {
                hostkit::PanelValue v;
                v.i = b.unmultiply ? 1 : 0;
                return v;
            },
            [](const Field<B> &, B &b, const hostkit::PanelValue &v) {
                b.unmultiply = v.i != 0;
                return true;
            });
}

} // namespace

// Table order is the order settings are saved in. A buffer's layer name,
// pixel type, Enabled and description come from its catalogue row.
const hostkit::FieldTable<BufferSettings> &BufferSettings::fields()
{
    using namespace hostkit::fields;
    using hostkit::Stored;
    static const hostkit::FieldTable<B> table(
        {
            text<B, &B::layerName>({blockId("XNAM"), "EXRBufferName"})
                .on(kLayerNameControl, "Layer Name", Control::Text),
            number<B, &B::pixelType>({blockId("XPPT"), "PixelType"}, Stored::I2, Imf::UINT,
                                      Imf::FLOAT)
                .on(kPixelTypeControl, "OpenEXR Pixel Type", Control::Choice),
            flag<B, &B::active>({blockId("ACTV"), "Active"})
                .on(kEnabledControl, "Enabled", Control::Boolean),
            text<B, &B::description>({blockId("DESC"), "Description"})
                .on(kDescriptionControl, "Description", Control::Info),
            flag<B, &B::invert>({blockId("INVT"), "Invert"})
                .on(kInvertControl, "Invert", Control::Boolean),
            saveAsRow(),
            imageFormatRow(),
            flag<B, &B::lumaAsRGB>({blockId("SRGB"), "LumaAsRGB"})
                .on(kLumaAsRGBControl, "Save Luminance as RGB", Control::Boolean),
            flag<B, &B::fitDataWindow>({blockId("DWND"), "FitDataWindow"})
                .on(kFitDataWindowControl, "Fit Data Window", Control::Boolean),
            compressionRow(),
            storeable<B, &B::minimum>({blockId("MINI"), "Minimum"})
                .on(kMinimumControl, "Minimum", Control::FloatEnv),
            storeable<B, &B::maximum>({blockId("MAXI"), "Maximum"})
                .defaults(1.0)
                .on(kMaximumControl, "Maximum", Control::FloatEnv),
            storeable<B, &B::offset>({blockId("OFFS"), "Offset"})
                .on(kOffsetControl, "Offset", Control::FloatEnv),
            storeable<B, &B::scale>({blockId("SCAL"), "Scale"})
                .defaults(1.0)
                .on(kScaleControl, "Scale", Control::FloatEnv),
            storeable<B, &B::gamma>({blockId("GAMA"), "Gamma"})
                .defaults(1.0)
                .on(kGammaControl, "Gamma Correction", Control::FloatEnv),
            unmultiplyRow(),
            // The older form of SaveAs.
            custom<B>({blockId("SFIL"), "SaveAsFile"}, nullptr,
                      [](const Field<B> &, B &b, LoadState &s) {
                          if (s.readBool().value_or(false))
                              b.saveAs = kSaveImage;
                          return ErrorText();
                      },
                      nullptr),
        },
        {{blockId("CHAN"), "Channel"}});
    return table;
}

} // namespace ravelcast
