// Which files below some folders were made or changed between two looks.
// The host learns this way what a filter wrote with its own file code, as
// it knows only what goes through its services.
#ifndef DEVHOST_FOLDERWATCH_H
#define DEVHOST_FOLDERWATCH_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace devhost {

class FolderWatch {
public:
    // A folder holding more than maxFiles files is not watched (listing
    // it every frame would cost more than the frame).
    explicit FolderWatch(std::size_t maxFiles = 100000);

    // Watches a folder (absolute or relative to the folder current now),
    // whether or not it exists yet; takes the first look at it. Folders
    // below a watched one are watched with it.
    void watch(const std::string &folder);
    // The files (absolute, sorted) made or changed since the last look;
    // takes a new look.
    std::vector<std::string> changes();
    // The watched folders that held too many files to be looked at.
    const std::vector<std::string> &skipped() const { return skipped_; }

private:
    struct Seen {
        std::filesystem::file_time_type time;
        std::uintmax_t size;
    };
    using Look = std::map<std::string, Seen>;
    bool look(const std::filesystem::path &folder, Look &out) const;

    std::size_t maxFiles_;
    std::vector<std::filesystem::path> folders_;
    std::vector<std::string> skipped_;
    Look last_;
};

} // namespace devhost

#endif
