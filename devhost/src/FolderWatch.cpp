#include "devhost/FolderWatch.h"

#include <algorithm>
#include <system_error>

namespace devhost {

namespace fs = std::filesystem;

FolderWatch::FolderWatch(std::size_t maxFiles) : maxFiles_(maxFiles) {}

bool FolderWatch::look(const fs::path &folder, Look &out) const
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return true; // nothing there yet
    std::size_t files = 0;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc))
            continue;
        if (++files > maxFiles_)
            return false;
        const fs::file_time_type time = it->last_write_time(fileEc);
        const std::uintmax_t size = fileEc ? 0 : it->file_size(fileEc);
        out[it->path().lexically_normal().string()] = {time, size};
    }
    return true;
}

void FolderWatch::watch(const std::string &folder)
{
    std::error_code ec;
    fs::path path = fs::absolute(folder, ec).lexically_normal();
    if (ec)
        return;
    // A folder inside one already watched adds nothing; one around it
    // takes its place.
    const std::string text = path.string();
    auto inside = [](const std::string &inner, const std::string &outer) {
        return inner == outer || (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
                                  (outer.back() == '/' || outer.back() == '\\' ||
                                   inner[outer.size()] == '/' || inner[outer.size()] == '\\'));
    };
    for (const fs::path &f : folders_)
        if (inside(text, f.string()))
            return;
    folders_.erase(std::remove_if(folders_.begin(), folders_.end(),
                                  [&](const fs::path &f) { return inside(f.string(), text); }),
                   folders_.end());
    folders_.push_back(path);
    changes();
}

std::vector<std::string> FolderWatch::changes()
{
    Look now;
    for (const fs::path &f : folders_) {
        const std::string name = f.string();
        if (std::find(skipped_.begin(), skipped_.end(), name) != skipped_.end())
            continue;
        Look part;
        if (!look(f, part)) {
            skipped_.push_back(name);
            continue;
        }
        now.insert(part.begin(), part.end());
    }
    std::vector<std::string> changed;
    for (const auto &[file, seen] : now) {
        const auto before = last_.find(file);
        if (before == last_.end() || before->second.time != seen.time ||
            before->second.size != seen.size)
            changed.push_back(file);
    }
    last_ = std::move(now);
    return changed;
}

} // namespace devhost
