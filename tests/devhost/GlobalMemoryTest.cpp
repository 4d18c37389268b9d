// "Global Memory": named blocks through the host's table.

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <lwsdk/module.h>
#include <lwsdk/services.h>

#include "TestSupport.h"
#include "devhost/GlobalMemory.h"

namespace {

class GlobalMemoryTest : public testsupport::HostTest {};

TEST_F(GlobalMemoryTest, BlocksAreCreatedZeroFilledFoundAndIterated)
{
    auto *pool = static_cast<const LWGlobalPool *>(
        devhost::Host::global(LWGLOBALPOOL_GLOBAL, GFUSE_ACQUIRE));
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->first(), nullptr);
    EXPECT_EQ(pool->find("OpenEXRSaverSettings"), nullptr);

    auto *settings = static_cast<unsigned char *>(pool->create("OpenEXRSaverSettings", 12));
    ASSERT_NE(settings, nullptr);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(settings[i], 0) << i;
    settings[0] = 4;
    settings[11] = 15;
    LWMemChunk big = pool->create("Big", 100000);
    ASSERT_NE(big, nullptr);
    const auto *bytes = static_cast<const unsigned char *>(big);
    EXPECT_EQ(bytes[0] + bytes[50000] + bytes[99999], 0);
    LWMemChunk empty = pool->create("Empty", 0);
    ASSERT_NE(empty, nullptr);

    // Found by name, with what was written; the same name gives the same block.
    EXPECT_EQ(pool->find("OpenEXRSaverSettings"), settings);
    EXPECT_EQ(static_cast<unsigned char *>(pool->find("OpenEXRSaverSettings"))[11], 15);
    EXPECT_EQ(pool->create("OpenEXRSaverSettings", 12), settings);
    EXPECT_EQ(pool->create("OpenEXRSaverSettings", 8), settings);
    EXPECT_EQ(pool->create("OpenEXRSaverSettings", 13), nullptr)
        << "a smaller block than asked would be written past its end";
    EXPECT_EQ(settings[0], 4) << "asking again keeps the contents";

    // Iteration in the order of making, with names and sizes.
    LWMemChunk c = pool->first();
    ASSERT_EQ(c, settings);
    EXPECT_STREQ(pool->ID(c), "OpenEXRSaverSettings");
    EXPECT_EQ(pool->size(c), 12);
    c = pool->next(c);
    ASSERT_EQ(c, big);
    EXPECT_STREQ(pool->ID(c), "Big");
    EXPECT_EQ(pool->size(c), 100000);
    c = pool->next(c);
    ASSERT_EQ(c, empty);
    EXPECT_EQ(pool->size(c), 0);
    EXPECT_EQ(pool->next(c), nullptr);

    // Nonsense is answered with nothing.
    int notABlock = 0;
    EXPECT_EQ(pool->next(&notABlock), nullptr);
    EXPECT_EQ(pool->ID(&notABlock), nullptr);
    EXPECT_EQ(pool->size(&notABlock), 0);
    EXPECT_EQ(pool->ID(nullptr), nullptr);
    EXPECT_EQ(pool->find(nullptr), nullptr);
    EXPECT_EQ(pool->create(nullptr, 4), nullptr);
    EXPECT_EQ(pool->create("Negative", -1), nullptr);
    EXPECT_EQ(host().extensions().get<devhost::GlobalMemory>().count(), 3);

    devhost::Host::global(LWGLOBALPOOL_GLOBAL, GFUSE_RELEASE);
    EXPECT_TRUE(host().services().unreleased().empty());
}

TEST_F(GlobalMemoryTest, BlocksLastUntilTheHostGoes)
{
    auto *pool = static_cast<const LWGlobalPool *>(
        devhost::Host::global(LWGLOBALPOOL_GLOBAL, GFUSE_TRANSIENT));
    ASSERT_NE(pool, nullptr);
    pool->create("Kept", 4);
    // A module coming and going leaves the blocks in place.
    load(testsupport::testModulePath("frame_test_module"));
    host().unloadModule();
    EXPECT_NE(pool->find("Kept"), nullptr);
    host_.reset();
    host_ = std::make_unique<devhost::Host>();
    host_->messages().setOutput(nullptr, nullptr);
    pool = static_cast<const LWGlobalPool *>(
        devhost::Host::global(LWGLOBALPOOL_GLOBAL, GFUSE_TRANSIENT));
    EXPECT_EQ(pool->find("Kept"), nullptr) << "a new host starts empty";
}

} // namespace
