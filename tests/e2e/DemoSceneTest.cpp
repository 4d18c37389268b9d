// The main job's scene, rendered by the devhost program as scripts/demo
// does; every OpenEXR file it writes must satisfy an independent reader.

#include <algorithm>

#include <ImfChannelList.h>
#include <ImfIntAttribute.h>
#include <ImfStringAttribute.h>

#include "E2ESupport.h"

namespace {

TEST(DemoScene, RendersEveryFileAndEachPassesExrheader)
{
    testsupport::TempDir dir;
    std::string output;
    const std::string scene = std::string(EXAMPLES_DIR) + "/demo/demo.lws";
    ASSERT_EQ(testsupport::run(testsupport::devhostPath() + " render " + scene + " --content " +
                                   dir.path().string() + " --quiet",
                               &output),
              0)
        << output;
    std::vector<std::string> expected;
    for (const char *f : {"0001", "0002", "0003"}) {
        const std::string n = f;
        for (const std::string &file :
             {"renders/AO/demo_AO_" + n + ".png", "renders/Diff/demo_Diff_" + n + ".exr",
              "renders/Spec/demo_Spec_" + n + ".exr", "renders/demo" + n + ".png",
              "renders/demo_" + n + ".exr"})
            expected.push_back(testsupport::nativePath(file));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(e2e::filesIn(dir.path()), expected);

    if (testsupport::kIndependentReaders) {
        ASSERT_TRUE(testsupport::haveProgram("exrheader", "openexr"));
        for (const std::string &file : e2e::filesIn(dir.path())) {
            if (file.size() < 4 || file.substr(file.size() - 4) != ".exr")
                continue;
            const std::string path = dir.file(file);
            EXPECT_NO_THROW(e2e::headerOf(path)) << file;
            EXPECT_EQ(testsupport::run("exrheader '" + path + "' >/dev/null", &output), 0)
                << file << "\n" << output;
        }
    }
    const Imf::Header layered = e2e::headerOf(dir.file("renders/demo_0002.exr"));
    const auto channels = e2e::channelsOf(layered);
    for (const char *c : {"R", "A", "Z", "N.X", "Motion.Y", "ObjectID", "Diff.G", "CryptoObject00.R"})
        EXPECT_NE(std::find(channels.begin(), channels.end(), c), channels.end()) << c;
    EXPECT_EQ(layered.channels().findChannel("ObjectID")->type, Imf::UINT);
    EXPECT_EQ(layered.channels().findChannel("Z")->type, Imf::FLOAT);
    EXPECT_EQ(layered.channels().findChannel("CryptoObject00.R")->type, Imf::FLOAT);
    EXPECT_EQ(layered.channels().findChannel("CryptoObject01.R"), nullptr) << "two ranks, one layer";
    // The studio's fields, with the frame's tokens.
    EXPECT_EQ(layered.typedAttribute<Imf::StringAttribute>("shot").value(), "demo");
    EXPECT_EQ(layered.typedAttribute<Imf::IntAttribute>("renderFrame").value(), 2);
    const Imf::Header spec = e2e::headerOf(dir.file("renders/Spec/demo_Spec_0002.exr"));
    EXPECT_NE(spec.dataWindow(), spec.displayWindow()) << "the specular image is fitted";
}

} // namespace
