#include "exrio/OpenEXRMaster.h"

#include <cstdint>

#include "hostkit/MasterAdaptor.h"
#include "module/ServerRegistry.h"
#include "module/ServerTags.h"
#include "module/Version.h"
#include "panels/AboutBox.h"

namespace ravelcast {

namespace {

using hostkit::blockId;

const LWBlockIdent kMasterLevel[] = {{blockId("VERS"), "Version"},
                                     {blockId("BPPX"), "PixelFormat"},
                                     {blockId("XCMP"), "Compression"},
                                     {0, nullptr}};

constexpr std::int16_t kMasterVersion = 1;

const LWBlockIdent &ident(const char (&key)[5])
{
    return *hostkit::findIdent(kMasterLevel, blockId(key));
}

} // namespace

OpenEXRMaster::OpenEXRMaster(void *, void *context, std::string &)
    : XPanelMasterHandler(context), settings_(saverSettingsRecord())
{
    description_ = "OpenEXR Settings";
}

// The panel calls back into the master: it goes while the master is whole.
OpenEXRMaster::~OpenEXRMaster() { panel().reset(); }

const std::string &OpenEXRMaster::describe()
{
    description_ = std::string("Orvo OpenEXR: ") + pixelTypeName(settings_->pixelType) + " - " +
                   compressionName(settings_->compression);
    return description_;
}

double OpenEXRMaster::event(const LWMasterAccess *) { return 0.0; }

unsigned int OpenEXRMaster::flags() { return 0; }

namespace {

const LWXPanelControl kMasterControls[] = {{kMasterAbout, "", "dThumbnail"},
                                           {kMasterCompression, "Compression", "iPopChoice"},
                                           {kMasterPixelType, "Pixel Format", "iPopChoice"},
                                           {kMasterAboutButton, "About Ravelcast...", "vButton"},
                                           {0, nullptr, nullptr}};

const LWXPanelDataDesc kMasterData[] = {{kMasterCompression, "", "integer"},
                                        {kMasterPixelType, "", "integer"},
                                        {0, nullptr, nullptr}};

// The popups list every value the record may hold, by its name.
template <int N> struct NameList {
    const char *items[N + 1];
    explicit NameList(const char *(*name)(int))
    {
        for (int i = 0; i < N; ++i)
            items[i] = name(i);
        items[N] = nullptr;
    }
};

} // namespace

int OpenEXRMaster::buildInterface(int, LWInterface *local, void *)
{
    if (!panel().id()) {
        static const NameList<kCompressionCount> compressions(compressionName);
        static const NameList<kPixelTypeCount> pixelTypes(pixelTypeName);
        static const std::string title = std::string("OpenEXR Settings") + kVersion + " " +
                                         kPlatformTag;
        hostkit::HintList hints;
        hints.title(title.c_str())
            .items(kMasterCompression, compressions.items)
            .items(kMasterPixelType, pixelTypes.items);
        createViewPanel(kMasterControls, kMasterData, hints.data(), true);
    }
    if (local)
        local->panel = panel().id();
    return AFUNC_OK;
}

void OpenEXRMaster::draw(unsigned int cid, const hostkit::DrawContext &context)
{
    if (cid == kMasterAbout)
        drawAboutThumbnail(context);
}

void OpenEXRMaster::buttonClick(unsigned int cid)
{
    if (cid == kMasterAboutButton)
        showAboutPanel();
}

void *OpenEXRMaster::get(unsigned int vid)
{
    switch (vid) {
    case kMasterPixelType: return &settings_->pixelType;
    case kMasterCompression: return &settings_->compression;
    default: return nullptr;
    }
}

int OpenEXRMaster::set(unsigned int vid, void *value)
{
    if (!value)
        return 0;
    const int v = *static_cast<const int *>(value);
    switch (vid) {
    case kMasterPixelType:
        if (!validPixelType(v))
            return 0;
        settings_->pixelType = v;
        break;
    case kMasterCompression:
        if (!validCompression(v))
            return 0;
        settings_->compression = v;
        break;
    default: return 0;
    }
    notifyUpdate();
    return 1;
}

hostkit::ErrorText OpenEXRMaster::load(hostkit::LoadState &s)
{
    while (unsigned int id = s.findBlock(kMasterLevel)) {
        switch (id) {
        case blockId("VERS"): s.readI2(); break;
        case blockId("BPPX"): {
            // A damaged scene must not hand savers a type the library
            // cannot write, nor a value that could not be read.
            const auto v = s.readI2();
            if (v && validPixelType(*v))
                settings_->pixelType = *v;
            break;
        }
        case blockId("XCMP"): {
            const auto v = s.readI2();
            if (v && validCompression(*v))
                settings_->compression = *v;
            break;
        }
        }
        s.endBlock();
    }
    return {};
}

hostkit::ErrorText OpenEXRMaster::save(hostkit::SaveState &s)
{
    s.writeBlock(ident("VERS"), kMasterVersion);
    s.writeBlock(ident("BPPX"), static_cast<std::int16_t>(settings_->pixelType));
    s.writeBlock(ident("XCMP"), static_cast<std::int16_t>(settings_->compression));
    return {};
}

void OpenEXRMaster::copy(const OpenEXRMaster &) {}

namespace {
using Adaptor = hostkit::MasterAdaptor<OpenEXRMaster>;
ServerRegistration masterHandler(kMasterHandlerPosition, LWMASTER_HCLASS, kMasterServerName,
                                 Adaptor::activate, kMasterTags);
ServerRegistration masterInterface(kMasterInterfacePosition, LWMASTER_ICLASS, kMasterServerName,
                                   Adaptor::activateInterface, kMasterTags);
} // namespace

} // namespace ravelcast
