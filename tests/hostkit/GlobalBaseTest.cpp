// Service holders: one acquire for the first holder, one release for the
// last, nothing counted for a service the host lacks.

#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "hostkit/Global.h"
#include "hostkit/HostInfo.h"
#include "hostkit/Services.h"

namespace {

std::map<std::string, std::map<int, int>> g_calls;
LWTimeInfo g_time{2.5, 60};

void *fakeGlobal(const char *name, int use)
{
    ++g_calls[name][use];
    if (std::strcmp(name, LWTIMEINFO_GLOBAL) == 0 && use != GFUSE_RELEASE)
        return &g_time;
    if (std::strcmp(name, LWSYSTEMID_GLOBAL) == 0)
        return reinterpret_cast<void *>(std::uintptr_t{0x20000123});
    if (std::strcmp(name, LWPRODUCTINFO_GLOBAL) == 0)
        return reinterpret_cast<void *>(std::uintptr_t{(9u << 20) | (6u << 16) | (2345u << 4) | 1});
    return nullptr;
}

class GlobalBaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        hostkit::setGlobalFunction(fakeGlobal);
    }
    void TearDown() override { hostkit::setGlobalFunction(nullptr); }
};

TEST_F(GlobalBaseTest, FirstHolderAcquiresLastReleases)
{
    {
        hostkit::TimeInfo a;
        EXPECT_TRUE(a.available());
        EXPECT_EQ(a.frame(), 60);
        {
            hostkit::TimeInfo b;
            hostkit::TimeInfo c(b);
            EXPECT_EQ(hostkit::TimeInfo::holders(), 3);
            EXPECT_DOUBLE_EQ(c.time(), 2.5);
        }
        EXPECT_EQ(hostkit::TimeInfo::holders(), 1);
        EXPECT_EQ(g_calls[LWTIMEINFO_GLOBAL][GFUSE_RELEASE], 0);
    }
    EXPECT_EQ(hostkit::TimeInfo::holders(), 0);
    EXPECT_EQ(g_calls[LWTIMEINFO_GLOBAL][GFUSE_ACQUIRE], 1);
    EXPECT_EQ(g_calls[LWTIMEINFO_GLOBAL][GFUSE_RELEASE], 1);

    // The next holder acquires again.
    { hostkit::TimeInfo again; }
    EXPECT_EQ(g_calls[LWTIMEINFO_GLOBAL][GFUSE_ACQUIRE], 2);
    EXPECT_EQ(g_calls[LWTIMEINFO_GLOBAL][GFUSE_RELEASE], 2);
}

TEST_F(GlobalBaseTest, MissingServiceCountsNoHolder)
{
    {
        hostkit::SceneInfo scene;
        hostkit::DirInfo dirs;
        EXPECT_FALSE(scene.available());
        EXPECT_EQ(scene.table(), nullptr);
        EXPECT_EQ(hostkit::SceneInfo::holders(), 0);
        EXPECT_EQ(dirs.dir("Content"), "");
        hostkit::TimeInfo noTime;
        (void)noTime;
    }
    EXPECT_EQ(g_calls[LWSCENEINFO_GLOBAL][GFUSE_ACQUIRE], 1);
    EXPECT_EQ(g_calls[LWSCENEINFO_GLOBAL][GFUSE_RELEASE], 0);

    // Without any host a wrapper is simply unavailable.
    hostkit::setGlobalFunction(nullptr);
    hostkit::TimeInfo none;
    EXPECT_FALSE(none.available());
    EXPECT_EQ(none.frame(), 0);
}

TEST_F(GlobalBaseTest, HostWordsAreAskedTransiently)
{
    hostkit::beginActivation(fakeGlobal);
    EXPECT_EQ(g_calls[LWSYSTEMID_GLOBAL][GFUSE_TRANSIENT], 1);
    EXPECT_EQ(g_calls[LWPRODUCTINFO_GLOBAL][GFUSE_TRANSIENT], 1);
    EXPECT_TRUE(hostkit::inScreamerNet());
    EXPECT_EQ(hostkit::productMajor(), 9);
    EXPECT_EQ(hostkit::productMinor(), 6);
    EXPECT_EQ(hostkit::productBuild(), 2345);
    hostkit::beginActivation(fakeGlobal);
    EXPECT_EQ(g_calls[LWSYSTEMID_GLOBAL][GFUSE_TRANSIENT], 2);
}

} // namespace
