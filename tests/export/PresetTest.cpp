// The filter's presets: files written and found through the host's File IO
// in the locations of the location map, and the quiet default preset a new
// filter instance starts from.

#include <cstdlib>
#include <filesystem>

#include "ExportTest.h"
#include "devhost/BlockFile.h"
#include "hostkit/Presets.h"

namespace {

namespace fs = std::filesystem;

class PresetTest : public ExportTest {
protected:
    void SetUp() override
    {
        ExportTest::SetUp();
        testsupport::setEnv("RAVELCAST_SHARED_DATA", dir.file("shared").c_str());
        host().scene().host.contentDir = dir.file("content");
        host().scene().host.settingsDir = dir.file("settings");
        host().scene().host.installDir = dir.file("install");
        host().sceneChanged();
    }
    void TearDown() override
    {
        testsupport::setEnv("RAVELCAST_SHARED_DATA", nullptr);
        ExportTest::TearDown();
    }
    void settings(ravelcast::OpenEXRFilter &f, const std::string &text)
    {
        devhost::TextBlockReader reader(text);
        hostkit::LoadState load(reader.state());
        EXPECT_EQ(f.loadSettings(load, false), "");
    }

    testsupport::TempDir dir;
};

TEST_F(PresetTest, LocationsFilesAndTheDefaultPreset)
{
    // The location map: built-ins, then list files; keys normalised, later
    // lines win, malformed lines ignored; byte order.
    fs::create_directories(dir.file("install"));
    testsupport::writeFile(dir.file("install/SimplePresetPaths.cfg"),
                           "# studio presets\nstudio " + dir.file("studio dir") +
                               "\nnospace\n folder\nempty \nSTUDIO " + dir.file("studio") + "\r\n");
    hostkit::SimplePreset presets("ImageFilterHandler", "Ravelcast");
    hostkit::PathMap &map = hostkit::pathMap();
    ASSERT_EQ(map.count(), 4);
    EXPECT_EQ((std::vector<std::string>{map.name(0), map.name(1), map.name(2), map.name(3), map.name(4)}),
              (std::vector<std::string>{"Content", "Global", "Studio", "User", ""}));
    EXPECT_EQ(map.folders().at("Studio"), dir.file("studio")) << "the later line wins, without its CR";
    EXPECT_EQ(map.folders().at("Global"), dir.file("shared/orv/LightWavePlugins"));
    EXPECT_EQ(map.folders().at("User"), dir.file("settings"));
    EXPECT_EQ(presets.folderOf("Global"),
              dir.file("shared/orv/LightWavePlugins/SimplePresets/ImageFilterHandler/Ravelcast"));
    EXPECT_EQ(presets.folderOf("Nowhere"),
              dir.file("content/SimplePresets/ImageFilterHandler/Ravelcast"));

    // No presets: the separator and the four commands.
    EXPECT_EQ(presets.popCount(), 5);
    EXPECT_EQ(presets.popName(0), hostkit::SimplePreset::kSeparator);
    EXPECT_EQ(presets.popName(4), "\x03(c:Nc_HILIGHT)Save Settings to File...");
    EXPECT_EQ(presets.commandAt(2), hostkit::SimplePreset::DeletePreset);

    // Presets written from a filter's settings, as the save command will.
    ravelcast::OpenEXRFilter &source = makeFilter();
    settings(source, "{ Comment \"studio look\" } { Compression 4 } "
                     "{ Buffer { Name \"Depth\" } { Settings { Active 1 } { SaveAs 3 } } }");
    const std::string global = presets.folderOf("Global"), studio = presets.folderOf("Studio");
    fs::create_directories(global);
    fs::create_directories(studio);
    EXPECT_EQ(hostkit::presetFileName("a/b:c"), "a_b_c.cfg");
    EXPECT_EQ(hostkit::presetFileName("\"%*+/:<>?\\|~"), "____________.cfg");
    ASSERT_EQ(hostkit::writePresetFile(studio + "/" + hostkit::presetFileName("a/b:c"), "a/b:c", &source), "");
    ASSERT_EQ(hostkit::writePresetFile(global + "/" + hostkit::presetFileName("My Default look"),
                                       "My Default look", &source),
              "");
    ASSERT_EQ(hostkit::writePresetFile(global + "/.hidden.cfg", ".hidden", &source), "");
    fs::create_directories(global + "/folder.cfg");
    // A file with a preset block and no name is listed under its file name;
    // a block file without one is no preset.
    {
        devhost::BinaryBlockWriter w;
        const LWBlockIdent pres{hostkit::blockId("PRES"), "Preset"};
        w.beginBlock(&pres, false);
        w.endBlock();
        testsupport::writeFile(global + "/unnamed.preset.cfg", w.contents());
        devhost::BinaryBlockWriter other;
        const LWBlockIdent name{hostkit::blockId("NAME"), "Name"};
        other.beginBlock(&name, true);
        other.string("not a preset");
        other.endBlock();
        testsupport::writeFile(global + "/notes.cfg", other.contents());
    }

    EXPECT_EQ(presets.popCount(), 3 + 5);
    const hostkit::PresetCollection &found = presets.collection();
    EXPECT_EQ(found.entry(0).name, "My Default look");
    EXPECT_EQ(found.entry(1).name, "unnamed.preset");
    EXPECT_EQ(found.entry(2).name, "a/b:c");
    EXPECT_EQ(found.entry(2).path, studio + testsupport::nativePath("/a_b_c.cfg"));
    EXPECT_EQ(presets.popName(2), "[Studio]\x03(a:48)a/b:c") << "column from the longest location";
    EXPECT_EQ(found.popupName(2), "a/b:c");
    EXPECT_EQ(presets.popName(3), hostkit::SimplePreset::kSeparator);
    EXPECT_EQ(presets.commandAt(4), hostkit::SimplePreset::SaveAsPreset);

    // A new filter starts from the default preset, quietly: every buffer
    // and setting of the preset, not the output file name.
    const std::size_t infos = messages(devhost::Message::Info).size();
    ravelcast::OpenEXRFilter &fresh = makeFilter();
    EXPECT_EQ(fresh.settings().comment, "studio look");
    EXPECT_EQ(fresh.settings().compression, 4);
    EXPECT_TRUE(fresh.buffer("Depth")->active());
    EXPECT_EQ(messages(devhost::Message::Info).size(), infos) << "no message for the default";

    // Loading an entry says so.
    fresh.presets()->popCount();
    settings(fresh, "{ Comment \"other\" }");
    EXPECT_TRUE(fresh.presets()->loadEntry(2));
    EXPECT_EQ(fresh.settings().comment, "studio look");
    EXPECT_EQ(messages(devhost::Message::Info).back(), "Loaded Preset: a/b:c|");
    EXPECT_FALSE(fresh.presets()->loadEntry(3)) << "the separator loads nothing";
}

} // namespace
