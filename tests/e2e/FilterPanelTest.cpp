// The filter's panel driven by `devhost ui` scripts through the real
// module: its controls, enable rules, value rules, Quick Buffer Enable on
// three host versions, and the scene it saves.
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "E2ESupport.h"
#include "devhost/Panels.h"
#include "devhost/SceneFile.h"
#include "devhost/tools/UiScript.h"

namespace {

using testsupport::TempDir;

using e2e::devhostIn;
std::string quoted(const std::string &s) { return e2e::shellQuoted(s); }

std::string script(const std::string &name)
{
    return quoted(std::string(DOCS_DIR) + "/tests/ui/" + name);
}

std::string scene(const std::string &version)
{
    return "{ Host { Version " + version + " } { Mode \"layout\" } }\n"
           "{ Scene { Name \"panel.lws\" } { FrameSize 640 360 } { RGBPrefix \"renders/p\" } }\n";
}

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

TEST(FilterPanelTest, EditsWhatTheSavedSceneHolds)
{
    TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"), scene("10 0 2009"));
    std::string out;
    ASSERT_EQ(devhostIn(dir.path(), "ui scene.lws " + script("filter-panel.ui"), &out), 0) << out;
    EXPECT_TRUE(has(out, "Scale = 50% (set answered 3)")) << out;
    const std::string saved = testsupport::readFile(dir.file("saved.lws"));
    for (const char *part :
         {"{ useRGBPrefix 0 }",
#if defined(_WIN32)
          "out\\\\frames", // the platform's '\\', written as "\\\\" in a scene's text
#else
          "out/frames",
#endif
          "{ SingleFileNameFormat 4 }",
          "{ CustomFileName \"pass\" }", "{ EmbedPreview 1 }", "{ PreviewScale 5 }",
          "{ PreviewWidth 100 }", "{ Author \"A. Artist\" }", "{ Compression 4 }",
          "{ EXRBufferName \"shadowpass\" }", "{ PixelType 2 }",
          "{ DWACompressionLevel 80 }", "{ MultiPart 1 }"})
        EXPECT_TRUE(has(saved, part)) << part << "\n" << saved;
    // The saved scene opens with the same values.
    testsupport::writeFile(dir.file("check.ui"),
                           "open Ravelcast\nexpect \"Use Render Path\" 0\n"
                           "expect \"Custom Single Image Name\" pass\nexpect Width 100\n"
                           "set Buffer Shadow\nexpect Enabled 1\n"
                           "expect \"Layer Name\" shadowpass\nexpect \"Gamma Correction\" 2.2\n");
    // The buffer popup names the buffer with its outputs once enabled.
    std::string again;
    EXPECT_NE(devhostIn(dir.path(), "ui saved.lws check.ui", &again), 0)
        << "\"Shadow\" is listed as \"Shadow (layer)\" once enabled";
    testsupport::writeFile(dir.file("check.ui"),
                           "open Ravelcast\nexpect \"Use Render Path\" 0\n"
                           "expect \"Custom Single Image Name\" pass\nexpect Width 100\n"
                           "set Buffer \"Shadow (layer)\"\nexpect Enabled 1\n"
                           "expect \"Layer Name\" shadowpass\nexpect \"Gamma Correction\" 2.2\n");
    ASSERT_EQ(devhostIn(dir.path(), "ui saved.lws check.ui", &again), 0) << again;
}

TEST(FilterPanelTest, QuickEnableFindsDepthOnEveryHostVersion)
{
    for (const char *version : {"8 2 1000", "9 6 2000", "10 0 2009"}) {
        TempDir dir;
        testsupport::writeFile(dir.file("scene.lws"), scene(version));
        std::string out;
        ASSERT_EQ(devhostIn(dir.path(), "ui scene.lws " + script("rgbaz.ui"), &out), 0) << out;
        // The enabled buffers list what they write.
        std::vector<std::string> enabled;
        std::istringstream lines(out.substr(out.rfind("Buffer: ")));
        for (std::string l; std::getline(lines, l);)
            if (has(l, "(layer)"))
                enabled.push_back(l.substr(l.find_first_not_of(" 0123456789")));
        EXPECT_EQ(enabled, (std::vector<std::string>{"Final Render (layer)", "Alpha (layer)",
                                                     "Depth (layer)"}))
            << version << "\n" << out;
    }
}

class FilterPanelHostTest : public testsupport::HostTest {};

TEST_F(FilterPanelHostTest, ControlsAsDeclared)
{
    load();
    TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"), scene("10 0 2009"));
    devhost::readSceneFile(host(), dir.file("scene.lws"));
    ASSERT_EQ(host().runGeneric("Open_Ravelcast"), 0);
    ASSERT_EQ(host().edits().size(), 1u);
    auto &panels = devhost::Panels::of(host());
    const struct Row {
        unsigned int id;
        const char *label, *kind, *data;
    } expected[] = {
        {36902, "Render Mode (Layout only)", "iPopChoice", "integer"},
        {36905, "Toggle VIPER", "vButton", ""},
        {36904, "Post-apply Display Gamma", "iBoolean", "integer"},
        {36869, "Presets", "vPopCmd", "integer"},
        {36872, "Quick Buffer Enable", "vPopCmd", "integer"},
        {36865, "Output File", "sFileName", "string"},
        {36867, "Format", "iPopChoice", "integer"},
        {36870, "Single Image File Naming", "iPopChoice", "integer"},
        {36871, "Custom Single Image Name", "string", "string"},
        {36868, "Use Render Path", "iBoolean", "integer"},
        {36882, "Description", "sInfo", "string"},
        {36873, "Buffer", "iPopChoice", "integer"},
        {36866, "Compression", "iPopChoice", "integer"},
        {36874, "Enabled", "iBoolean", "integer"},
        {36876, "OpenEXR Pixel Type", "iPopChoice", "integer"},
        {36875, "Layer Name", "string", "string"},
        {36887, "Save as", "iPopChoice", "integer"},
        {36888, "File Format", "iPopChoice", "integer"},
        {36884, "Save Luminance as RGB", "iBoolean", "integer"},
        {36877, "Invert", "iBoolean", "integer"},
        {36878, "Minimum", "float-env", "float-env"},
        {36879, "Maximum", "float-env", "float-env"},
        {36880, "Offset", "float-env", "float-env"},
        {36881, "Scale", "float-env", "float-env"},
        {36886, "Gamma Correction", "float-env", "float-env"},
        {36885, "Un-multiply by Alpha", "iBoolean", "integer"},
        {36903, "VIPER Display Gamma", "float", "float"},
        {36898, "Fit Data Window", "iBoolean", "integer"},
        {36892, "Comment", "string", "string"},
        {36894, "Author", "string", "string"},
        {36893, "Embed Preview", "iBoolean", "integer"},
        {36895, "Scale", "iPopChoice", "integer"},
        {36896, "Width", "integer", "integer"},
        {36897, "Height", "integer", "integer"},
        {36889, "Channel", "iPopChoice", "integer"},
        {36890, "Channel Name", "string", "string"},
        {36891, "Flip Channel", "iBoolean", "integer"},
        {36900, "Review Settings...", "vButton", ""},
        {36901, "About Ravelcast...", "vButton", ""},
        {36932, "Metadata Row", "iPopChoice", "integer"},
        {36933, "Metadata Rows", "vPopCmd", "integer"},
        {36934, "Key", "string", "string"},
        {36935, "Type", "iPopChoice", "integer"},
        {36936, "Value", "string", "string"},
        {36918, "DWA Compression Level", "float", "float"},
        {36919, "One Part per Layer", "iBoolean", "integer"},
        {36930, "Camera Matrices", "iPopChoice", "integer"},
        {36931, "Colour Space", "iPopChoice", "integer"},
        {36960, "CryptoObject", "iBoolean", "integer"},
        {36961, "CryptoMaterial", "iBoolean", "integer"},
        {36962, "CryptoAsset", "iBoolean", "integer"},
        {36963, "Levels", "iPopChoice", "integer"},
        {36964, "Alpha as Coverage at Edges", "iBoolean", "integer"},
        {36920, "Compression", "iPopChoice", "integer"},
    };
    const devhost::XPanelRecord &p = panels.xpanel(static_cast<LWXPanelID>(host().edits()[0].panel));
    EXPECT_EQ(p.title(), "OpenEXR Layered SaverBuild: 98");
    ASSERT_EQ(p.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < p.controls.size(); ++i) {
        EXPECT_EQ(p.controls[i].id, expected[i].id) << i;
        EXPECT_EQ(p.controls[i].label, expected[i].label) << i;
        EXPECT_EQ(p.controls[i].kind, expected[i].kind) << i;
        EXPECT_EQ(p.controls[i].dataType, expected[i].data) << i;
    }
    EXPECT_EQ(p.order, (std::vector<unsigned int>{36907, 36906, 36908, 36899}));
    EXPECT_EQ(p.tabRows.at(36906), (std::vector<unsigned int>{36917, 36909, 36965}));
    EXPECT_EQ(p.labels.at(36909), "Metadata");
    EXPECT_EQ(p.labels.at(36965), "Cryptomatte");
}

} // namespace
