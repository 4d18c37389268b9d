#include "hostkit/Presets.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "hostkit/File.h"
#include "hostkit/utility/AtomicFile.h"
#include "hostkit/XPanel.h"
#include "hostkit/Services.h"
#include "hostkit/utility/Platform.h"

#if defined(_WIN32)
#include <shlobj.h>
#include <windows.h>
#endif

namespace hostkit {

namespace {

constexpr std::size_t kMaxName = 1023;

const LWBlockIdent kPresetBlocks[] = {{blockId("VERS"), "Version"},
                                      {blockId("PRES"), "Preset"},
                                      {blockId("NAME"), "Name"},
                                      {0, nullptr}};
const unsigned int kVersionBlock = blockId("VERS");
const unsigned int kPresetBlock = blockId("PRES");
const unsigned int kNameBlock = blockId("NAME");

std::string limited(std::string s)
{
    if (s.size() > kMaxName)
        s.resize(kMaxName);
    return s;
}

std::string joined(const std::string &dir, const std::string &name)
{
    return dir.empty() ? name : dir + kPathSeparator + name;
}

bool canRead(const std::string &path)
{
    return std::ifstream(filePath(path), std::ios::binary).is_open();
}

} // namespace

std::string sharedDataFolder()
{
    // A folder of one's own first: a farm's or a test's, on every platform.
    if (const char *own = std::getenv("RAVELCAST_SHARED_DATA"); own && *own)
        return own;
#if defined(_WIN32)
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_COMMON_DOCUMENTS | CSIDL_FLAG_CREATE, nullptr, 0, path) !=
        S_OK)
        return {};
    return utf8Text(path);
#else
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return xdg;
    if (const char *home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share";
    return {};
#endif
}

// ------------------------------------------------------------------ PathMap

PathMap &pathMap()
{
    static PathMap map;
    return map;
}

std::string PathMap::normalisedKey(const std::string &key)
{
    std::string out = key;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        const bool start = i == 0 || out[i - 1] == ' ';
        out[i] = static_cast<char>(start ? std::toupper(c) : std::tolower(c));
    }
    return out;
}

void PathMap::applyLine(const std::string &text)
{
    std::string line = text;
    // A list file saved with Windows line ends would otherwise put a
    // carriage return at the end of every folder.
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty() || line[0] == '#')
        return;
    const std::size_t space = line.find(' ');
    if (space == std::string::npos || space == 0 || space + 1 >= line.size())
        return;
    folders_[normalisedKey(line.substr(0, space))] = line.substr(space + 1);
}

void PathMap::load()
{
    folders_.clear();
    const DirInfo dirs;
    const std::string shared = sharedDataFolder();
    folders_["Global"] = shared.empty() ? std::string()
                                        : joined(joined(shared, "orv"), "LightWavePlugins");
    folders_["User"] = dirs.dir("Settings");
    const std::string content = dirs.dir("Content");
    folders_["Content"] = content;
    for (const char *where : {"Install", "Settings", "Content"}) {
        const std::string dir = dirs.dir(where);
        if (dir.empty())
            continue;
        std::ifstream in(filePath(joined(dir, kListFile)), std::ios::binary);
        for (std::string line; std::getline(in, line);)
            applyLine(line);
    }
    // A folder is never taken from the process's current directory: a
    // relative one lies in the content directory, and a location without
    // a folder (or a relative one without a content directory) is not
    // offered.
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (!it->second.empty() && !isAbsolutePath(it->second))
            it->second = content.empty() ? std::string() : resolvedAgainst(it->second, content);
        it = it->second.empty() ? folders_.erase(it) : std::next(it);
    }
}

std::string PathMap::name(int index) const
{
    if (index < 0 || index >= count())
        return {};
    auto it = folders_.begin();
    std::advance(it, index);
    return it->first;
}

int PathMap::indexOf(const std::string &key) const
{
    const auto it = folders_.find(key);
    return it == folders_.end() ? -1 : static_cast<int>(std::distance(folders_.begin(), it));
}

std::string PathMap::presetFolder(const std::string &location, const std::string &className,
                                  const std::string &serverName) const
{
    const auto it = folders_.find(location);
    std::string folder = it != folders_.end() ? it->second : DirInfo().dir("Content");
    if (!isAbsolutePath(folder))
        return {}; // nowhere: not the process's current directory
    while (folder.size() > 1 && isPathSeparator(folder.back()))
        folder.pop_back();
    return joined(joined(joined(folder, "SimplePresets"), className), serverName);
}

// ----------------------------------------------------------- PresetCollection

int PresetCollection::column = 0;
bool PresetCollection::showLocations = false;

void PresetCollection::clear() { entries_.clear(); }

void PresetCollection::add(const std::string &path, const std::string &name,
                           const std::string &location)
{
    entries_.push_back({name, path, {}, location});
    column = std::max(column, 8 * static_cast<int>(location.size()));
}

const std::string &PresetCollection::label(int index) const
{
    const PresetEntry &e = entry(index);
    if (e.label.empty())
        e.label = "[" + e.location + "]\x03(a:" + std::to_string(column) + ")" + e.name;
    return e.label;
}

std::string PresetCollection::popupName(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return showLocations ? label(index) : entry(index).name;
}

// ------------------------------------------------------------------- files

std::string presetFileName(const std::string &presetName)
{
    std::string out = presetName;
    for (char &c : out)
        if (std::string_view("\"%*+/:<>?\\|~").find(c) != std::string_view::npos)
            c = '_';
    return out + ".cfg";
}

std::string writePresetFile(const std::string &path, const std::string &name,
                            PresetHandler *handler)
{
    // The host writes the block file, by name, into a temporary of this
    // write's own; only a whole one replaces the preset.
    AtomicFile target;
    if (!target.open(path))
        return target.cause();
    target.release();
    {
        File file(target.writtenName(), File::Write, LWIO_BINARY);
        SaveState *out = file.saveState();
        if (!out)
            return "The host cannot write the file.";
        out->beginBlock(kPresetBlocks[0], true);
        out->writeI2(1);
        out->endBlock();
        out->beginBlock(kPresetBlocks[2], true);
        out->writeString(name);
        out->endBlock();
        out->beginBlock(kPresetBlocks[1], false);
        if (handler)
            handler->savePreset(*out);
        out->endBlock();
        file.close();
    }
    // The host tells nothing of a write that failed (a full disk): what it
    // wrote must read back as this very preset.
    if (presetNameOf(target.writtenName()) != limited(name))
        return "What the host wrote does not read back as the preset (a full disk?).";
    if (!target.commit())
        return target.cause();
    return {};
}

bool loadPresetFile(const std::string &path, PresetHandler &handler, bool quiet)
{
    const LWMessage messages;
    // The host offers a block only when it lies whole in the file: a file
    // without one (cut short, or not a preset) is refused before anything
    // reaches the settings, so they stay as they were.
    if (!presetNameOf(path)) {
        if (!quiet)
            messages.error("Error loading Preset: " + path,
                           canRead(path) ? "The file holds no complete preset: it is cut short, "
                                           "damaged or not a settings file."
                                         : "The file cannot be opened.");
        return false;
    }
    File file(path, File::Read, LWIO_BINARY);
    LoadState *in = file.loadState();
    if (!in)
        return false;
    std::string name;
    std::optional<std::string> error;
    bool loaded = false;
    while (const unsigned int id = in->findBlock(kPresetBlocks)) {
        if (id == kNameBlock) {
            name = limited(in->readString().value_or(""));
        } else if (id == kPresetBlock && !loaded) {
            error = handler.loadPreset(*in);
            loaded = true;
        } else if (id == kVersionBlock) {
            in->readI2();
        }
        in->endBlock();
    }
    file.close();
    if (error)
        messages.error("Error loading Preset: " + *error, path);
    else if (!quiet)
        messages.info("Loaded Preset: " + name);
    return true;
}

std::optional<std::string> presetNameOf(const std::string &path)
{
    File file(path, File::Read, LWIO_BINARY);
    LoadState *in = file.loadState();
    if (!in)
        return std::nullopt;
    bool preset = false;
    std::optional<std::string> name;
    while (const unsigned int id = in->findBlock(kPresetBlocks)) {
        if (id == kNameBlock)
            name = limited(in->readString().value_or(""));
        else if (id == kPresetBlock)
            preset = true;
        in->endBlock();
    }
    if (!preset)
        return std::nullopt;
    if (name)
        return name;
    const std::string base = utf8Text(filePath(path).filename());
    const std::size_t dot = base.rfind('.');
    return dot == std::string::npos ? base : base.substr(0, dot);
}

void scanPresetFolder(const std::string &folder, const std::string &location,
                      PresetCollection &collection)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> files;
    for (fs::directory_iterator it(filePath(folder.substr(0, 260)), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = utf8Text(it->path().filename());
        if (name.empty() || name[0] == '.')
            continue;
        std::error_code kind;
        if (it->is_directory(kind))
            continue;
        files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    for (const std::string &name : files) {
        const std::string path = joined(folder, name);
        if (const auto preset = presetNameOf(path))
            collection.add(path, *preset, location);
    }
}

} // namespace hostkit

namespace hostkit {

SimplePreset::SimplePreset(std::string className, std::string serverName)
    : className_(std::move(className)),
      serverName_(std::move(serverName)),
      loadRequest_(FREQ_LOAD, "Load Settings", "Settings|*.cfg"),
      saveRequest_(FREQ_SAVE, "Save Settings", "Settings|*.cfg")
{
    pathMap().load();
}

void SimplePreset::rescan()
{
    pathMap().load();
    collection_.clear();
    PresetCollection::column = 0;
    for (const auto &location : pathMap().folders())
        scanPresetFolder(folderOf(location.first), location.first, collection_);
}

void SimplePreset::attach(PresetHandler *handler)
{
    handler_ = handler;
    rescan();
    if (!handler_)
        return;
    for (int i = 0; i < collection_.count(); ++i) {
        std::string name = collection_.entry(i).name;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (name.find("default") != std::string::npos) {
            loadPresetFile(collection_.entry(i).path, *handler_, true);
            return;
        }
    }
}

int SimplePreset::popCount()
{
    rescan();
    return collection_.count() + 5;
}

std::string SimplePreset::popName(int index)
{
    const int n = collection_.count();
    if (index >= 0 && index < n)
        return collection_.label(index);
    switch (index - n) {
    case 0: return kSeparator;
    case SaveAsPreset: return "\x03(c:Nc_HILIGHT)Save as Preset...";
    case DeletePreset: return "\x03(c:Nc_HILIGHT)Delete Preset...";
    case LoadFromFile: return "\x03(c:Nc_HILIGHT)Load Settings from File...";
    case SaveToFile: return "\x03(c:Nc_HILIGHT)Save Settings to File...";
    default: return {};
    }
}

int SimplePreset::commandAt(int index) const
{
    const int command = index - collection_.count();
    return command >= SaveAsPreset && command <= SaveToFile ? command : 0;
}

bool SimplePreset::loadEntry(int index)
{
    if (!handler_ || index < 0 || index >= collection_.count())
        return false;
    return loadPresetFile(collection_.entry(index).path, *handler_, false);
}

void SimplePreset::refreshView()
{
    if (panel_.id() && panel_.available() && panel_.table()->viewRefresh)
        panel_.table()->viewRefresh(panel_.id());
}

void SimplePreset::popCommand(unsigned int cid, int index)
{
    if (cid != controlId)
        return;
    if (index < collection_.count()) {
        if (loadEntry(index))
            refreshView();
        return;
    }
    switch (commandAt(index)) {
    case SaveAsPreset: saveAsPreset(); break;
    case DeletePreset: deletePreset(); break;
    case LoadFromFile: loadFromFile(); break;
    case SaveToFile: saveToFile(); break;
    default: break; // the separator
    }
}

namespace {

// Experts are not asked before a file is overwritten or deleted.
bool confirmations()
{
    const InterfaceInfo info;
    return !info.available() || info->alertLevel < LWALERT_EXPERT;
}

const char *const kOverwrite = "Are you sure you want to overwrite preset?";

// No answer in a three-way question.
constexpr int kNo = 1;

} // namespace

void SimplePreset::saveAsPreset()
{
    static const LWXPanelControl controls[] = {{kFormPreset, "Preset", "sPresetText"},
                                               {kFormType, "Type", "iPopChoice"},
                                               {0, nullptr, nullptr}};
    static const LWXPanelDataDesc data[] = {
        {kFormPreset, "", "string"}, {kFormType, "", "integer"}, {0, nullptr, nullptr}};
    const bool confirm = confirmations();
    for (;;) {
        HintList hints;
        hints.title("Save Preset");
        XPanelForm form(controls, data, hints.data());
        if (!form.valid())
            return;
        form.setPopup(kFormPreset, &collection_);
        form.setPopup(kFormType, &pathMap());
        form.setString(kFormPreset, lastName_);
        // Locations come and go with the list files.
        lastLocation_ = std::clamp(lastLocation_, 0, std::max(pathMap().count() - 1, 0));
        form.setInt(kFormType, lastLocation_);
        if (!form.post())
            return;
        lastName_ = form.getString(kFormPreset);
        lastLocation_ = form.getInt(kFormType, lastLocation_);
        const LWMessage messages;
        // The list skips names starting with '.', so such a file would
        // never be seen again; path parts become such names.
        const std::string fileName = presetFileName(lastName_);
        if (lastName_.empty() || fileName[0] == '.') {
            messages.error("Preset not saved: the name \"" + lastName_ + "\" cannot be listed.",
                           "Give a name that is not empty and does not start with \".\".");
            continue;
        }
        const std::string folder = folderOf(pathMap().name(lastLocation_));
        if (folder.empty()) {
            messages.error("Preset not saved: the location has no folder.",
                           "Choose another location.");
            continue;
        }
        const std::string path = joined(folder, fileName);
        if (confirm && std::filesystem::exists(filePath(path))) {
            const int answer = messages.yesNoCancel("Save Preset", kOverwrite, path);
            if (answer == kNo)
                continue; // this form goes; a new one shows the same values
            if (answer != 2)
                return;
        }
        createDirectoriesFor(path);
        if (const std::string error = writePresetFile(path, lastName_, handler_); error.empty())
            messages.info("Preset saved: " + path);
        else
            messages.error("Error saving Preset: " + path, error);
        return;
    }
}

void SimplePreset::deletePreset()
{
    if (collection_.count() == 0)
        return;
    static const LWXPanelControl controls[] = {{kFormPreset, "Preset", "iPopChoice"},
                                               {0, nullptr, nullptr}};
    static const LWXPanelDataDesc data[] = {{kFormPreset, "", "integer"}, {0, nullptr, nullptr}};
    HintList hints;
    hints.title("Delete Preset");
    XPanelForm form(controls, data, hints.data());
    if (!form.valid())
        return;
    form.setPopup(kFormPreset, &collection_);
    form.setInt(kFormPreset, 0);
    // The list shows where each preset lives only while this form is up.
    struct ShowLocations {
        ShowLocations() { PresetCollection::showLocations = true; }
        ~ShowLocations() { PresetCollection::showLocations = false; }
    };
    bool ok = false;
    {
        const ShowLocations show;
        ok = form.post();
    }
    const int index = form.getInt(kFormPreset, -1);
    if (!ok || index < 0 || index >= collection_.count())
        return;
    const std::string path = collection_.entry(index).path;
    const LWMessage messages;
    if (confirmations() && canRead(path) &&
        messages.yesNo("Delete Preset", "Are you sure you want to delete the preset?",
                       collection_.label(index)) != 1)
        return;
    std::error_code ec;
    if (!std::filesystem::remove(filePath(path), ec))
        messages.error("Error Deleting file:", path);
}

void SimplePreset::loadFromFile()
{
    if (loadRequest_.open() && handler_ && loadPresetFile(loadRequest_.fullName(), *handler_, false))
        refreshView();
}

void SimplePreset::saveToFile()
{
    const bool confirm = confirmations();
    while (saveRequest_.open()) {
        const std::string name = saveRequest_.fullName();
        const LWMessage messages;
        if (confirm && std::filesystem::exists(filePath(name))) {
            const int answer = messages.yesNoCancel("Save Preset", kOverwrite,
                                                    saveRequest_.relativeName());
            if (answer == kNo)
                continue; // choose again
            if (answer != 2)
                return;
        }
        if (const std::string error = writePresetFile(name, name, handler_); error.empty())
            messages.info("Saved Preset As: " + name);
        else
            messages.error("Error saving Preset: " + name, error);
        return;
    }
}

} // namespace hostkit
