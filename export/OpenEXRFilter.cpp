#include "export/OpenEXRFilter.h"
#include "export/FilterPanel.h"

#include <algorithm>
#include <cmath>


#include "export/BufferCatalogue.h"
#include "export/FramePlan.h"
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
    return FilterSettings::fields().ident(blockId(key));
}

using hostkit::trimmed;

} // namespace

OpenEXRFilter::OpenEXRFilter(void *, void *context, std::string &error)
    : ImageFilterHandler(context)
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
    if (const std::string path = hostkit::renderPath(); !path.empty())
        settings_.outputFile.set(path);
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
    // The saver no longer writes the rows of a filter that is gone.
    withdrawUserMetadata(&frame_);
    // The panel and the window call back into the filter: they go first.
    panel_.reset();
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
    return settings_.previewInUse(hostkit::inLayout());
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

// Cryptomatte reads the id buffers whether or not they are written
// themselves, and the alpha for its coverage at edges.
std::vector<int> matteBuffers(const FilterSettings &settings)
{
    std::vector<int> list;
    for (const MatteKind kind : settings.mattes())
        if (std::find(list.begin(), list.end(), matteHostBuffer(kind)) == list.end())
            list.push_back(matteHostBuffer(kind));
    if (!list.empty() && settings.cryptoAlphaEdges)
        list.push_back(hostkit::buffer::Alpha);
    return list;
}

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
    for (const int buffer : matteBuffers(settings_))
        add(buffer);
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
    for (const int buffer : matteBuffers(settings_))
        mask |= requestMaskOf(buffer);
    return mask;
}

const int *OpenEXRFilter::hcFlags()
{
    const std::vector<int> needed = neededBuffers(previewInUse());
    hcList_.assign(1, static_cast<int>(needed.size()));
    hcList_.insert(hcList_.end(), needed.begin(), needed.end());
    return hcList_.data();
}

std::string OpenEXRFilter::baseName() const { return settings_.baseName(hostkit::renderPath()); }

int OpenEXRFilter::previewWidth() const
{
    return settings_.previewScale == kCustomPreviewSize ? settings_.previewWidth
                                                        : frame_.data().previewWidth;
}

int OpenEXRFilter::previewHeight() const
{
    return settings_.previewScale == kCustomPreviewSize ? settings_.previewHeight
                                                        : frame_.data().previewHeight;
}

OpenEXRBuffer *OpenEXRFilter::currentBuffer() const
{
    if (current_ < 0 || current_ >= static_cast<int>(buffers_.size()))
        return nullptr;
    return buffers_[static_cast<std::size_t>(current_)].get();
}

bool OpenEXRFilter::setCurrentIndex(int index)
{
    if (index < 0 || index >= static_cast<int>(buffers_.size()))
        return false;
    current_ = index;
    if (preview_) {
        preview_->inspector().refresh();
        preview_->showIfOpen();
    }
    return true;
}

void OpenEXRFilter::setViperOptions(int mode)
{
    settings_.viperOptions = mode & 3;
    notifyUpdate();
}

void OpenEXRFilter::settingsChanged(bool picture)
{
    if (preview_) {
        // The kept frame as the settings process it now, at once.
        if (picture)
            preview_->showIfOpen();
        preview_->inspector().refreshIfCreated();
    }
    notifyUpdate();
}

int OpenEXRFilter::buildInterface(int, LWInterface *local, void *)
{
    if (!panel_)
        panel_ = std::make_unique<FilterPanel>(*this);
    if (!panel_->panel().id()) {
        panel_->build();
        // The preview window comes with the panel; without one the panel
        // goes on alone.
        if (!preview_ && hostkit::inLayout()) {
            preview_ = std::make_unique<BufferPreview>(*this);
            if (!preview_->exists())
                preview_.reset();
            else
                preview_->inspector().refresh();
        }
    }
    if (local)
        local->panel = panel_->panel().id();
    return AFUNC_OK;
}

const std::string &OpenEXRFilter::describe()
{
    description_ = "Orvo Ravelcast: ";
    const std::string base = baseName();
    if (!base.empty()) {
        const std::string name = layeredFileName(base, "exr", hostkit::TimeInfo().frame(),
                                                 settings_.nameFormat, hostNameContext());
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
    // Cryptomatte goes into the layered file, or beside a lossy single-part
    // one into files of its own.
    const int mattes = static_cast<int>(settings_.mattes().size());
    const bool matteFiles = settings_.mattesApart();
    layer |= mattes > 0 && !matteFiles;
    const int files = images + (layer ? 1 : 0) + (matteFiles ? mattes : 0);
    if (files > 0)
        description_ += " - " + std::to_string(files) + (files == 1 ? " File" : " Files");
    if (active > 0)
        description_ += " - " + std::to_string(active) + (active == 1 ? " Buffer" : " Buffers");
    return description_;
}

void OpenEXRFilter::copy(const OpenEXRFilter &o)
{
    FilterSettings::fields().copy(settings_, o.settings_);
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
    FilterSettings::fields().save(settings_, s, preset);
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
    const auto &fields = FilterSettings::fields();
    while (unsigned int id = s.findBlock(fields.idents())) {
        hostkit::FoundBlock block(s);
        if (fields.load(settings_, id, s, error))
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

std::vector<std::string> OpenEXRFilter::nameCollisions() const
{
    return collisionLines(planFrame(currentFrameFacts(), settings_, buffers_));
}

void OpenEXRFilter::process(const hostkit::FrameAccess &access)
{
    hostkit::FrameAccess::Progress progress(access);
    try {
        FrameWriter({settings_, buffers_, frame_, bands_}, access, progress).write();
    } catch (...) {
        // The host gets its frame back unchanged before the failure is told.
        handBack(access, false);
        throw;
    }
    handBack(access, settings_.postApplyDisplayGamma);
    if (preview_) {
        preview_->showIfOpen();
        preview_->inspector().refresh();
    }
}

void OpenEXRFilter::handBack(const hostkit::FrameAccess &A, bool postGamma) const
{
    namespace buffer = hostkit::buffer;
    const float inverse = 1.0f / static_cast<float>(settings_.displayGamma);
    for (int y = 0; y < A.height(); ++y) {
        const float *r = A.line(buffer::Red, y);
        const float *g = A.line(buffer::Green, y);
        const float *b = A.line(buffer::Blue, y);
        const float *a = A.line(buffer::Alpha, y);
        for (int x = 0; x < A.width(); ++x) {
            if (r && g && b) {
                float rgb[3] = {r[x], g[x], b[x]};
                if (postGamma)
                    for (float &v : rgb)
                        v = std::pow(v, inverse);
                A.setRGB(x, y, rgb);
            }
            if (a)
                A.setAlpha(x, y, a[x]);
        }
    }
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
