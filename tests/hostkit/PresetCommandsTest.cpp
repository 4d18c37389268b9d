// The preset menu of a plug-in's panel on the development host: its four
// commands with their forms, questions, file requesters and messages, and
// the files they leave (read back with the host's own block reader).
#include <iterator>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "devhost/BlockFile.h"
#include "devhost/Panels.h"
#include "hostkit/Presets.h"

namespace {

namespace fs = std::filesystem;
using Answer = devhost::Messages::Answer;

constexpr unsigned int kPresets = 36869, kType = 0x9006;
const LWBlockIdent kLookIds[] = {{hostkit::blockId("LOOK"), "Look"}, {0, nullptr}};

// A plug-in whose settings are one text.
struct Look : hostkit::PresetHandler {
    std::string text = "grey";
    bool failing = false;

    std::optional<std::string> loadPreset(hostkit::LoadState &in) override
    {
        for (; in.findBlock(kLookIds); in.endBlock())
            text = in.readString().value_or("");
        return std::nullopt;
    }
    void savePreset(hostkit::SaveState &out) override
    {
        if (failing)
            throw std::runtime_error("disk full");
        out.beginBlock(kLookIds[0], true);
        out.writeString(text);
        out.endBlock();
    }
};

// A preset file's 'NAME' and settings text.
std::pair<std::string, std::string> readBack(const std::string &path)
{
    const std::string data = testsupport::readFile(path);
    EXPECT_EQ(data.substr(0, 4), "LWBF") << path;
    devhost::BinaryBlockReader r(data.substr(std::min<std::size_t>(4, data.size())));
    const LWBlockIdent top[] = {
        {hostkit::blockId("NAME"), "Name"}, {hostkit::blockId("PRES"), "Preset"}, {0, nullptr}};
    std::pair<std::string, std::string> stored;
    char text[1024] = {};
    for (unsigned int id; (id = r.findBlock(top)) != 0; r.endBlock()) {
        if (id == top[0].id && r.string(text, sizeof text) >= 0)
            stored.first = text;
        else if (id == top[1].id && r.findBlock(kLookIds) && r.string(text, sizeof text) >= 0)
            stored.second = text, r.endBlock();
    }
    return stored;
}

// The files of a folder, hidden ones included.
std::size_t filesIn(const std::string &folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// The plug-in's panel, wired as the filter wires its own: the preset
// control with the SimplePreset, which refreshes this panel; and a popup
// of the location map.
struct PluginPanel : hostkit::XPanelInterface {
    void build(hostkit::SimplePreset &preset)
    {
        static const LWXPanelControl controls[] = {
            {kPresets, "Presets", "vPopCmd"}, {kType, "Type", "iPopChoice"}, {0, nullptr, nullptr}};
        static const LWXPanelDataDesc data[] = {
            {kPresets, "", "integer"}, {kType, "", "integer"}, {0, nullptr, nullptr}};
        createViewPanel(controls, data, nullptr, true);
        preset.setPanel(panel().id());
        preset.controlId = kPresets;
        wirePopupCommand(kPresets, &preset);
        wirePopup(kType, &hostkit::pathMap());
    }
};

const std::vector<std::string> kCommands = {
    "---------------------------------", "Save as Preset...", "Delete Preset...",
    "Load Settings from File...", "Save Settings to File..."};

class PresetCommandsTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        hostkit::setGlobalFunction(&devhost::Host::global);
        testsupport::setEnv("RAVELCAST_SHARED_DATA", dir.file("shared").c_str());
        devhost::HostSettings &h = host().scene().host;
        h.contentDir = dir.file("content");
        h.settingsDir = dir.file("settings");
        h.installDir = dir.file("install");
        host().sceneChanged();
        fs::create_directories(dir.file("content/looks"));
        fs::create_directories(dir.file("install"));
        testsupport::writeFile(dir.file("install/SimplePresetPaths.cfg"),
                               "studio \\\\server\\share\\presets\n");
        // Made once the host is there: they hold its services.
        preset.emplace("ImageFilterHandler", "Ravelcast");
        preset->attach(&look);
        ui.emplace();
        ui->build(*preset);
    }
    void TearDown() override
    {
        ui.reset();
        preset.reset();
        hostkit::releaseProcessMessages();
        hostkit::setGlobalFunction(nullptr);
        testsupport::setEnv("RAVELCAST_SHARED_DATA", nullptr);
        EXPECT_EQ(host().services().unreleased(), std::vector<std::string>{});
        HostTest::TearDown();
    }

    devhost::Panels &panels() { return devhost::Panels::of(host()); }
    devhost::XPanelRecord &record() { return panels().xpanel(ui->panel().id()); }
    std::vector<std::string> items(const std::string &control)
    {
        return panels().items(record(), panels().findControl(record(), control));
    }
    void choose(const std::string &item)
    {
        panels().popCommand(record(), panels().findControl(record(), "Presets"), item);
    }
    void form(std::vector<std::pair<std::string, std::string>> values, bool ok = true)
    {
        panels().queueForm(devhost::FormAnswer{std::move(values), ok});
    }
    void answer(Answer a) { host().messages().queueAnswer(a); }
    std::vector<devhost::Message> questions()
    {
        return host().messages().ofKind(devhost::Message::Question);
    }
    std::string lastInfo() { return messages(devhost::Message::Info).back(); }

    testsupport::TempDir dir;
    const std::string user = dir.file("settings/SimplePresets/ImageFilterHandler/Ravelcast");
    Look look;
    std::optional<hostkit::SimplePreset> preset;
    std::optional<PluginPanel> ui;
};

TEST_F(PresetCommandsTest, SaveAsPresetOverwriteAndDelete)
{
    // No presets: the separator and the four commands; the locations in
    // byte order with the list file's studio.
    EXPECT_EQ(items("Presets"), kCommands);
    EXPECT_EQ(items("Type"), (std::vector<std::string>{"Content", "Global", "Studio", "User"}));

    // The first form offers "none" at Global.
    form({});
    choose("Save as Preset...");
    const std::string none =
        dir.file("shared/orv/LightWavePlugins/SimplePresets/ImageFilterHandler/Ravelcast/none.cfg");
    EXPECT_EQ(lastInfo(), "Preset saved: " + none + "|");

    // A name a file cannot hold: its folders made, nothing left beside it.
    look.text = "teal";
    form({{"Preset", "a/b:c"}, {"Type", "User"}});
    choose("Save as Preset...");
    const std::string abc = user + testsupport::nativePath("/a_b_c.cfg");
    EXPECT_EQ(filesIn(user), 1u);
    EXPECT_EQ(readBack(abc), std::make_pair(std::string("a/b:c"), std::string("teal")));
    std::vector<std::string> menu = {"[Global]none", "[User]a/b:c"};
    menu.insert(menu.end(), kCommands.begin(), kCommands.end());
    EXPECT_EQ(items("Presets"), menu);

    // Choosing it loads it and refreshes the plug-in's panel; the same
    // index from another control does nothing.
    look.text = "grey";
    const int refreshes = record().refreshes;
    choose("[User]a/b:c");
    EXPECT_EQ(look.text, "teal");
    EXPECT_EQ(lastInfo(), "Loaded Preset: a/b:c|");
    EXPECT_EQ(record().refreshes, refreshes + 1);
    look.text = "grey";
    preset->popCommand(kType, 1);
    EXPECT_EQ(look.text, "grey");

    // The form remembers a/b:c at User: No to the overwrite question goes
    // back to the form, Yes overwrites; Cancel, a cancelled form or a
    // failing plug-in leave the file as it was.
    look.text = "navy";
    form({});
    form({});
    answer(Answer::No);
    answer(Answer::Yes);
    choose("Save as Preset...");
    ASSERT_EQ(questions().size(), 2u);
    for (const devhost::Message &q : questions())
        EXPECT_EQ(q.title + "|" + q.line1 + "|" + q.line2,
                  "Save Preset|Are you sure you want to overwrite preset?|" + abc);
    look.text = "lost";
    form({});
    answer(Answer::Cancel);
    choose("Save as Preset...");
    form({{"Preset", "other"}}, false);
    choose("Save as Preset...");
    look.failing = true;
    form({});
    choose("Save as Preset...");
    look.failing = false;
    EXPECT_EQ(messages(devhost::Message::Error),
              std::vector<std::string>{"An exception occured in XPanel::PopCommand():|disk full"});
    EXPECT_EQ(readBack(abc).second, "navy");
    EXPECT_EQ(filesIn(user), 1u);

    // Delete: the form lists locations while it is up; No keeps the file.
    form({{"Preset", "[User]a/b:c"}});
    answer(Answer::No);
    choose("Delete Preset...");
    EXPECT_FALSE(hostkit::PresetCollection::showLocations);
    const devhost::Message q = questions().back();
    EXPECT_EQ(q.title + "|" + q.line1 + "|" + q.line2,
              "Delete Preset|Are you sure you want to delete the preset?|[User]\x03(a:48)a/b:c");
    EXPECT_TRUE(fs::exists(abc));
    form({{"Preset", "[User]a/b:c"}});
    choose("Delete Preset...");
    EXPECT_FALSE(fs::exists(abc));
}

TEST_F(PresetCommandsTest, ExpertsAreNotAsked)
{
    host().scene().host.alertLevel = LWALERT_EXPERT;
    host().sceneChanged();
    form({{"Preset", "mine"}, {"Type", "User"}});
    choose("Save as Preset...");
    look.text = "second";
    form({});
    choose("Save as Preset...");
    EXPECT_EQ(readBack(user + "/mine.cfg").second, "second");
    const std::string elsewhere = dir.file("elsewhere.cfg");
    testsupport::writeFile(elsewhere, "old");
    panels().queueFile(elsewhere);
    choose("Save Settings to File...");
    EXPECT_EQ(readBack(elsewhere).second, "second");
    form({{"Preset", "[User]mine"}});
    choose("Delete Preset...");
    EXPECT_FALSE(fs::exists(user + "/mine.cfg"));
    EXPECT_TRUE(questions().empty());
}

TEST_F(PresetCommandsTest, SettingsFilesThroughTheRequester)
{
    const std::string content = dir.file("content");
    const std::string mine = content + "/looks/mine.cfg", other = content + "/looks/other.cfg";
    look.text = "amber";
    panels().queueFile(mine);
    choose("Save Settings to File...");
    EXPECT_EQ(lastInfo(), "Saved Preset As: " + mine + "|");
    EXPECT_EQ(readBack(mine), std::make_pair(mine, std::string("amber")));
    EXPECT_EQ(items("Presets"), kCommands) << "a settings file is no preset of a location";

    // Over an existing file the question names it inside Content; No asks
    // again and the next name is handled afresh; Cancel ends it, outside
    // Content with the full name; so does cancelling the requester.
    look.text = "olive";
    panels().queueFile(mine);
    panels().queueFile(other);
    answer(Answer::No);
    choose("Save Settings to File...");
    ASSERT_EQ(questions().size(), 1u);
    EXPECT_EQ(questions()[0].title + "|" + questions()[0].line1 + "|" + questions()[0].line2,
              "Save Preset|Are you sure you want to overwrite preset?|looks/mine.cfg");
    EXPECT_EQ(readBack(mine).second, "amber");
    EXPECT_EQ(readBack(other).second, "olive");
    const std::string outside = dir.file("outside.cfg");
    testsupport::writeFile(outside, "kept");
    panels().queueFile(outside);
    answer(Answer::Cancel);
    choose("Save Settings to File...");
    EXPECT_EQ(questions().back().line2, outside);
    panels().queueFile(std::nullopt);
    choose("Save Settings to File...");
    EXPECT_EQ(testsupport::readFile(outside), "kept");

    // Loading says so and shows the loaded values, as choosing a preset
    // does; a cancel loads nothing.
    const int refreshes = record().refreshes;
    panels().queueFile(mine);
    choose("Load Settings from File...");
    EXPECT_EQ(look.text, "amber");
    EXPECT_EQ(lastInfo(), "Loaded Preset: " + mine + "|");
    EXPECT_EQ(record().refreshes, refreshes + 1);
    look.text = "grey";
    panels().queueFile(std::nullopt);
    choose("Load Settings from File...");
    EXPECT_EQ(look.text, "grey");

    // The name inside Content with either separator; a folder that only
    // starts the same is not Content.
    hostkit::FileRequest2 request(FREQ_LOAD, "Load Settings", "Settings|*.cfg");
    for (const char *name : {"\\looks\\a.cfg", "/b.cfg", "s/c.cfg"})
        panels().queueFile(content + name);
    ASSERT_TRUE(request.open());
    EXPECT_EQ(request.relativeName(), "looks\\a.cfg");
    ASSERT_TRUE(request.open());
    EXPECT_EQ(request.relativeName(), "b.cfg");
    ASSERT_TRUE(request.open());
    EXPECT_EQ(request.relativeName(), content + "s/c.cfg");
    EXPECT_FALSE(request.open()) << "no answer queued: cancelled";
}

} // namespace
