#include "export/OpenEXRFilter.h"

#include <algorithm>

#include <lwsdk/filter.h>

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

const LWBlockIdent kFilterLevel[] = {
    {blockId("VERS"), "Version"},       {blockId("FNAM"), "FileName"},
    {blockId("USLW"), "useRGBPrefix"},  {blockId("FFRM"), "NameFormat"},
    {blockId("XCMP"), "Compression"},   {blockId("BUFF"), "Buffer"},
    {blockId("SFRM"), "SingleFileNameFormat"}, {blockId("VIPR"), "LayoutRenderMode"},
    {blockId("VIOP"), "VIPEROptions"},  {blockId("PRVW"), "EmbedPreview"},
    {blockId("PRSC"), "PreviewScale"},  {blockId("PRWI"), "PreviewWidth"},
    {blockId("PRHE"), "PreviewHeight"}, {blockId("AUTH"), "Author"},
    {blockId("CMNT"), "Comment"},       {blockId("FFRX"), "NameFormatExt"},
    {blockId("DGAM"), "DisplayGamma"},  {blockId("PDGM"), "PostApplyDisplayGamma"},
    {blockId("CFNM"), "CustomFileName"}, {LWID_ENDPLUGIN, "EndPlugin"},
    {0, nullptr}};

const LWBlockIdent kBufferEntry[] = {
    {blockId("BNAM"), "Name"}, {blockId("BSET"), "Settings"}, {0, nullptr}};

constexpr std::int16_t kSettingsVersion = 2;

const LWBlockIdent &ident(const char (&key)[5])
{
    return *hostkit::findIdent(kFilterLevel, blockId(key));
}

using hostkit::trimmed;

template <class T> void keepIfIn(T &field, long value, long lo, long hi)
{
    // Values a damaged scene could hold are not taken over.
    if (value >= lo && value <= hi)
        field = static_cast<T>(value);
}

} // namespace

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
}

OpenEXRFilter::~OpenEXRFilter()
{
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

std::vector<int> OpenEXRFilter::neededBuffers(bool all) const
{
    std::vector<int> list;
    for (const auto &b : buffers_)
        if (all || b->active())
            for (int c = 0; c < b->channelCount(); ++c)
                list.push_back(b->channel(c).hostBuffer());
    return list;
}

unsigned int OpenEXRFilter::flags()
{
    const bool all = previewInUse();
    unsigned int mask = 0;
    for (const auto &b : buffers_)
        if (all || b->active())
            for (int c = 0; c < b->channelCount(); ++c)
                mask |= static_cast<unsigned int>(b->channel(c).requestMask());
    return mask;
}

const int *OpenEXRFilter::hcFlags()
{
    const std::vector<int> needed = neededBuffers(previewInUse());
    hcList_.assign(1, static_cast<int>(needed.size()));
    hcList_.insert(hcList_.end(), needed.begin(), needed.end());
    return hcList_.data();
}

int OpenEXRFilter::buildInterface(int, LWInterface *local, void *)
{
    // The settings are edited through scenes and presets; no panel is
    // handed to the host.
    if (local)
        local->panel = nullptr;
    return AFUNC_OK;
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
    useRGBPrefix_ = o.useRGBPrefix_;
    nameFormat_ = o.nameFormat_;
    singleNameFormat_ = o.singleNameFormat_;
    customFileName_ = o.customFileName_;
    compression_ = o.compression_;
    layoutRenderMode_ = o.layoutRenderMode_;
    viperOptions_ = o.viperOptions_;
    embedPreview_ = o.embedPreview_;
    previewScale_ = o.previewScale_;
    previewWidth_ = o.previewWidth_;
    previewHeight_ = o.previewHeight_;
    postApplyDisplayGamma_ = o.postApplyDisplayGamma_;
    displayGamma_ = o.displayGamma_;
    comment_ = o.comment_;
    author_ = o.author_;
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
        s.beginBlock(ident("FNAM"), false);
        s.writeString(outputFile_.fullPath());
        s.endBlock();
    }
    s.writeBlock(ident("USLW"), useRGBPrefix_);
    s.writeBlock(ident("FFRX"), static_cast<std::int32_t>(nameFormat_));
    s.writeBlock(ident("CFNM"), customFileName_);
    s.writeBlock(ident("SFRM"), static_cast<std::int32_t>(singleNameFormat_));
    s.writeBlock(ident("VIPR"), static_cast<std::uint32_t>(layoutRenderMode_));
    s.writeBlock(ident("VIOP"), static_cast<std::uint32_t>(viperOptions_));
    s.writeBlock(ident("DGAM"), static_cast<float>(displayGamma_));
    s.writeBlock(ident("PDGM"), postApplyDisplayGamma_);
    s.writeBlock(ident("PRVW"), embedPreview_);
    s.writeBlock(ident("PRSC"), static_cast<std::int32_t>(previewScale_));
    s.writeBlock(ident("PRWI"), static_cast<std::int32_t>(previewWidth_));
    s.writeBlock(ident("PRHE"), static_cast<std::int32_t>(previewHeight_));
    s.writeBlock(ident("AUTH"), author_);
    s.writeBlock(ident("CMNT"), comment_);
    s.writeBlock(ident("XCMP"), static_cast<std::int16_t>(compression_));
    for (const auto &b : buffers_) {
        if (!preset && !b->active())
            continue;
        s.beginBlock(ident("BUFF"), false);
        s.writeBlock(kBufferEntry[0], b->displayName());
        s.beginBlock(kBufferEntry[1], false);
        if (hostkit::ErrorText e = b->save(s); !e.empty())
            return e;
        s.endBlock();
        s.endBlock();
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
    while (unsigned int id = s.findBlock(kFilterLevel)) {
        switch (id) {
        case LWID_ENDPLUGIN:
            s.endBlock();
            return error;
        case blockId("VERS"):
            version = s.readI2();
            if (version > kSettingsVersion)
                error = "These settings require a newer version of Ravelcast to read.";
            break;
        case blockId("FFRX"): keepIfIn(nameFormat_, s.readI4(), 0, 15); break;
        case blockId("FFRM"): {
            const int v = s.readI4();
            nameFormat_ = (v & 3) | ((v & 4) * 2);
            break;
        }
        case blockId("USLW"): useRGBPrefix_ = s.readBool(); break;
        case blockId("CFNM"): customFileName_ = s.readString(); break;
        case blockId("SFRM"): keepIfIn(singleNameFormat_, s.readI4(), 0, 4); break;
        case blockId("VIPR"): keepIfIn(layoutRenderMode_, s.readU4(), 0, 2); break;
        case blockId("VIOP"): keepIfIn(viperOptions_, s.readU4(), 0, 3); break;
        case blockId("PDGM"): postApplyDisplayGamma_ = s.readBool(); break;
        case blockId("PRVW"): embedPreview_ = s.readBool(); break;
        case blockId("PRSC"): keepIfIn(previewScale_, s.readI4(), 0, kCustomPreviewSize); break;
        case blockId("PRWI"): keepIfIn(previewWidth_, s.readI4(), 0, 1 << 16); break;
        case blockId("PRHE"): keepIfIn(previewHeight_, s.readI4(), 0, 1 << 16); break;
        case blockId("AUTH"): author_ = s.readString(); break;
        case blockId("CMNT"): comment_ = s.readString(); break;
        case blockId("XCMP"): keepIfIn(compression_, s.readI2(), 0, 7); break;
        case blockId("DGAM"): displayGamma_ = s.readFP(); break;
        case blockId("FNAM"): {
            const std::string name = s.readString();
            if (!name.empty())
                outputFile_.set(name);
            break;
        }
        case blockId("BUFF"): {
            std::string name;
            while (unsigned int b = s.findBlock(kBufferEntry)) {
                if (b == blockId("BNAM")) {
                    name = trimmed(s.readString());
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
                s.endBlock();
            }
            break;
        }
        }
        s.endBlock();
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
