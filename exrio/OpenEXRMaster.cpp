#include "exrio/OpenEXRMaster.h"

#include <cstdint>

#include "exrio/CameraMatrices.h"
#include "hostkit/Fields.h"
#include "hostkit/MasterAdaptor.h"
#include "module/ServerRegistry.h"
#include "module/ServerTags.h"
#include "module/Version.h"
#include "panels/AboutBox.h"

namespace ravelcast {

namespace {

using hostkit::blockId;
using Fields = hostkit::FieldTable<SaverSettingsRecord>;

constexpr std::int16_t kMasterVersion = 1;

// The record's settings, once each: block, stored type, the values the
// savers can write (a load or a panel edit outside them changes nothing)
// and the panel control.
const Fields &masterFields()
{
    namespace fields = hostkit::fields;
    using hostkit::Stored;
    using Row = hostkit::Field<SaverSettingsRecord>;
    static const Fields table({
        fields::custom<SaverSettingsRecord>(
            {blockId("VERS"), "Version"},
            [](const Row &f, const SaverSettingsRecord &, hostkit::SaveState &s) {
                s.writeBlock(f.ident, kMasterVersion);
            },
            [](const Row &, SaverSettingsRecord &, hostkit::LoadState &s) -> hostkit::ErrorText {
                s.readI2();
                return {};
            },
            nullptr),
        fields::number<SaverSettingsRecord, &SaverSettingsRecord::pixelType>(
            {blockId("BPPX"), "PixelFormat"}, Stored::I2, 0, kPixelTypeCount - 1)
            .on(kMasterPixelType, "Pixel Format", hostkit::Control::Choice),
        fields::number<SaverSettingsRecord, &SaverSettingsRecord::compression>(
            {blockId("XCMP"), "Compression"}, Stored::I2, 0, kCompressionCount - 1)
            .on(kMasterCompression, "Compression", hostkit::Control::Choice),
        // Kept in a block of its own beside the record (saverColourSpace).
        fields::custom<SaverSettingsRecord>(
            {blockId("CSPC"), "ColourSpace"},
            [](const Row &f, const SaverSettingsRecord &, hostkit::SaveState &s) {
                s.writeBlock(f.ident, static_cast<std::int16_t>(*saverColourSpace()));
            },
            [](const Row &, SaverSettingsRecord &, hostkit::LoadState &s) -> hostkit::ErrorText {
                const auto v = s.readI2();
                if (v && *v >= 0 && *v < kColourSpaceCount)
                    *saverColourSpace() = *v;
                return {};
            },
            nullptr)
            .on(kMasterColourSpace, "Colour Space", hostkit::Control::Choice,
                [](const SaverSettingsRecord &) {
                    hostkit::PanelValue v;
                    v.i = *saverColourSpace();
                    return v;
                },
                [](const Row &, SaverSettingsRecord &, const hostkit::PanelValue &v) {
                    if (v.i < 0 || v.i >= kColourSpaceCount)
                        return false;
                    *saverColourSpace() = v.i;
                    return true;
                }),
    });
    return table;
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
                                           {kMasterColourSpace, "Colour Space", "iPopChoice"},
                                           {kMasterAboutButton, "About Ravelcast...", "vButton"},
                                           {0, nullptr, nullptr}};

const LWXPanelDataDesc kMasterData[] = {{kMasterCompression, "", "integer"},
                                        {kMasterPixelType, "", "integer"},
                                        {kMasterColourSpace, "", "integer"},
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
        static const NameList<kColourSpaceCount> colourSpaces(colourSpaceName);
        static const std::string title = std::string("OpenEXR Settings") + kVersion + " " +
                                         kPlatformTag;
        hostkit::HintList hints;
        hints.title(title.c_str())
            .items(kMasterCompression, compressions.items)
            .items(kMasterPixelType, pixelTypes.items)
            .items(kMasterColourSpace, colourSpaces.items);
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
    const auto *field = masterFields().byControl(vid);
    if (!field)
        return nullptr;
    panelValue_ = field->panelGet(*settings_).i;
    return &panelValue_;
}

int OpenEXRMaster::set(unsigned int vid, void *value)
{
    const auto *field = masterFields().byControl(vid);
    if (!value || !field)
        return 0;
    hostkit::PanelValue v;
    v.i = *static_cast<const int *>(value);
    if (!field->panelSet(*field, *settings_, v))
        return 0;
    notifyUpdate();
    return 1;
}

hostkit::ErrorText OpenEXRMaster::load(hostkit::LoadState &s)
{
    // A damaged scene must not hand savers a type the library cannot
    // write, nor a value that could not be read: the rows refuse them.
    hostkit::ErrorText ignored;
    while (unsigned int id = s.findBlock(masterFields().idents())) {
        masterFields().load(*settings_, id, s, ignored);
        s.endBlock();
    }
    return {};
}

hostkit::ErrorText OpenEXRMaster::save(hostkit::SaveState &s)
{
    masterFields().save(*settings_, s);
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
