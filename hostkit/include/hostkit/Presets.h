// Presets of a plug-in: small host block files ('VERS', 'NAME', 'PRES')
// kept in per-plug-in folders under named locations ("Content", "Global",
// "User" and those the location list files add), listed in a popup.
#ifndef HOSTKIT_PRESETS_H
#define HOSTKIT_PRESETS_H

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hostkit/BlockIO.h"
#include "hostkit/FileRequest.h"
#include "hostkit/XPanel.h"

namespace hostkit {

// The locations presets live in, keyed by name in byte order. One per
// process: see pathMap(). As a popup it lists its keys.
class PathMap : public PopUpCallback {
public:
    static constexpr const char *kListFile = "SimplePresetPaths.cfg";

    // Clears the map, inserts the built-in locations and reads the list
    // files of the host's "Install", "Settings" and "Content" folders.
    // Relative folders are taken inside the content directory; locations
    // left without a folder are dropped.
    void load();
    // Applies one line of a list file; comments and malformed lines do nothing.
    void applyLine(const std::string &line);

    int count() const { return static_cast<int>(folders_.size()); }
    // The key at index, in map order; empty past the end.
    std::string name(int index) const;
    int indexOf(const std::string &key) const;
    // The folder the presets of className/serverName use at location;
    // empty when the location has none (a location not in the map uses
    // the content directory).
    std::string presetFolder(const std::string &location, const std::string &className,
                             const std::string &serverName) const;
    const std::map<std::string, std::string> &folders() const { return folders_; }

    int popCount() override { return count(); }
    std::string popName(int index) override { return name(index); }

    // "studio" -> "Studio": upper case at the start, lower case elsewhere.
    static std::string normalisedKey(const std::string &key);

private:
    std::map<std::string, std::string> folders_;
};

PathMap &pathMap();

// The folder every user of the machine shares for presets; empty when the
// platform cannot tell. On POSIX it is $RAVELCAST_SHARED_DATA, else
// $XDG_DATA_HOME, else ~/.local/share (never the home folder itself).
// The location map takes a relative one as inside the content directory.
std::string sharedDataFolder();

struct PresetEntry {
    std::string name;
    std::string path;
    mutable std::string label; // built on first use
    std::string location;
};

// The presets found at the last scan, in discovery order. As a popup it
// lists their names, or their labels while locations are shown.
class PresetCollection : public PopUpCallback {
public:
    void clear();
    void add(const std::string &path, const std::string &name, const std::string &location);
    int count() const { return static_cast<int>(entries_.size()); }
    const PresetEntry &entry(int index) const { return entries_[static_cast<std::size_t>(index)]; }
    // "[Location]" then the name moved to a column shared by every entry.
    const std::string &label(int index) const;
    // What the popup shows: labels while locations are shown, else names.
    std::string popupName(int index) const;

    int popCount() override { return count(); }
    std::string popName(int index) override { return popupName(index); }

    // Process-wide: the label column (pixels) and whether names show their
    // locations (only while the delete form is up).
    static int column;
    static bool showLocations;

private:
    std::vector<PresetEntry> entries_;
};

// What a plug-in implements to keep its settings in presets.
class PresetHandler {
public:
    virtual ~PresetHandler() = default;
    // Reads the settings inside a 'PRES' block; an error text, or none.
    virtual std::optional<std::string> loadPreset(LoadState &state) = 0;
    virtual void savePreset(SaveState &state) = 0;
};

// The preset's file name: the twelve characters a file name cannot hold
// on every system replaced by '_', then ".cfg".
std::string presetFileName(const std::string &presetName);

// Writes a preset file through the host's "File IO" into a temporary of its
// own beside the file and puts it in place only once it reads back whole
// (hostkit::AtomicFile): an existing file is replaced whole or not at all.
// Answers the cause when it was not written, empty when it was.
std::string writePresetFile(const std::string &path, const std::string &name,
                            PresetHandler *handler);

// Reads a preset file into the handler; reports its outcome through the
// host's messages ("Loaded Preset: ..." unless quiet). A file without a
// complete 'PRES' block reaches no settings and is reported as an error
// naming the file (quietly loaded ones only when it can be read at all).
// True when the handler was given the settings.
bool loadPresetFile(const std::string &path, PresetHandler &handler, bool quiet);

// The preset name a file holds (its last 'NAME' block, else the file name
// up to its last '.'); none when no top-level block is 'PRES'.
std::optional<std::string> presetNameOf(const std::string &path);

// Adds every preset file of folder (names starting with '.' and folders
// skipped; byte order of file names) to the collection.
void scanPresetFolder(const std::string &folder, const std::string &location,
                      PresetCollection &collection);

// A plug-in's preset menu: the presets of every location, a separator and
// four commands. The popup list is rebuilt from disk at every count query.
//
// The plug-in's panel code stores its panel (setPanel) and the preset
// control's id (controlId) and wires that "vPopCmd" control with this
// object as its command target.
class SimplePreset : public PopCmdCallback<SimplePreset> {
public:
    static constexpr const char *kSeparator = "---------------------------------";
    enum Command { SaveAsPreset = 1, DeletePreset, LoadFromFile, SaveToFile };
    // Controls of the save and delete forms.
    enum : unsigned int { kFormPreset = 0x800, kFormType = 0x801 };

    SimplePreset(std::string className, std::string serverName);
    SimplePreset(const SimplePreset &) = delete;
    SimplePreset &operator=(const SimplePreset &) = delete;

    // Scans the locations and quietly loads the first preset whose name
    // holds "default" (in any case).
    void attach(PresetHandler *handler);
    PresetHandler *handler() const { return handler_; }

    // The plug-in's panel, refreshed after a preset is loaded; not owned.
    // Set it to null when the host destroys the panel.
    void setPanel(LWXPanelID panel) { panel_.assign(panel, false); }
    LWXPanelID panel() const { return panel_.id(); }

    // Rescans and answers the number of popup items: the presets and five.
    int popCount() override;
    std::string popName(int index) override;
    // Runs the item index of the preset control (other controls are
    // ignored): loads a preset, or runs one of the four commands.
    void popCommand(unsigned int cid, int index) override;
    // Which command an item index is, past the presets; 0 for a preset or
    // the separator.
    int commandAt(int index) const;
    // Loads the preset at index with its message; false when index is no preset.
    bool loadEntry(int index);

    const std::string &className() const { return className_; }
    const std::string &serverName() const { return serverName_; }
    std::string folderOf(const std::string &location) const
    {
        return pathMap().presetFolder(location, className_, serverName_);
    }
    const PresetCollection &collection() const { return collection_; }

    unsigned int controlId = 0;

private:
    void rescan();
    void refreshView();
    void saveAsPreset();
    void deletePreset();
    void loadFromFile();
    void saveToFile();

    std::string className_, serverName_;
    PresetHandler *handler_ = nullptr;
    PresetCollection collection_;
    XPanel panel_;
    FileRequest2 loadRequest_, saveRequest_;
    // What the save form offers next: the last name and location chosen.
    std::string lastName_ = "none";
    int lastLocation_ = 1;
};

} // namespace hostkit

#endif
