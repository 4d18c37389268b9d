#include "export/OpenEXRFilter.h"
#include "export/FilterPanel.h"
#include "exrio/SaverSettings.h"

#include <algorithm>
#include <cmath>


#include "export/BufferCatalogue.h"
#include "hostkit/FilterAdaptor.h"
#include "hostkit/HostInfo.h"
#include "hostkit/Services.h"
#include "hostkit/utility/Text.h"
#include "module/ServerRegistry.h"
#include "module/ServerTags.h"

namespace ravelcast {

namespace {

using hostkit::blockId;

const LWBlockIdent kBufferEntry[] = {
    {blockId("BNAM"), "Name"}, {blockId("BSET"), "Settings"}, {0, nullptr}};

constexpr std::int16_t kSettingsVersion = 2;

const LWBlockIdent &ident(const char (&key)[5])
{
    return OpenEXRFilter::fields().ident(blockId(key));
}

using hostkit::trimmed;

} // namespace

// Table order is the order settings are saved in. Values a damaged scene
// could hold outside a row's range are not taken over.
const hostkit::FieldTable<OpenEXRFilter> &OpenEXRFilter::fields()
{
    using namespace hostkit::fields;
    using hostkit::Stored;
    using F = OpenEXRFilter;
    static const hostkit::FieldTable<F> table(
        {
            flag<F, &F::useRGBPrefix_>({blockId("USLW"), "useRGBPrefix"})
                .on(kUseRenderPathControl),
            number<F, &F::nameFormat_>({blockId("FFRX"), "NameFormatExt"}, Stored::I4, 0, 15)
                .on(kFormatControl),
            text<F, &F::customFileName_>({blockId("CFNM"), "CustomFileName"})
                .on(kCustomNameControl),
            number<F, &F::singleNameFormat_>({blockId("SFRM"), "SingleFileNameFormat"},
                                             Stored::I4, 0, 4)
                .on(kSingleNamingControl),
            number<F, &F::layoutRenderMode_>({blockId("VIPR"), "LayoutRenderMode"}, Stored::U4,
                                             0, 2)
                .on(kRenderModeControl),
            number<F, &F::viperOptions_>({blockId("VIOP"), "VIPEROptions"}, Stored::U4, 0, 3),
            // A gamma of 0, below or not a number has no inverse: ignored,
            // as are values beyond any display's (0.125 to 64).
            number<F, &F::displayGamma_>({blockId("DGAM"), "DisplayGamma"}, Stored::FP,
                                         kMinDisplayGamma, kMaxDisplayGamma)
                .on(kDisplayGammaControl),
            flag<F, &F::postApplyDisplayGamma_>({blockId("PDGM"), "PostApplyDisplayGamma"})
                .on(kPostGammaControl),
            flag<F, &F::embedPreview_>({blockId("PRVW"), "EmbedPreview"})
                .on(kEmbedPreviewControl),
            number<F, &F::previewScale_>({blockId("PRSC"), "PreviewScale"}, Stored::I4, 0,
                                         kCustomPreviewSize)
                .on(kPreviewScaleControl),
            number<F, &F::previewWidth_>({blockId("PRWI"), "PreviewWidth"}, Stored::I4, 0,
                                         1 << 16)
                .on(kPreviewWidthControl),
            number<F, &F::previewHeight_>({blockId("PRHE"), "PreviewHeight"}, Stored::I4, 0,
                                          1 << 16)
                .on(kPreviewHeightControl),
            text<F, &F::author_>({blockId("AUTH"), "Author"})
                .on(kAuthorControl),
            text<F, &F::comment_>({blockId("CMNT"), "Comment"})
                .on(kCommentControl),
            number<F, &F::compression_>({blockId("XCMP"), "Compression"}, Stored::I2, 0,
                                        kCompressionCount - 1)
                .on(kCompressionControl),
            number<F, &F::dwaLevel_>({blockId("XDWA"), "DWACompressionLevel"}, Stored::FP, 0,
                                     kMaxDwaLevel)
                .on(kDwaLevelControl),
            flag<F, &F::multiPart_>({blockId("XMPT"), "MultiPart"})
                .on(kMultiPartControl),
            // The older name format: bit 2 moved to bit 3.
            custom<F>({blockId("FFRM"), "NameFormat"}, nullptr,
                      [](const hostkit::Field<F> &, F &f, hostkit::LoadState &s) {
                          if (const auto v = s.readI4())
                              f.nameFormat_ = (*v & 3) | ((*v & 4) * 2);
                          return hostkit::ErrorText();
                      },
                      nullptr),
        },
        {{blockId("VERS"), "Version"},
         {blockId("FNAM"), "FileName"},
         {blockId("BUFF"), "Buffer"},
         {LWID_ENDPLUGIN, "EndPlugin"}});
    return table;
}

float previewScaleFactor(int previewScale)
{
    static const float factors[] = {1.0f, 0.5f, 0.333000004f, 0.25f, 0.100000001f};
    return previewScale >= 0 && previewScale < kCustomPreviewSize ? factors[previewScale] : 0.0f;
}

OpenEXRFilter::OpenEXRFilter(void *, void *context, std::string &error)
    : XPanelImageFilterHandler(context)
{
    const int flags = context ? *static_cast<const int *>(context) : 0;
    if (flags & LWFCF_PREPROCESS) {
        error = "This plugin is for saving images only!";
        return;
    }
    rootGroup_ = std::make_unique<hostkit::ChannelGroup>(kPluginName, nullptr);
    const unsigned int product = hostkit::productInfo();
    for (const CatalogueRow &row : catalogue()) {
        if (!presentIn(row.presence, product))
            continue;
        if (row.depth)
            buffers_.emplace_back(new DepthBuffer(row.definition, rootGroup_->id()));
        else
            buffers_.emplace_back(new OpenEXRBuffer(row.definition, rootGroup_->id()));
    }
    hostkit::SceneInfo scene;
    if (scene.available() && scene->RGBPrefix)
        outputFile_.set(scene->RGBPrefix);
    // A new instance starts from the user's default preset, when there is one.
    presets_ = std::make_unique<hostkit::SimplePreset>("ImageFilterHandler", kPluginName);
    presets_->attach(this);
}

std::optional<std::string> OpenEXRFilter::loadPreset(hostkit::LoadState &state)
{
    const hostkit::ErrorText error = loadSettings(state, true);
    if (preview_) {
        preview_->showIfOpen();
        preview_->inspector().refreshIfCreated();
    }
    return error.empty() ? std::nullopt : std::optional<std::string>(error);
}

void OpenEXRFilter::savePreset(hostkit::SaveState &state) { saveSettings(state, true); }

OpenEXRFilter::~OpenEXRFilter()
{
    // The panel and the window call back into the filter: they go first.
    panel().reset();
    preview_.reset();
    // Buffers and their groups go before the root group that holds them.
    buffers_.clear();
    rootGroup_.reset();
}

OpenEXRBuffer *OpenEXRFilter::buffer(const std::string &displayName) const
{
    for (const auto &b : buffers_)
        if (b->displayName() == displayName)
            return b.get();
    return nullptr;
}

bool OpenEXRFilter::previewInUse() const
{
    return layoutRenderMode_ != kSaveOnly && hostkit::inLayout();
}

namespace {

// The request bit of a host buffer, as the catalogue's channels name it.
unsigned int requestMaskOf(int hostBuffer)
{
    for (const CatalogueRow &row : catalogue())
        for (const ChannelSpec *c = row.definition.channels; c->longName; ++c)
            if (c->hostBuffer == hostBuffer)
                return static_cast<unsigned int>(c->requestMask);
    return 0;
}

// A buffer that un-multiplies needs its alpha buffer too, or it would be
// written premultiplied without a word.
bool needsAlpha(const OpenEXRBuffer &b) { return b.unmultiply() && b.alphaBuffer() >= 0; }

} // namespace

std::vector<int> OpenEXRFilter::neededBuffers(bool all) const
{
    std::vector<int> list;
    const auto add = [&](int buffer) {
        if (std::find(list.begin(), list.end(), buffer) == list.end())
            list.push_back(buffer);
    };
    for (const auto &b : buffers_)
        if (all || b->active()) {
            for (int c = 0; c < b->channelCount(); ++c)
                add(b->channel(c).hostBuffer());
            if (needsAlpha(*b))
                add(b->alphaBuffer());
        }
    return list;
}

unsigned int OpenEXRFilter::flags()
{
    const bool all = previewInUse();
    unsigned int mask = 0;
    for (const auto &b : buffers_)
        if (all || b->active()) {
            for (int c = 0; c < b->channelCount(); ++c)
                mask |= static_cast<unsigned int>(b->channel(c).requestMask());
            if (needsAlpha(*b))
                mask |= requestMaskOf(b->alphaBuffer());
        }
    return mask;
}

const int *OpenEXRFilter::hcFlags()
{
    const std::vector<int> needed = neededBuffers(previewInUse());
    hcList_.assign(1, static_cast<int>(needed.size()));
    hcList_.insert(hcList_.end(), needed.begin(), needed.end());
    return hcList_.data();
}

std::string OpenEXRFilter::baseName() const
{
    if (useRGBPrefix_) {
        hostkit::SceneInfo scene;
        return scene.available() && scene->RGBPrefix ? scene->RGBPrefix : std::string();
    }
    return outputFile_.fullPath();
}

const std::string &OpenEXRFilter::describe()
{
    description_ = "Orvo Ravelcast: ";
    const std::string base = baseName();
    if (!base.empty()) {
        const std::string name = layeredFileName(base, "exr", hostkit::TimeInfo().frame(),
                                                 nameFormat_, hostNameContext());
        description_ += hostkit::FileName(name, "Content").fullPath();
    } else {
        description_ += "No output filename!";
    }
    int images = 0, active = 0;
    bool layer = false;
    for (const auto &b : buffers_) {
        if (!b->active())
            continue;
        ++active;
        images += b->savesImage() ? 1 : 0;
        layer |= b->savesLayer();
    }
    const int files = images + (layer ? 1 : 0);
    if (files > 0)
        description_ += " - " + std::to_string(files) + (files == 1 ? " File" : " Files");
    if (active > 0)
        description_ += " - " + std::to_string(active) + (active == 1 ? " Buffer" : " Buffers");
    return description_;
}

void OpenEXRFilter::copy(const OpenEXRFilter &o)
{
    outputFile_ = o.outputFile_;
    fields().copy(*this, o);
    for (const auto &b : buffers_)
        if (const OpenEXRBuffer *from = o.buffer(b->displayName()))
            b->copySettings(*from);
}

hostkit::ErrorText OpenEXRFilter::load(hostkit::LoadState &state)
{
    return loadSettings(state, false);
}

hostkit::ErrorText OpenEXRFilter::save(hostkit::SaveState &state)
{
    return saveSettings(state, false);
}

hostkit::ErrorText OpenEXRFilter::saveSettings(hostkit::SaveState &s, bool preset)
{
    s.writeBlock(ident("VERS"), kSettingsVersion);
    if (!preset) {
        hostkit::SavedBlock name(s, ident("FNAM"), false);
        s.writeString(outputFile_.fullPath());
    }
    fields().save(*this, s);
    for (const auto &b : buffers_) {
        if (!preset && !b->active())
            continue;
        hostkit::SavedBlock buffer(s, ident("BUFF"), false);
        s.writeBlock(kBufferEntry[0], b->displayName());
        hostkit::SavedBlock settings(s, kBufferEntry[1], false);
        if (hostkit::ErrorText e = b->save(s); !e.empty())
            return e;
    }
    return {};
}

hostkit::ErrorText OpenEXRFilter::loadSettings(hostkit::LoadState &s, bool preset)
{
    if (!preset)
        for (const auto &b : buffers_)
            b->clearActive();
    int version = -1;
    hostkit::ErrorText error;
    while (unsigned int id = s.findBlock(fields().idents())) {
        hostkit::FoundBlock block(s);
        if (fields().load(*this, id, s, error))
            continue;
        switch (id) {
        case LWID_ENDPLUGIN:
            return error;
        case blockId("VERS"):
            if (const auto v = s.readI2())
                version = *v;
            if (version > kSettingsVersion)
                error = "These settings require a newer version of Ravelcast to read.";
            break;
        case blockId("FNAM"): {
            const std::string name = s.readString().value_or("");
            if (!name.empty())
                outputFile_.set(name);
            break;
        }
        case blockId("BUFF"): {
            std::string name;
            while (unsigned int b = s.findBlock(kBufferEntry)) {
                hostkit::FoundBlock entry(s);
                if (b == blockId("BNAM")) {
                    name = trimmed(s.readString().value_or(""));
                } else if (b == blockId("BSET")) {
                    if (OpenEXRBuffer *buffer = this->buffer(name)) {
                        if (hostkit::ErrorText e = buffer->load(s); !e.empty() && error.empty())
                            error = e;
                        if (version == 1)
                            buffer->fixSingleChannelName();
                    } else {
                        hostkit::processMessages().warning(
                            "The Buffer " + name + " is not available in this version of LightWave 3D",
                            "It will not be loaded and ignored when the scene is saved.");
                    }
                }
            }
            break;
        }
        }
    }
    return error;
}

namespace {
ServerRegistration filterHandler(kFilterHandlerPosition, LWIMAGEFILTER_HCLASS, kFilterServerName,
                                 hostkit::ImageFilterAdaptor<OpenEXRFilter>::activate,
                                 kFilterTags);
ServerRegistration filterInterface(kFilterInterfacePosition, LWIMAGEFILTER_ICLASS,
                                   kFilterServerName,
                                   hostkit::ImageFilterAdaptor<OpenEXRFilter>::activateInterface,
                                   kFilterTags);
} // namespace

} // namespace ravelcast
