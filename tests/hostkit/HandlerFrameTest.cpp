// The handler frame, driven through the host's tables of a module loaded
// with dlopen: activation rules, callbacks, the exception barrier, service
// release and the open-panel command.

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <lwsdk/filter.h>
#include <lwsdk/system.h>

#include "TestSupport.h"
#include "devhost/BlockFile.h"
#include "devhost/Host.h"

namespace {

using devhost::AppliedServer;
using devhost::Message;

class HandlerFrameTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        testsupport::setEnv("FRAME_TEST_THROW", nullptr);
        testsupport::setEnv("FRAME_TEST_CREATE_ERROR", nullptr);
        load(testsupport::testModulePath("frame_test_module"));
    }
    void TearDown() override
    {
        testsupport::setEnv("FRAME_TEST_THROW", nullptr);
        testsupport::setEnv("FRAME_TEST_CREATE_ERROR", nullptr);
        HostTest::TearDown();
    }

    // Activates the filter handler with the given version into fresh tables.
    struct Tables {
        LWInstanceFuncs inst{};
        LWItemFuncs item{};
        LWImageFilterHandler filter{};
        int result = -1;
    };
    Tables activate(int version, bool withItems = true)
    {
        Tables t;
        t.filter.inst = &t.inst;
        t.filter.item = withItems ? &t.item : nullptr;
        t.result = host().activate(LWIMAGEFILTER_HCLASS, "FrameTest", version, &t.filter);
        return t;
    }

    std::string lastError()
    {
        auto errors = messages(Message::Error);
        return errors.empty() ? std::string() : errors.back();
    }
};

TEST_F(HandlerFrameTest, ActivationVersionRules)
{
    for (int version : {3, 6}) {
        Tables t = activate(version);
        EXPECT_EQ(t.result, AFUNC_BADVERSION) << version;
        EXPECT_EQ(t.inst.create, nullptr);
        EXPECT_EQ(t.filter.process, nullptr);
        EXPECT_EQ(t.filter.flags.mask, nullptr);
    }
    EXPECT_EQ(host().services().use(LWSYSTEMID_GLOBAL).transients, 0)
        << "a refused version touches nothing";

    Tables v4 = activate(4);
    Tables v5 = activate(5);
    ASSERT_EQ(v4.result, AFUNC_OK);
    ASSERT_EQ(v5.result, AFUNC_OK);
    // Both versions fill the same instance, item and process callbacks...
    EXPECT_EQ(v4.inst.create, v5.inst.create);
    EXPECT_EQ(v4.inst.destroy, v5.inst.destroy);
    EXPECT_EQ(v4.inst.copy, v5.inst.copy);
    EXPECT_EQ(v4.inst.load, v5.inst.load);
    EXPECT_EQ(v4.inst.save, v5.inst.save);
    EXPECT_EQ(v4.inst.descln, v5.inst.descln);
    EXPECT_EQ(v4.inst.priv, nullptr);
    EXPECT_EQ(v4.item.useItems, v5.item.useItems);
    EXPECT_EQ(v4.filter.process, v5.filter.process);
    // ...and differ in the flags callback: a bit mask or a counted list.
    ASSERT_NE(v4.filter.flags.mask, nullptr);
    ASSERT_NE(v5.filter.flags.list, nullptr);
    EXPECT_NE(reinterpret_cast<void *>(v4.filter.flags.mask),
              reinterpret_cast<void *>(v5.filter.flags.list));

    LWError err = nullptr;
    LWInstance inst = v4.inst.create(nullptr, nullptr, &err);
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(err, nullptr);
    EXPECT_EQ(v4.filter.flags.mask(inst), 0x1234u);
    const int *list = v5.filter.flags.list(inst);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], 2);
    EXPECT_EQ(list[1], LWBUF_DEPTH);
    EXPECT_EQ(list[2], LWBUF_SPECIAL);
    v4.inst.destroy(inst);

    // Every activation asks the host words again, transiently.
    EXPECT_EQ(host().services().use(LWSYSTEMID_GLOBAL).transients, 2);
    EXPECT_EQ(host().services().use(LWPRODUCTINFO_GLOBAL).transients, 2);
    EXPECT_EQ(host().services().use(LWMESSAGEFUNCS_GLOBAL).acquires, 1);
}

TEST_F(HandlerFrameTest, ItemFunctionsOnlyOutsideModelerAndWithATable)
{
    host().scene().host.mode = devhost::RunMode::Modeler;
    host().sceneChanged();
    Tables modeler = activate(5);
    EXPECT_EQ(modeler.result, AFUNC_OK);
    EXPECT_EQ(modeler.item.useItems, nullptr);
    EXPECT_EQ(modeler.item.changeID, nullptr);
    EXPECT_NE(modeler.filter.process, nullptr);

    host().scene().host.mode = devhost::RunMode::Layout;
    host().sceneChanged();
    Tables noTable = activate(5, false);
    EXPECT_EQ(noTable.result, AFUNC_OK);
    EXPECT_EQ(noTable.filter.item, nullptr);

    Tables layout = activate(5);
    ASSERT_NE(layout.item.useItems, nullptr);
    LWInstance inst = layout.inst.create(nullptr, nullptr, nullptr);
    const LWItemID *ids = layout.item.useItems(inst);
    ASSERT_NE(ids, nullptr);
    EXPECT_EQ(ids[0], reinterpret_cast<LWItemID>(0x30000001));
    EXPECT_EQ(ids[1], nullptr);
    const LWItemID change[] = {reinterpret_cast<LWItemID>(0x99), reinterpret_cast<LWItemID>(0x1),
                               reinterpret_cast<LWItemID>(0x30000001),
                               reinterpret_cast<LWItemID>(0x30000002), nullptr};
    layout.item.changeID(inst, change);
    ids = layout.item.useItems(inst);
    EXPECT_EQ(ids[0], reinterpret_cast<LWItemID>(0x30000002));
    layout.inst.destroy(inst);
}

TEST_F(HandlerFrameTest, CreateHandsBackErrorTextAndNoInstance)
{
    Tables t = activate(5);
    testsupport::setEnv("FRAME_TEST_CREATE_ERROR", "This plugin is for saving images only!");
    LWError err = nullptr;
    EXPECT_EQ(t.inst.create(nullptr, nullptr, &err), nullptr);
    ASSERT_NE(err, nullptr);
    EXPECT_STREQ(err, "This plugin is for saving images only!");
    testsupport::setEnv("FRAME_TEST_CREATE_ERROR", nullptr);

    testsupport::setEnv("FRAME_TEST_THROW", "create");
    err = nullptr;
    EXPECT_EQ(t.inst.create(nullptr, nullptr, &err), nullptr);
    ASSERT_NE(err, nullptr);
    EXPECT_STREQ(err, "test failure in create");
    testsupport::setEnv("FRAME_TEST_THROW", nullptr);

    err = reinterpret_cast<LWError>("stale");
    LWInstance inst = t.inst.create(nullptr, nullptr, &err);
    EXPECT_NE(inst, nullptr);
    EXPECT_EQ(err, nullptr);
    t.inst.destroy(inst);
    t.inst.destroy(nullptr); // ignored
    EXPECT_TRUE(messages(Message::Error).empty());
}

TEST_F(HandlerFrameTest, ExceptionsStopAtTheBoundary)
{
    AppliedServer &s = host().applyServer(LWIMAGEFILTER_HCLASS, "FrameTest");
    AppliedServer &other = host().applyServer(LWIMAGEFILTER_HCLASS, "FrameTestOther");
    LWInstance inst = s.instance;

    // Callbacks shown as a two-line error, answering their neutral result.
    testsupport::setEnv("FRAME_TEST_THROW", "process,flags,hcFlags,useItems,changeID");
    LWFilterAccess access{};
    s.filter.process(inst, &access);
    EXPECT_EQ(lastError(), "An exception occured in ImageFilter::Process():|test failure in process");
    EXPECT_EQ(s.filter.flags.list(inst), nullptr);
    EXPECT_EQ(lastError(), "An exception occured in ImageFilter::hcFlags():|test failure in hcFlags");
    EXPECT_EQ(s.item.useItems(inst), nullptr);
    EXPECT_EQ(lastError(), "An exception occured in Item::UseItems():|test failure in useItems");
    const LWItemID none[] = {nullptr};
    s.item.changeID(inst, none);
    EXPECT_EQ(lastError(), "An exception occured in Item::ChangeID():|test failure in changeID");

    Tables v4 = activate(4);
    EXPECT_EQ(v4.filter.flags.mask(inst), 0u);
    EXPECT_EQ(lastError(), "An exception occured in ImageFilter::Flags():|test failure in flags");

    // Callbacks that hand the description back as error text.
    const std::size_t errorsBefore = messages(Message::Error).size();
    testsupport::setEnv("FRAME_TEST_THROW", "load,save,copy,describe");
    devhost::TextBlockWriter writer;
    LWError e = s.inst.save(inst, writer.state());
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e, "test failure in save");
    devhost::TextBlockReader reader("{ Name \"x\" }");
    e = s.inst.load(inst, reader.state());
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e, "test failure in load");
    e = s.inst.copy(other.instance, inst);
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e, "test failure in copy");
    EXPECT_STREQ(s.inst.descln(inst), "test failure in describe");
    EXPECT_EQ(messages(Message::Error).size(), errorsBefore);

    // The interface activation.
    testsupport::setEnv("FRAME_TEST_THROW", "interface");
    LWInterface ui{inst, nullptr, nullptr, nullptr};
    EXPECT_EQ(host().activate(LWIMAGEFILTER_ICLASS, "FrameTest", 5, &ui), AFUNC_BADAPP);
    EXPECT_EQ(lastError(), "An exception occured in Xpanel::Interface():|test failure in interface");
    testsupport::setEnv("FRAME_TEST_THROW", nullptr);
    EXPECT_EQ(host().activate(LWIMAGEFILTER_ICLASS, "FrameTest", 3, &ui), AFUNC_BADVERSION);
    EXPECT_EQ(host().activate(LWIMAGEFILTER_ICLASS, "FrameTest", 5, nullptr), AFUNC_OK);
    EXPECT_EQ(host().activate(LWIMAGEFILTER_ICLASS, "FrameTest", 5, &ui), AFUNC_OK);

    // Without failures the same callbacks work.
    s.filter.process(inst, &access);
    EXPECT_STREQ(s.inst.descln(inst), "FrameTest: unnamed (1 frames)");
    devhost::TextBlockReader named("{ Name \"Shot 7\" }");
    EXPECT_EQ(s.inst.load(inst, named.state()), nullptr);
    EXPECT_EQ(s.inst.copy(other.instance, inst), nullptr);
    EXPECT_STREQ(other.inst.descln(other.instance), "FrameTest: Shot 7 (0 frames)");
}

TEST_F(HandlerFrameTest, EveryAcquiredServiceIsReleasedAtShutdown)
{
    AppliedServer &s = host().applyServer(LWIMAGEFILTER_HCLASS, "FrameTest");
    s.filter.flags.list(s.instance);
    ASSERT_EQ(host().runGeneric("Open_FrameTest"), AFUNC_OK);
    EXPECT_GT(host().services().use(LWMESSAGEFUNCS_GLOBAL).acquires, 0);
    EXPECT_GT(host().services().use(LWINSTUPDATE_GLOBAL).acquires, 0);
    host().unloadModule();
    EXPECT_TRUE(host().services().unreleased().empty());
    for (const auto &[name, use] : host().services().uses())
        EXPECT_EQ(use.acquires, use.releases) << name;
}

TEST_F(HandlerFrameTest, OpenPanelCommandAddsTheFilterThenEditsIt)
{
    ASSERT_EQ(host().runGeneric("Open_FrameTest"), AFUNC_OK);
    ASSERT_EQ(host().commands().size(), 2u);
    EXPECT_EQ(host().commands()[0], "ApplyServer ImageFilterHandler FrameTest");
    EXPECT_EQ(host().commands()[1], "EditServer ImageFilterHandler 1");
    ASSERT_EQ(host().scene().count(LWIMAGEFILTER_HCLASS), 1);
    ASSERT_EQ(host().edits().size(), 1u);
    EXPECT_EQ(host().edits()[0].serverName, "FrameTest");

    // Present already as the second filter: no new server, edit number 2.
    host().clearServers();
    host().applyServer(LWIMAGEFILTER_HCLASS, "FrameTestOther");
    host().applyServer(LWIMAGEFILTER_HCLASS, "FrameTest");
    ASSERT_EQ(host().runGeneric("Open_FrameTest"), AFUNC_OK);
    ASSERT_EQ(host().commands().size(), 3u);
    EXPECT_EQ(host().commands()[2], "EditServer ImageFilterHandler 2");
    EXPECT_EQ(host().scene().count(LWIMAGEFILTER_HCLASS), 2);
    EXPECT_EQ(host().edits().back().serverName, "FrameTest");

    // After another filter, a missing one is added third.
    host().clearServers();
    host().applyServer(LWIMAGEFILTER_HCLASS, "FrameTestOther");
    host().applyServer(LWIMAGEFILTER_HCLASS, "FrameTestOther");
    ASSERT_EQ(host().runGeneric("Open_FrameTest"), AFUNC_OK);
    EXPECT_EQ(host().commands()[3], "ApplyServer ImageFilterHandler FrameTest");
    EXPECT_EQ(host().commands()[4], "EditServer ImageFilterHandler 3");
}

} // namespace
