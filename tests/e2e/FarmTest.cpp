// A render farm in one folder: several devhost render nodes of one scene on
// overlapping frame ranges, the same frame by two nodes at once, a node
// killed in the middle of a frame, a full disk, files made read-only, links
// planted where the module writes. Every file under a final name must be
// whole and equal what a single node renders.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ImfChannelList.h>
#include <ImfInputFile.h>

#include "E2ESupport.h"

namespace {

namespace fs = std::filesystem;

// A scene of six frames: the layered file (ZIP), Diffuse Colour also as an
// image of its own, and the frame image through the module's own saver.
std::string farmScene(int width = 160, int height = 90, const std::string &prefix = "out/shot")
{
    return "{ Host { Version 10 0 2009 } { Mode \"screamernet\" } }\n"
           "{ Scene { Name \"farm.lws\" } { Frames 1 6 1 } { FrameSize " +
           std::to_string(width) + " " + std::to_string(height) + " } { RGBPrefix \"" + prefix +
           "\" } { ImageSaver \"OpenEXR(.exr)\" } }\n" + e2e::kPlugin +
           "{ NameFormatExt 11 } { Compression 3 }\n" + e2e::buffer("Final Render", "") +
           e2e::buffer("Alpha", "") + e2e::buffer("Depth", "{ PixelType 2 }") +
           e2e::buffer("Surface Normal", "") + e2e::buffer("Motion", "") +
           e2e::buffer("Diffuse Colour", "{ SaveAs 3 }") + e2e::kEnd;
}

using e2e::RenderNode;
using e2e::temporariesIn;

int renderOnce(const std::string &scene, const std::string &content, const std::string &frames = "",
               long fileSizeCap = 0)
{
    return RenderNode(scene, content, frames, fileSizeCap).wait();
}

// Every channel of a file's every pixel, bit for bit, as the library reads
// them back; fails the test when the file is not whole.
std::map<std::string, std::vector<std::uint32_t>> pixelsOf(const std::string &file)
{
    std::map<std::string, std::vector<std::uint32_t>> planes;
    Imf::InputFile in(file.c_str());
    EXPECT_TRUE(in.isComplete()) << file;
    for (const std::string &name : e2e::channelsOf(in.header())) {
        const std::vector<float> values = e2e::readPlane(file, name).values;
        std::vector<std::uint32_t> &bits = planes[name];
        bits.resize(values.size());
        std::memcpy(bits.data(), values.data(), values.size() * sizeof(float));
    }
    return planes;
}

void expectSameFiles(const std::string &got, const std::string &reference)
{
    const std::vector<std::string> names = testsupport::namesIn(reference);
    EXPECT_EQ(testsupport::namesIn(got), names);
    for (const std::string &name : names)
        EXPECT_TRUE(pixelsOf(got + "/" + name) == pixelsOf(reference + "/" + name)) << name;
}

class FarmTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    std::string scene = dir.file("farm.lws");
    std::string reference = dir.file("reference");
    std::string farm = dir.file("farm");

    void SetUp() override
    {
        testsupport::writeFile(scene, farmScene());
        ASSERT_EQ(renderOnce(scene, reference), 0);
        ASSERT_EQ(testsupport::namesIn(reference + "/out").size(), 18u);
    }
};

TEST_F(FarmTest, NodesSharingAFolderLeaveOnlyWholeFrames)
{
    // Overlapping ranges, two nodes on the same frame at the same moment,
    // and one node killed while it writes.
    std::vector<RenderNode> nodes;
    for (const char *frames : {"1-4", "3-6", "1-6", "2-5", "3-3", "3-3"})
        nodes.emplace_back(scene, farm, frames);
    RenderNode doomed(scene, farm, "1-6");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (temporariesIn(farm + "/out", doomed.pid).empty() &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    ASSERT_FALSE(temporariesIn(farm + "/out", doomed.pid).empty()) << "the node began a file";
    doomed.kill();
    EXPECT_EQ(doomed.wait(), -1);
    for (const RenderNode &n : nodes)
        EXPECT_EQ(n.wait(), 0) << "no node fails because another wrote the same name";

    // Every frame whole and as one node renders it; at most the killed
    // node's file in progress is left over.
    std::vector<std::string> finals;
    for (const std::string &name : testsupport::namesIn(farm + "/out"))
        if (name[0] != '.')
            finals.push_back(name);
    EXPECT_EQ(finals, testsupport::namesIn(reference + "/out"));
    for (const std::string &name : finals)
        EXPECT_TRUE(pixelsOf(farm + "/out/" + name) == pixelsOf(reference + "/out/" + name))
            << name;
    EXPECT_LE(temporariesIn(farm + "/out").size(), 1u);
    EXPECT_EQ(temporariesIn(farm + "/out"), temporariesIn(farm + "/out", doomed.pid));

    // The frame re-queued: its render cleans what the killed node left.
    ASSERT_EQ(renderOnce(scene, farm), 0);
    EXPECT_EQ(temporariesIn(farm + "/out"), std::vector<std::string>{});
    expectSameFiles(farm + "/out", reference + "/out");
}

TEST_F(FarmTest, FullDiskKeepsTheFramesThatWereThere)
{
    // A small file system of its own where this machine lets a test mount
    // one, filled up once the first frame is there; otherwise a cap on the
    // size of the node's files, which the system enforces the same way
    // (the write fails).
    const std::string disk = dir.file("disk");
    fs::create_directories(disk);
    const bool mounted = mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2m") == 0;
    struct Unmount {
        std::string at;
        bool on;
        ~Unmount()
        {
            if (on)
                umount2(at.c_str(), MNT_DETACH);
        }
    } unmount{disk, mounted};

    ASSERT_EQ(renderOnce(scene, disk, "1-1"), 0);
    const std::string out = disk + "/out";
    std::map<std::string, std::string> good;
    for (const std::string &name : testsupport::namesIn(out))
        good[name] = testsupport::readFile(out + "/" + name);
    ASSERT_EQ(good.size(), 3u);
    if (mounted) {
        struct statvfs space;
        ASSERT_EQ(statvfs(disk.c_str(), &space), 0);
        const std::uint64_t free = std::uint64_t(space.f_bavail) * space.f_frsize;
        ASSERT_GT(free, 32768u);
        testsupport::writeFile(disk + "/filler", std::string(free - 16384, 'f'));
    }

    // The frame again: every file fails, each earlier one stays as it
    // was, nothing unfinished is left behind, and the node fails the frame.
    EXPECT_EQ(renderOnce(scene, disk, "1-1", mounted ? 0 : 16384), 1);
    EXPECT_EQ(testsupport::namesIn(out).size(), good.size());
    for (const auto &[name, bytes] : good)
        EXPECT_TRUE(testsupport::readFile(out + "/" + name) == bytes) << name << " was kept";
    EXPECT_EQ(temporariesIn(out), std::vector<std::string>{});

    // The saver alone: an image converted over the frame image keeps the
    // good one under its name when it does not fit.
    if (mounted) {
        const std::string image = out + "/shot0001.exr";
        std::string messages;
        EXPECT_NE(e2e::devhostIn(dir.path(),
                                 "convert " + e2e::shellQuoted(reference + "/out/shot_0001.exr") +
                                     " " + e2e::shellQuoted(image) +
                                     " --pixel-type float --compression none",
                                 &messages),
                  0)
            << messages;
        EXPECT_NE(messages.find(image), std::string::npos) << messages;
        EXPECT_TRUE(testsupport::readFile(image) == good["shot0001.exr"]);
        EXPECT_EQ(temporariesIn(out), std::vector<std::string>{});
    }
}

TEST_F(FarmTest, LockedFilesAndPlantedLinksAreNeverWrittenThrough)
{
    ASSERT_EQ(renderOnce(scene, farm, "1-2"), 0);
    const std::string out = farm + "/out";

    // A finished frame made read-only is kept, and the node says why.
    const std::string locked = out + "/shot_0001.exr";
    const std::string lockedBytes = testsupport::readFile(locked);
    chmod(locked.c_str(), 0444);
    std::string messages;
    EXPECT_EQ(e2e::devhostIn(dir.path(),
                             "render " + e2e::shellQuoted(scene) + " --content " +
                                 e2e::shellQuoted(farm) + " --frames 1-1",
                             &messages),
              1);
    EXPECT_NE(messages.find("Cannot open image file \"" + locked +
                            "\". The file is read-only; it is kept as it is."),
              std::string::npos)
        << messages;
    EXPECT_TRUE(testsupport::readFile(locked) == lockedBytes);
    struct stat info;
    ASSERT_EQ(stat(locked.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    chmod(locked.c_str(), 0644);

    // A folder where a frame belongs is refused the same way.
    const std::string folder = out + "/shot_0002.exr";
    fs::remove(folder);
    fs::create_directory(folder);
    EXPECT_EQ(e2e::devhostIn(dir.path(),
                             "render " + e2e::shellQuoted(scene) + " --content " +
                                 e2e::shellQuoted(farm) + " --frames 2-2",
                             &messages),
              1);
    EXPECT_NE(messages.find("Cannot open image file \"" + folder + "\". It is a folder, not a file."),
              std::string::npos)
        << messages;
    fs::remove(folder);

    // Links at the names a writer might use: the old fixed temporary and a
    // real leftover of a killed node. Neither is followed.
    const std::string outside = dir.file("outside.txt");
    testsupport::writeFile(outside, "not the module's");
    fs::create_symlink(outside, locked + ".ravelcast-tmp");
    const RenderNode doomed(scene, farm, "1-1");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (temporariesIn(out, doomed.pid).empty() && std::chrono::steady_clock::now() < until &&
           waitpid(doomed.pid, nullptr, WNOHANG) == 0)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    doomed.kill();
    doomed.wait();
    const std::vector<std::string> left = temporariesIn(out, doomed.pid);
    if (!left.empty()) {
        fs::remove(out + "/" + left[0]);
        fs::create_symlink(outside, out + "/" + left[0]);
    }
    ASSERT_EQ(renderOnce(scene, farm, "1-2"), 0);
    EXPECT_EQ(testsupport::readFile(outside), "not the module's");
    for (const char *name : {"shot_0001.exr", "shot_0002.exr", "shot_Diff_0001.exr", "shot0001.exr"})
        EXPECT_TRUE(pixelsOf(out + "/" + name) == pixelsOf(reference + "/out/" + name)) << name;

    // A path longer than the system takes fails with the file and the
    // system's words, not a library's.
    std::string deep = "out";
    while (deep.size() < 4220)
        deep += "/" + std::string(200, 'd');
    testsupport::writeFile(scene, farmScene(160, 90, deep + "/shot"));
    EXPECT_EQ(e2e::devhostIn(dir.path(),
                             "render " + e2e::shellQuoted(scene) + " --content " +
                                 e2e::shellQuoted(farm) + " --frames 1-1",
                             &messages),
              1);
    EXPECT_NE(messages.find("Cannot create the folder \"" + farm + "/" + deep +
                            "\" for the layered file: File name too long"),
              std::string::npos)
        << messages.substr(0, 300);
    EXPECT_EQ(messages.find("filesystem error"), std::string::npos);

    // A name of 250 bytes, which the system takes, is written like any.
    const std::string longName = std::string(241, 'n');
    testsupport::writeFile(scene, farmScene(160, 90, "long/" + longName));
    ASSERT_EQ(renderOnce(scene, farm, "1-1"), 0);
    const std::string longFile = farm + "/long/" + longName + "_0001.exr";
    ASSERT_EQ(fs::path(longFile).filename().string().size(), 250u);
    EXPECT_TRUE(pixelsOf(longFile) == pixelsOf(reference + "/out/shot_0001.exr"));
}

} // namespace
