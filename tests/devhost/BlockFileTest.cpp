// Block I/O through the wrapper library's LoadState/SaveState over the
// development host's binary and text block files.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "devhost/BlockFile.h"
#include "hostkit/BlockIO.h"
#include "hostkit/File.h"

namespace {

using hostkit::blockId;
using hostkit::LoadState;
using hostkit::SaveState;

const LWBlockIdent kTop[] = {{blockId("VERS"), "Version"},   {blockId("GRUP"), "Group"},
                             {blockId("BOOL"), "Flag"},      {blockId("NUMS"), "Numbers"},
                             {blockId("NAME"), "Name"},      {LWID_ENDPLUGIN, "EndPlugin"},
                             {0, nullptr}};
const LWBlockIdent kGroup[] = {{blockId("NAME"), "Name"},
                               {blockId("FLOT"), "Float"},
                               {blockId("INNR"), "Inner"},
                               {0, nullptr}};
const LWBlockIdent kInner[] = {{blockId("BIGU"), "Big"}, {0, nullptr}};
const LWBlockIdent kExtra = {blockId("XTRA"), "Extra"};

const LWBlockIdent &ident(const LWBlockIdent *table, const char (&key)[5])
{
    return *hostkit::findIdent(table, blockId(key));
}

std::unique_ptr<devhost::BlockReader> readerFor(const devhost::BlockWriter &w, int ioMode)
{
    const std::string data = w.contents();
    if (ioMode == LWIO_BINARY)
        return std::make_unique<devhost::BinaryBlockReader>(data.substr(4));
    return std::make_unique<devhost::TextBlockReader>(data);
}

struct Read {
    int version = -1;
    std::string groupName, topName;
    float number = 0;
    unsigned int big = 0;
    bool flag = true;
    int nums[7] = {};
    float fp = 0;
    int levels = 0;
};

// The reading pattern every settings load follows, one table per level.
Read readAll(LoadState &s)
{
    Read r;
    while (unsigned int id = s.findBlock(kTop)) {
        ++r.levels;
        if (id == LWID_ENDPLUGIN) {
            s.endBlock();
            return r;
        }
        if (id == blockId("VERS"))
            r.version = s.readI2().value_or(-1);
        else if (id == blockId("NAME"))
            r.topName = s.readString().value_or("(unread)");
        else if (id == blockId("BOOL"))
            r.flag = s.readBool().value_or(false);
        else if (id == blockId("NUMS")) {
            r.nums[0] = s.readI1().value_or(-1);
            r.nums[1] = s.readU1().value_or(0);
            r.nums[2] = s.readI2().value_or(-1);
            r.nums[3] = s.readU2().value_or(0);
            r.nums[4] = s.readI4().value_or(-1);
            r.nums[5] = static_cast<int>(s.readU4().value_or(0));
            r.fp = s.readFP().value_or(-1.0f);
        } else if (id == blockId("GRUP")) {
            while (unsigned int g = s.findBlock(kGroup)) {
                if (g == blockId("NAME"))
                    r.groupName = s.readString().value_or("(unread)");
                else if (g == blockId("FLOT"))
                    r.number = s.readFP().value_or(-1.0f);
                else if (g == blockId("INNR"))
                    while (unsigned int i = s.findBlock(kInner)) {
                        if (i == blockId("BIGU"))
                            r.big = s.readU4().value_or(0);
                        s.endBlock();
                    }
                s.endBlock();
            }
        }
        s.endBlock();
    }
    return r;
}

class BlockFileTest : public ::testing::TestWithParam<int> {
protected:
    std::unique_ptr<devhost::BlockWriter> writer = devhost::makeBlockWriter(GetParam());
    SaveState save{writer->state()};
};

TEST_P(BlockFileTest, NestedRoundTripWithEveryType)
{
    save.writeBlock(ident(kTop, "VERS"), std::int16_t{2});
    save.beginBlock(ident(kTop, "GRUP"), false);
    save.writeBlock(ident(kGroup, "NAME"), std::string("quote \" back\\slash\nnew line"));
    save.writeBlock(ident(kGroup, "FLOT"), -0.1f);
    save.beginBlock(ident(kGroup, "INNR"), false);
    save.writeBlock(ident(kInner, "BIGU"), std::uint32_t{4000000000u});
    save.endBlock();
    save.endBlock();
    save.writeBlock(ident(kTop, "BOOL"), true);
    save.beginBlock(ident(kTop, "NUMS"), true);
    save.writeI1(-5);
    save.writeU1(200);
    save.writeI2(-300);
    save.writeU2(60000);
    save.writeI4(-2000000000);
    save.writeU4(123456789u);
    save.writeFP(3.14159274f);
    save.endBlock();

    auto reader = readerFor(*writer, GetParam());
    LoadState load(reader->state());
    Read r = readAll(load);
    EXPECT_EQ(r.version, 2);
    EXPECT_EQ(r.groupName, "quote \" back\\slash\nnew line");
    EXPECT_EQ(r.number, -0.1f);
    EXPECT_EQ(r.big, 4000000000u);
    EXPECT_TRUE(r.flag);
    EXPECT_EQ(r.nums[0], -5);
    EXPECT_EQ(r.nums[1], 200);
    EXPECT_EQ(r.nums[2], -300);
    EXPECT_EQ(r.nums[3], 60000);
    EXPECT_EQ(r.nums[4], -2000000000);
    EXPECT_EQ(r.nums[5], 123456789);
    EXPECT_EQ(r.fp, 3.14159274f);
    EXPECT_EQ(load.lastResult(), 1);
}

TEST_P(BlockFileTest, UnknownBlocksSkippedRepeatsWinAnyOrder)
{
    // Written in an order unlike the reader's, with an unknown nested block
    // between known ones and NAME twice.
    save.writeBlock(ident(kTop, "NAME"), std::string("first"));
    save.beginBlock(kExtra, false);
    save.writeBlock(ident(kTop, "VERS"), std::int16_t{99}); // inside the unknown block
    save.beginBlock(kExtra, true);
    save.writeString("deep");
    save.endBlock();
    save.endBlock();
    save.beginBlock(ident(kTop, "GRUP"), false);
    save.writeBlock(ident(kGroup, "FLOT"), 2.5f);
    save.writeBlock(kExtra, std::string("unknown inside a group"));
    save.writeBlock(ident(kGroup, "NAME"), std::string("grouped"));
    save.endBlock();
    save.writeBlock(ident(kTop, "NAME"), std::string("second"));
    save.writeBlock(ident(kTop, "VERS"), std::int16_t{3});

    auto reader = readerFor(*writer, GetParam());
    LoadState load(reader->state());
    Read r = readAll(load);
    EXPECT_EQ(r.topName, "second");
    EXPECT_EQ(r.version, 3);
    EXPECT_EQ(r.groupName, "grouped");
    EXPECT_EQ(r.number, 2.5f);
    EXPECT_EQ(r.levels, 4);
    // Absent blocks leave defaults.
    EXPECT_TRUE(r.flag);
    EXPECT_EQ(r.big, 0u);
}

TEST_P(BlockFileTest, BooleanTwoReadsFalseAndLongTextIsCut)
{
    save.beginBlock(ident(kTop, "BOOL"), true);
    save.writeU1(2);
    save.endBlock();
    const std::string longText(40000, 'x');
    save.writeBlock(ident(kTop, "NAME"), longText + "tail");
    save.writeBlock(ident(kTop, "VERS"), std::int16_t{7});

    auto reader = readerFor(*writer, GetParam());
    LoadState load(reader->state());
    Read r = readAll(load);
    EXPECT_FALSE(r.flag);
    EXPECT_EQ(r.topName, std::string(hostkit::kMaxStoredText, 'x'))
        << "texts are read up to the longest path a system takes";
    EXPECT_EQ(r.version, 7) << "the block after a cut text still reads";
}

TEST_P(BlockFileTest, EndBlockLeavesABlockReadOnlyInPart)
{
    save.beginBlock(ident(kTop, "NUMS"), true);
    for (int i = 0; i < 5; ++i)
        save.writeI4(i);
    save.endBlock();
    save.writeBlock(ident(kTop, "VERS"), std::int16_t{5});
    auto reader = readerFor(*writer, GetParam());
    LoadState load(reader->state());
    ASSERT_EQ(load.findBlock(kTop), blockId("NUMS"));
    EXPECT_EQ(load.readI4(), std::optional<std::int32_t>(0));
    load.endBlock();
    ASSERT_EQ(load.findBlock(kTop), blockId("VERS"));
    EXPECT_EQ(load.readI2(), std::optional<std::int16_t>(5));
    load.endBlock();
    EXPECT_EQ(load.findBlock(kTop), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothFormats, BlockFileTest, ::testing::Values(LWIO_BINARY, LWIO_ASCII),
                         [](const auto &info) {
                             return std::string(info.param == LWIO_BINARY ? "Binary" : "Text");
                         });

TEST(TextBlockFile, EndPluginStopsThePluginLevel)
{
    const std::string scene = "# a comment { not a block }\n"
                              "{ Version 2 } { Name \"a\" } # trailing comment\n"
                              "EndPlugin\n"
                              "{ Name \"after the plug-in\" }\n";
    devhost::TextBlockReader reader(scene);
    reader.setPluginLevel(true);
    LoadState load(reader.state());
    Read r = readAll(load);
    EXPECT_EQ(r.version, 2);
    EXPECT_EQ(r.topName, "a");
    reader.leavePlugin();
    ASSERT_NE(reader.peek(), nullptr);
    EXPECT_EQ(reader.peek()->text, "{");

    // A table without the marker simply sees the level end there.
    devhost::TextBlockReader again(scene);
    again.setPluginLevel(true);
    const LWBlockIdent noMarker[] = {{blockId("NAME"), "Name"}, {0, nullptr}};
    LoadState l2(again.state());
    ASSERT_EQ(l2.findBlock(noMarker), blockId("NAME"));
    l2.endBlock();
    EXPECT_EQ(l2.findBlock(noMarker), 0u);
}

TEST(TextBlockFile, MalformedTextNamesTheLine)
{
    try {
        devhost::TextBlockReader reader("{ Name \"ok\" }\n{ Name \"never closed }\n");
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "line 2: unterminated quoted string");
    }
}

TEST(BinaryBlockFile, DamagedLengthsEndTheLevel)
{
    devhost::BinaryBlockWriter w(false);
    SaveState s(w.state());
    s.writeBlock(ident(kTop, "VERS"), std::int16_t{4});
    std::string data = w.contents();
    data += std::string("NAME\x7F\xFF\xFF\xFFshort", 13); // claims 2 GiB
    devhost::BinaryBlockReader reader(data);
    LoadState load(reader.state());
    Read r = readAll(load);
    EXPECT_EQ(r.version, 4);
    EXPECT_EQ(r.topName, "");
}

class FileServiceTest : public testsupport::HostTest {};

TEST_F(FileServiceTest, BlockFilesOnDiskThroughFileIO)
{
    hostkit::setGlobalFunction(&devhost::Host::global);
    testsupport::TempDir dir;
    for (int mode : {LWIO_BINARY, LWIO_ASCII}) {
        const std::string path = dir.file(mode == LWIO_BINARY ? "a.cfg" : "a.txt");
        {
            hostkit::File out(path, hostkit::File::Write, mode);
            ASSERT_TRUE(out.isOpen());
            ASSERT_NE(out.saveState(), nullptr);
            EXPECT_EQ(out.loadState(), nullptr);
            out.saveState()->writeBlock(ident(kTop, "NAME"), std::string("on disk"));
        }
        hostkit::File in(path, hostkit::File::Read, mode);
        ASSERT_TRUE(in.isOpen());
        Read r = readAll(*in.loadState());
        EXPECT_EQ(r.topName, "on disk");
    }
    // Not a binary block file, and no file at all.
    testsupport::writeFile(dir.file("plain.txt"), "hello");
    EXPECT_FALSE(hostkit::File(dir.file("plain.txt"), hostkit::File::Read).isOpen());
    EXPECT_FALSE(hostkit::File(dir.file("missing.cfg"), hostkit::File::Read).isOpen());
    EXPECT_FALSE(hostkit::File(dir.file("no/such/folder/x.cfg"), hostkit::File::Write).isOpen());
    hostkit::setGlobalFunction(nullptr);
    EXPECT_EQ(host().services().use(LWFILEIOFUNCS_GLOBAL).acquires,
              host().services().use(LWFILEIOFUNCS_GLOBAL).releases);
}

} // namespace
