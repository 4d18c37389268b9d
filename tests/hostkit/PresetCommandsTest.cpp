// The preset menu of a plug-in's panel on the development host: its four
// commands with their forms, questions, file requesters and messages, the
// files they leave on disk (read back with the host's own block reader),
// and the popups the location map and the preset list feed.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "devhost/BlockFile.h"
#include "devhost/Panels.h"
#include "hostkit/Global.h"
#include "hostkit/Presets.h"
#include "hostkit/Services.h"

namespace {

namespace fs = std::filesystem;
using devhost::Messages;
using devhost::Panels;

constexpr unsigned int kPresets = 36869, kType = 0x9006;

const LWBlockIdent kLookIds[] = {{hostkit::blockId("COLR"), "Colour"},
                                 {hostkit::blockId("LEVL"), "Level"},
                                 {0, nullptr}};

// A plug-in's settings: two values in blocks of their own.
struct Look : hostkit::PresetHandler {
    std::string colour = "grey";
    int level = 0;
    bool failing = false;

    std::optional<std::string> loadPreset(hostkit::LoadState &in) override
    {
        while (const unsigned int id = in.findBlock(kLookIds)) {
            if (id == kLookIds[0].id)
                colour = in.readString();
            else
                level = in.readI4();
            in.endBlock();
        }
        return std::nullopt;
    }
    void savePreset(hostkit::SaveState &out) override
    {
        if (failing)
            throw std::runtime_error("disk full");
        out.beginBlock(kLookIds[0], true);
        out.writeString(colour);
        out.endBlock();
        out.beginBlock(kLookIds[1], true);
        out.writeI4(level);
        out.endBlock();
    }
};

// What a preset file holds, as the host reads it.
struct Stored {
    std::string name, colour;
    int version = 0, level = 0;
};

Stored readBack(const std::string &path)
{
    const std::string data = testsupport::readFile(path);
    EXPECT_EQ(data.substr(0, 4), "LWBF") << path;
    devhost::BinaryBlockReader r(data.size() > 4 ? data.substr(4) : std::string());
    const LWBlockIdent top[] = {{hostkit::blockId("VERS"), "Version"},
                                {hostkit::blockId("PRES"), "Preset"},
                                {hostkit::blockId("NAME"), "Name"},
                                {0, nullptr}};
    Stored s;
    char text[1024];
    std::int64_t number = 0;
    while (const unsigned int id = r.findBlock(top)) {
        if (id == top[0].id && r.ints(&number, 1, 2, true) == 1)
            s.version = static_cast<int>(number);
        else if (id == top[2].id && r.string(text, sizeof text) >= 0)
            s.name = text;
        else if (id == top[1].id) {
            while (const unsigned int inner = r.findBlock(kLookIds)) {
                if (inner == kLookIds[0].id && r.string(text, sizeof text) >= 0)
                    s.colour = text;
                else if (r.ints(&number, 1, 4, true) == 1)
                    s.level = static_cast<int>(number);
                r.endBlock();
            }
        }
        r.endBlock();
    }
    return s;
}

std::vector<std::string> filesIn(const std::string &folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The plug-in's own panel, built as the filter builds its one: the preset
// control wired to the SimplePreset, which refreshes this panel.
class PluginPanel : public hostkit::XPanelInterface {
public:
    void build(hostkit::SimplePreset &preset)
    {
        static const LWXPanelControl controls[] = {
            {kPresets, "Presets", "vPopCmd"}, {kType, "Type", "iPopChoice"}, {0, nullptr, nullptr}};
        static const LWXPanelDataDesc data[] = {
            {kPresets, "", "integer"}, {kType, "", "integer"}, {0, nullptr, nullptr}};
        hostkit::HintList hints;
        hints.title("Look");
        createViewPanel(controls, data, hints.data(), true);
        preset.setPanel(panel().id());
        preset.controlId = kPresets;
        wirePopupCommand(kPresets, &preset);
        wirePopup(kType, &hostkit::pathMap());
    }
};

class PresetCommandsTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        hostkit::setGlobalFunction(&devhost::Host::global);
        setenv("RAVELCAST_SHARED_DATA", dir.file("shared").c_str(), 1);
        devhost::HostSettings &h = host().scene().host;
        h.contentDir = dir.file("content");
        h.settingsDir = dir.file("settings");
        h.installDir = dir.file("install");
        host().sceneChanged();
        fs::create_directories(dir.file("content"));
        fs::create_directories(dir.file("install"));
        testsupport::writeFile(dir.file("install/SimplePresetPaths.cfg"),
                               "studio \\\\server\\share\\presets\n");
        userFolder = dir.file("settings/SimplePresets/ImageFilterHandler/Ravelcast");
        globalFolder =
            dir.file("shared/orv/LightWavePlugins/SimplePresets/ImageFilterHandler/Ravelcast");
    }
    void TearDown() override
    {
        hostkit::releaseProcessMessages();
        hostkit::setGlobalFunction(nullptr);
        unsetenv("RAVELCAST_SHARED_DATA");
        EXPECT_EQ(host().services().unreleased(), std::vector<std::string>{});
        HostTest::TearDown();
    }

    Panels &panels() { return Panels::of(host()); }
    devhost::XPanelRecord &record() { return panels().xpanel(ui.panel().id()); }
    // What the user sees in the preset menu, and choosing from it.
    std::vector<std::string> menu() { return items("Presets"); }
    std::vector<std::string> items(const std::string &control)
    {
        return panels().items(record(), panels().findControl(record(), control));
    }
    void choose(const std::string &item)
    {
        panels().popCommand(record(), panels().findControl(record(), "Presets"), item);
    }
    void answer(Messages::Answer a) { host().messages().queueAnswer(a); }
    void form(std::vector<std::pair<std::string, std::string>> values, bool ok = true)
    {
        panels().queueForm(devhost::FormAnswer{std::move(values), ok});
    }
    std::vector<devhost::Message> questions()
    {
        return host().messages().ofKind(devhost::Message::Question);
    }
    std::string lastInfo()
    {
        const auto all = messages(devhost::Message::Info);
        return all.empty() ? "" : all.back();
    }

    testsupport::TempDir dir;
    std::string userFolder, globalFolder;
    PluginPanel ui;
};

const std::vector<std::string> kCommands = {
    "---------------------------------", "Save as Preset...", "Delete Preset...",
    "Load Settings from File...", "Save Settings to File..."};

TEST_F(PresetCommandsTest, SaveAsPresetOverwriteAndDelete)
{
    Look look;
    hostkit::SimplePreset preset("ImageFilterHandler", "Ravelcast");
    preset.attach(&look);
    ui.build(preset);

    // No presets: the separator and the four commands; the location popup
    // holds the built-ins and the list file's studio, in byte order.
    EXPECT_EQ(menu(), kCommands);
    EXPECT_EQ(preset.popCount(), 5);
    EXPECT_EQ(items("Type"), (std::vector<std::string>{"Content", "Global", "Studio", "User"}));

    // The first form offers "none" at Global.
    form({});
    choose("Save as Preset...");
    EXPECT_EQ(lastInfo(), "Preset saved: " + globalFolder + "/none.cfg|");
    EXPECT_EQ(readBack(globalFolder + "/none.cfg").name, "none");

    // A name a file cannot hold is saved under a file name it can; the
    // folders are made and nothing else is left beside the file.
    look.colour = "teal";
    look.level = 7;
    form({{"Preset", "a/b:c"}, {"Type", "User"}});
    choose("Save as Preset...");
    const std::string abc = userFolder + "/a_b_c.cfg";
    EXPECT_EQ(filesIn(userFolder), std::vector<std::string>{"a_b_c.cfg"});
    EXPECT_EQ(lastInfo(), "Preset saved: " + abc + "|");
    Stored s = readBack(abc);
    EXPECT_EQ(s.version, 1);
    EXPECT_EQ(s.name, "a/b:c");
    EXPECT_EQ(s.colour, "teal");
    EXPECT_EQ(s.level, 7);
    std::vector<std::string> listed = {"[Global]none", "[User]a/b:c"};
    listed.insert(listed.end(), kCommands.begin(), kCommands.end());
    EXPECT_EQ(menu(), listed);
    EXPECT_EQ(preset.collection().entry(1).name, "a/b:c");

    // Choosing a preset loads it, says so and refreshes the plug-in's panel.
    look = Look();
    const int refreshes = record().refreshes;
    choose("[User]a/b:c");
    EXPECT_EQ(look.colour, "teal");
    EXPECT_EQ(look.level, 7);
    EXPECT_EQ(lastInfo(), "Loaded Preset: a/b:c|");
    EXPECT_EQ(record().refreshes, refreshes + 1);
    // Commands of another control are not the menu's.
    look = Look();
    const std::size_t infos = messages(devhost::Message::Info).size();
    preset.popCommand(kType, 1);
    EXPECT_EQ(look.colour, "grey");
    EXPECT_EQ(messages(devhost::Message::Info).size(), infos);

    // The form remembers a/b:c at User, so the file exists: No goes back to
    // the form, Yes overwrites.
    look.level = 9;
    form({});
    form({});
    answer(Messages::Answer::No);
    answer(Messages::Answer::Yes);
    choose("Save as Preset...");
    ASSERT_EQ(questions().size(), 2u);
    for (const devhost::Message &q : questions()) {
        EXPECT_EQ(q.title, "Save Preset");
        EXPECT_EQ(q.line1, "Are you sure you want to overwrite preset?");
        EXPECT_EQ(q.line2, abc);
    }
    EXPECT_EQ(questions()[0].answer, 1);
    EXPECT_EQ(readBack(abc).level, 9);
    EXPECT_EQ(messages(devhost::Message::Info).size(), infos + 1);

    // Cancel at the question, or at the form, writes nothing.
    look.level = 11;
    form({});
    answer(Messages::Answer::Cancel);
    choose("Save as Preset...");
    form({{"Preset", "other"}}, false);
    choose("Save as Preset...");
    EXPECT_EQ(readBack(abc).level, 9);
    EXPECT_EQ(filesIn(userFolder), std::vector<std::string>{"a_b_c.cfg"});
    EXPECT_EQ(messages(devhost::Message::Info).size(), infos + 1);

    // Settings that fail half-way leave the old preset whole.
    look.failing = true;
    form({});
    answer(Messages::Answer::Yes);
    choose("Save as Preset...");
    look.failing = false;
    EXPECT_EQ(messages(devhost::Message::Error),
              std::vector<std::string>{"An exception occured in XPanel::PopCommand():|disk full"});
    EXPECT_EQ(readBack(abc).level, 9);
    EXPECT_EQ(filesIn(userFolder), std::vector<std::string>{"a_b_c.cfg"});

    // Delete: the list shows locations while the form is up; No keeps the
    // file, Yes deletes it.
    form({{"Preset", "[User]a/b:c"}});
    answer(Messages::Answer::No);
    choose("Delete Preset...");
    EXPECT_FALSE(hostkit::PresetCollection::showLocations);
    ASSERT_EQ(questions().size(), 5u);
    EXPECT_EQ(questions()[4].title, "Delete Preset");
    EXPECT_EQ(questions()[4].line1, "Are you sure you want to delete the preset?");
    EXPECT_EQ(questions()[4].line2, "[User]\x03(a:48)a/b:c");
    EXPECT_TRUE(fs::exists(abc));
    form({{"Preset", "[User]a/b:c"}});
    answer(Messages::Answer::Yes);
    choose("Delete Preset...");
    EXPECT_FALSE(fs::exists(abc));
    listed.erase(listed.begin() + 1);
    EXPECT_EQ(menu(), listed);

    // A preset that went since the list was made: no question, an error.
    fs::remove(globalFolder + "/none.cfg");
    const devhost::XControl &presets = panels().findControl(record(), "Presets");
    form({{"Preset", "0"}});
    presets.command(record().id, kPresets, 3); // n + 2, without listing again
    EXPECT_EQ(questions().size(), 6u);
    EXPECT_EQ(messages(devhost::Message::Error).back(),
              "Error Deleting file:|" + globalFolder + "/none.cfg");
    EXPECT_EQ(menu(), kCommands);
}

TEST_F(PresetCommandsTest, ExpertsAreNotAsked)
{
    host().scene().host.alertLevel = LWALERT_EXPERT;
    host().sceneChanged();
    Look look;
    hostkit::SimplePreset preset("ImageFilterHandler", "Ravelcast");
    preset.attach(&look);
    ui.build(preset);

    look.level = 1;
    form({{"Preset", "mine"}, {"Type", "User"}});
    choose("Save as Preset...");
    look.level = 2;
    form({});
    choose("Save as Preset...");
    EXPECT_EQ(readBack(userFolder + "/mine.cfg").level, 2);

    const std::string elsewhere = dir.file("elsewhere.cfg");
    testsupport::writeFile(elsewhere, "old");
    panels().queueFile(elsewhere);
    choose("Save Settings to File...");
    EXPECT_EQ(readBack(elsewhere).level, 2);

    form({{"Preset", "[User]mine"}});
    choose("Delete Preset...");
    EXPECT_FALSE(fs::exists(userFolder + "/mine.cfg"));
    EXPECT_TRUE(questions().empty());
}

TEST_F(PresetCommandsTest, SettingsFilesThroughTheRequester)
{
    Look look;
    hostkit::SimplePreset preset("ImageFilterHandler", "Ravelcast");
    preset.attach(&look);
    ui.build(preset);
    fs::create_directories(dir.file("content/looks"));
    const std::string mine = dir.file("content/looks/mine.cfg");
    const std::string other = dir.file("content/looks/other.cfg");

    // Saved under the full name, which the file keeps as its name.
    look.colour = "amber";
    look.level = 3;
    panels().queueFile(mine);
    choose("Save Settings to File...");
    EXPECT_EQ(lastInfo(), "Saved Preset As: " + mine + "|");
    Stored s = readBack(mine);
    EXPECT_EQ(s.name, mine);
    EXPECT_EQ(s.colour, "amber");
    EXPECT_EQ(s.level, 3);
    EXPECT_EQ(filesIn(dir.file("content/looks")), std::vector<std::string>{"mine.cfg"});
    EXPECT_EQ(menu(), kCommands) << "a settings file is no preset of a location";

    // Over an existing file: the question names it inside Content; No asks
    // for another name, which is handled afresh.
    look.level = 4;
    panels().queueFile(mine);
    panels().queueFile(other);
    answer(Messages::Answer::No);
    choose("Save Settings to File...");
    ASSERT_EQ(questions().size(), 1u);
    EXPECT_EQ(questions()[0].title, "Save Preset");
    EXPECT_EQ(questions()[0].line1, "Are you sure you want to overwrite preset?");
    EXPECT_EQ(questions()[0].line2, "looks/mine.cfg");
    EXPECT_EQ(readBack(mine).level, 3);
    EXPECT_EQ(readBack(other).level, 4);

    // Outside Content the question shows the full name; Cancel ends it, and
    // so does cancelling the requester.
    const std::string outside = dir.file("outside.cfg");
    testsupport::writeFile(outside, "kept");
    panels().queueFile(outside);
    answer(Messages::Answer::Cancel);
    choose("Save Settings to File...");
    EXPECT_EQ(questions().back().line2, outside);
    EXPECT_EQ(testsupport::readFile(outside), "kept");
    const std::size_t infos = messages(devhost::Message::Info).size();
    panels().queueFile(std::nullopt);
    choose("Save Settings to File...");
    EXPECT_EQ(messages(devhost::Message::Info).size(), infos);

    // Loading a file says so and leaves the panel to the plug-in.
    look = Look();
    const int refreshes = record().refreshes;
    panels().queueFile(mine);
    choose("Load Settings from File...");
    EXPECT_EQ(look.colour, "amber");
    EXPECT_EQ(look.level, 3);
    EXPECT_EQ(lastInfo(), "Loaded Preset: " + mine + "|");
    EXPECT_EQ(record().refreshes, refreshes);
    look = Look();
    panels().queueFile(std::nullopt);
    choose("Load Settings from File...");
    EXPECT_EQ(look.colour, "grey");

    // The name inside Content, with either separator; a folder that only
    // starts the same is not Content.
    const std::string content = dir.file("content");
    hostkit::FileRequest2 request(FREQ_LOAD, "Load Settings", "Settings|*.cfg");
    panels().queueFile(content + "\\looks\\a.cfg");
    ASSERT_TRUE(request.open());
    EXPECT_EQ(request.fullName(), content + "\\looks\\a.cfg");
    EXPECT_EQ(request.relativeName(), "looks\\a.cfg");
    panels().queueFile(content + "/b.cfg");
    ASSERT_TRUE(request.open());
    EXPECT_EQ(request.relativeName(), "b.cfg");
    panels().queueFile(content + "s/c.cfg");
    ASSERT_TRUE(request.open());
    EXPECT_EQ(request.relativeName(), content + "s/c.cfg");
    panels().queueFile(std::nullopt);
    EXPECT_FALSE(request.open());
}

} // namespace
