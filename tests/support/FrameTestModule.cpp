// A small module for testing the handler frame through the host's tables:
// a filter whose callbacks throw on request (FRAME_TEST_THROW names the
// callbacks, comma-separated) and a command that opens its panel.

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include <lwsdk/filter.h>
#include <lwsdk/generic.h>

#include "hostkit/FilterAdaptor.h"
#include "hostkit/ImageLoaderHandler.h"
#include "hostkit/ImageSaverHandler.h"
#include "hostkit/LayoutGenericHandler.h"
#include "hostkit/MasterAdaptor.h"
#include "hostkit/XPanelImageFilterHandler.h"
#include "hostkit/XPanelMasterHandler.h"
#include "module/ServerRegistry.h"

namespace {

void maybeThrow(const char *callback)
{
    const char *list = std::getenv("FRAME_TEST_THROW");
    if (!list)
        return;
    const std::string names = std::string(",") + list + ",";
    if (names.find(std::string(",") + callback + ",") != std::string::npos)
        throw std::runtime_error(std::string("test failure in ") + callback);
}

const LWBlockIdent kLevel[] = {{hostkit::blockId("VERS"), "Version"},
                               {hostkit::blockId("NAME"), "Name"},
                               {0, nullptr}};

class FrameTestFilter : public hostkit::XPanelImageFilterHandler {
public:
    FrameTestFilter(void *, void *context, std::string &error)
        : XPanelImageFilterHandler(context)
    {
        maybeThrow("create");
        if (const char *e = std::getenv("FRAME_TEST_CREATE_ERROR"))
            error = e;
        items_.emplace_back(reinterpret_cast<LWItemID>(0x30000001));
    }

    void copy(const FrameTestFilter &other)
    {
        maybeThrow("copy");
        name_ = other.name_;
    }

    hostkit::ErrorText load(hostkit::LoadState &state) override
    {
        maybeThrow("load");
        while (unsigned int id = state.findBlock(kLevel)) {
            if (id == hostkit::blockId("NAME"))
                name_ = state.readString().value_or("");
            state.endBlock();
        }
        return {};
    }

    hostkit::ErrorText save(hostkit::SaveState &state) override
    {
        maybeThrow("save");
        state.writeBlock(kLevel[0], std::int16_t{1});
        state.writeBlock(kLevel[1], name_);
        return {};
    }

    const std::string &describe() override
    {
        maybeThrow("describe");
        description_ = "FrameTest: " + name_ + " (" + std::to_string(processed_) + " frames)";
        return description_;
    }

    const LWItemID *useItems() override
    {
        maybeThrow("useItems");
        return ItemHandler::useItems();
    }

    void changeID(const LWItemID *ids) override
    {
        maybeThrow("changeID");
        ItemHandler::changeID(ids);
    }

    void process(const hostkit::FrameAccess &frame) override
    {
        maybeThrow("process");
        ++processed_;
        frame.setAlpha(0, 0, 0.5f);
    }

    unsigned int flags() override
    {
        maybeThrow("flags");
        return 0x1234u;
    }

    const int *hcFlags() override
    {
        maybeThrow("hcFlags");
        static const int list[] = {2, LWBUF_DEPTH, LWBUF_SPECIAL};
        return list;
    }

    int buildInterface(int, LWInterface *local, void *) override
    {
        maybeThrow("interface");
        local->panel = nullptr;
        return AFUNC_OK;
    }

private:
    std::string name_ = "unnamed";
    int processed_ = 0;
};

// A master whose event and flags throw on request.
class FrameTestMaster : public hostkit::XPanelMasterHandler {
public:
    FrameTestMaster(void *, void *context, std::string &) : XPanelMasterHandler(context) {}
    void copy(const FrameTestMaster &) {}
    hostkit::ErrorText load(hostkit::LoadState &) override { return {}; }
    hostkit::ErrorText save(hostkit::SaveState &) override { return {}; }
    double event(const LWMasterAccess *access) override
    {
        maybeThrow("event");
        return access ? access->eventCode : -1.0;
    }
    unsigned int flags() override
    {
        maybeThrow("masterFlags");
        return 7u;
    }
    int buildInterface(int, LWInterface *, void *) override
    {
        maybeThrow("masterInterface");
        return AFUNC_OK;
    }
};

// A saver whose protocol operations throw on request; it writes nothing.
class FrameTestSaver : public hostkit::ImageSaverHandler {
public:
    FrameTestSaver(int type, LWImageSaverLocal *local) : ImageSaverHandler(type, local)
    {
        maybeThrow("saverCreate");
    }
    void setSize(int, int) override { maybeThrow("setSize"); }
    int done(int code) override
    {
        maybeThrow("done");
        return code;
    }
    int metadataItem(int, const char *) override
    {
        maybeThrow("sendMeta");
        return 1;
    }
    void setParameter(int, int, float) override { maybeThrow("setParam"); }
    int sendLine(int, const void *) override
    {
        maybeThrow("sendLine");
        return IPSTAT_OK;
    }
};

// A loader that begins a grey image of 2 x 2, sends one row and then
// throws on request.
class FrameTestLoader : public hostkit::ImageLoaderHandler {
public:
    using ImageLoaderHandler::ImageLoaderHandler;
    int load(const std::string &) override
    {
        if (!beginImage(LWIMTYP_GREYFP))
            return IPSTAT_FAILED;
        setSize(2, 2);
        const float row[2] = {0.25f, 0.75f};
        if (const int code = sendLine(0, row))
            return code;
        maybeThrow("load");
        return sendLine(1, row);
    }
};

class OpenFrameTestUI : public hostkit::OpenPanelCommand {
public:
    OpenFrameTestUI() : OpenPanelCommand(LWIMAGEFILTER_HCLASS, "FrameTest") {}
};

ServerTagInfo kTags[] = {{"Frame test filter", SRVTAG_USERNAME}, {nullptr, 0}};

ravelcast::ServerRegistration handler(1, LWIMAGEFILTER_HCLASS, "FrameTest",
                                      hostkit::ImageFilterAdaptor<FrameTestFilter>::activate,
                                      kTags);
ravelcast::ServerRegistration ui(2, LWIMAGEFILTER_ICLASS, "FrameTest",
                                 hostkit::ImageFilterAdaptor<FrameTestFilter>::activateInterface,
                                 kTags);
ravelcast::ServerRegistration open(3, LWLAYOUTGENERIC_CLASS, "Open_FrameTest",
                                   hostkit::LayoutGenericAdaptor<OpenFrameTestUI>::activate, kTags);
// A second filter of the same class, to place FrameTest second in a scene.
ravelcast::ServerRegistration other(4, LWIMAGEFILTER_HCLASS, "FrameTestOther",
                                    hostkit::ImageFilterAdaptor<FrameTestFilter>::activate,
                                    kTags);

ravelcast::ServerRegistration master(5, LWMASTER_HCLASS, "FrameTestMaster",
                                     hostkit::MasterAdaptor<FrameTestMaster>::activate, kTags);
ravelcast::ServerRegistration masterUI(6, LWMASTER_ICLASS, "FrameTestMaster",
                                       hostkit::MasterAdaptor<FrameTestMaster>::activateInterface,
                                       kTags);
ravelcast::ServerRegistration saver(7, LWIMAGESAVER_CLASS, "FrameTestSaver",
                                    hostkit::ImageSaverAdaptor<FrameTestSaver>::activate, kTags);
ravelcast::ServerRegistration loader(8, LWIMAGELOADER_CLASS, "FrameTestLoader",
                                     hostkit::ImageLoaderAdaptor<FrameTestLoader>::activate,
                                     kTags);

} // namespace
