// The master, saver and loader frames, driven through the host's tables of
// a test module: exceptions stop at the boundary with their messages and
// neutral answers, and a loader's begun image is handed back even when the
// load throws.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <lwsdk/imageio.h>
#include <lwsdk/master.h>

#include "TestSupport.h"
#include "devhost/Host.h"

namespace {

using devhost::Message;

class ImageHandlerFrameTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        testsupport::setEnv("FRAME_TEST_THROW", nullptr);
        load(testsupport::testModulePath("frame_test_module"));
    }
    void TearDown() override
    {
        testsupport::setEnv("FRAME_TEST_THROW", nullptr);
        HostTest::TearDown();
    }
    void throwIn(const char *callbacks) { testsupport::setEnv("FRAME_TEST_THROW", callbacks); }
    std::vector<std::string> errors() const { return messages(Message::Error); }
};

TEST_F(ImageHandlerFrameTest, MasterCallbacksStopExceptions)
{
    devhost::AppliedServer &m = host().applyServer(LWMASTER_HCLASS, "FrameTestMaster");
    LWMasterAccess access{5, nullptr, nullptr, nullptr};
    EXPECT_EQ(m.master.event(m.instance, &access), 5.0);
    EXPECT_EQ(m.master.flags(m.instance), 7u);
    EXPECT_EQ(m.master.event(nullptr, &access), 0.0) << "a null instance is ignored";

    throwIn("event,masterFlags");
    EXPECT_EQ(m.master.event(m.instance, &access), 0.0);
    EXPECT_EQ(m.master.flags(m.instance), 0u);
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "An exception occured in MasterAdaptor::Event():|test failure in event",
                            "An exception occured in MasterAdaptor::Flags():|test failure in "
                            "masterFlags"}));

    throwIn("masterInterface");
    LWInterface ui{m.instance, nullptr, nullptr, nullptr};
    EXPECT_EQ(host().activate(LWMASTER_ICLASS, "FrameTestMaster", LWMASTER_VERSION, &ui),
              AFUNC_BADAPP);
    EXPECT_EQ(errors().back(),
              "An exception occured in Xpanel::Interface():|test failure in masterInterface");
}

TEST_F(ImageHandlerFrameTest, SaverCallbacksStopExceptions)
{
    struct Sent {
        int size = -1, meta = -1, line = -1, done = -1;
    } sent;
    LWImageSaverLocal local{};
    local.priv_data = &sent;
    local.type = LWIMTYP_GREY8;
    local.filename = "nothing.exr";
    local.sendData = [](void *priv, LWImageProtocolID p, int) {
        auto *s = static_cast<Sent *>(priv);
        p->setSize(p->priv_data, 1, 1);
        s->meta = p->sendMeta(p->priv_data, 25, "text");
        const unsigned char px = 7;
        s->line = p->sendLine(p->priv_data, 0, &px);
        s->done = p->done(p->priv_data, IPSTAT_OK);
        return s->done;
    };
    EXPECT_EQ(host().activate(LWIMAGESAVER_CLASS, "FrameTestSaver", 3, &local), AFUNC_OK);
    EXPECT_EQ(local.result, IPSTAT_OK);
    EXPECT_EQ(sent.meta, 1);
    EXPECT_TRUE(errors().empty());

    throwIn("setSize,sendMeta,sendLine,done");
    EXPECT_EQ(host().activate(LWIMAGESAVER_CLASS, "FrameTestSaver", 3, &local), AFUNC_OK);
    EXPECT_EQ(sent.meta, 0);
    EXPECT_EQ(sent.line, IPSTAT_FAILED);
    EXPECT_EQ(sent.done, IPSTAT_FAILED);
    EXPECT_EQ(local.result, IPSTAT_FAILED) << "a failed done is a failed save";
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "An exception occured in ImageSaver::SetSize():|test failure in setSize",
                            "An exception occured in ImageSaver::SendMeta():|test failure in "
                            "sendMeta",
                            "An exception occured in ImageSaver::SendLine():|test failure in "
                            "sendLine",
                            "An exception occured in ImageSaver::Done():|test failure in done"}));

    // A failure while the saver is made ends the activation.
    throwIn("saverCreate");
    local.result = 0;
    EXPECT_EQ(host().activate(LWIMAGESAVER_CLASS, "FrameTestSaver", 2, &local),
              AFUNC_BADAPP_SILENT);
    EXPECT_EQ(local.result, IPSTAT_FAILED);
    EXPECT_EQ(errors().back(), "An exception occured when attempting to save an image:|test "
                               "failure in saverCreate");
}

TEST_F(ImageHandlerFrameTest, LoaderHandsTheImageBackWhenTheLoadThrows)
{
    struct Seen {
        LWImageProtocol protocol{};
        int lines = 0, protocolDone = 0, doneCode = -1, hostDone = 0;
    } seen;
    LWImageLoaderLocal local{};
    local.priv_data = &seen;
    local.filename = "whatever";
    local.begin = [](void *priv, int) -> LWImageProtocolID {
        auto *s = static_cast<Seen *>(priv);
        s->protocol.priv_data = s;
        s->protocol.sendLine = [](void *p, int, const void *) {
            ++static_cast<Seen *>(p)->lines;
            return IPSTAT_OK;
        };
        s->protocol.done = [](void *p, int code) {
            auto *s = static_cast<Seen *>(p);
            ++s->protocolDone;
            s->doneCode = code;
            return code;
        };
        return &s->protocol;
    };
    local.done = [](void *priv, LWImageProtocolID) { ++static_cast<Seen *>(priv)->hostDone; };

    EXPECT_EQ(host().activate(LWIMAGELOADER_CLASS, "FrameTestLoader", 3, &local), AFUNC_OK);
    EXPECT_EQ(local.result, IPSTAT_OK);
    EXPECT_EQ(seen.lines, 2);
    EXPECT_EQ(seen.protocolDone, 1);
    EXPECT_EQ(seen.hostDone, 1);

    seen = Seen{};
    throwIn("load");
    EXPECT_EQ(host().activate(LWIMAGELOADER_CLASS, "FrameTestLoader", 3, &local),
              AFUNC_BADAPP_SILENT);
    EXPECT_EQ(local.result, IPSTAT_FAILED);
    EXPECT_EQ(seen.lines, 1);
    EXPECT_EQ(seen.protocolDone, 1);
    EXPECT_EQ(seen.doneCode, IPSTAT_FAILED);
    EXPECT_EQ(seen.hostDone, 1);
    EXPECT_EQ(errors(), std::vector<std::string>{"An exception occured when attempting to load an "
                                                 "image:|test failure in load"});

    EXPECT_EQ(host().activate(LWIMAGELOADER_CLASS, "FrameTestLoader", 4, &local),
              AFUNC_BADVERSION);
}

} // namespace
