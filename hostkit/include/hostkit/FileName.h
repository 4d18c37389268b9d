// A path held as a directory part and a name part, the directory kept
// relative to a host directory ("Content") when it lies inside it.
#ifndef HOSTKIT_FILENAME_H
#define HOSTKIT_FILENAME_H

#include <string>

namespace hostkit {

class FileName {
public:
    explicit FileName(std::string pathType = "Content") : pathType_(std::move(pathType)) {}
    FileName(const std::string &path, std::string pathType) : pathType_(std::move(pathType))
    {
        set(path);
    }

    // Splits at the last '\' or '/'; a directory inside the host directory
    // of this path type is made relative to it.
    void set(const std::string &path);
    // The directory part, the platform separator and the name part; the name
    // alone when the directory part is empty.
    std::string fullPath() const;
    const std::string &directory() const { return dir_; }
    const std::string &name() const { return name_; }
    const std::string &pathType() const { return pathType_; }
    bool empty() const { return dir_.empty() && name_.empty(); }

    // The directory part and name part of any path, split at its last '\' or
    // '/' (the separator itself in neither).
    static void split(const std::string &path, std::string *dir, std::string *name);
    // dir + separator + name, or name alone for an empty dir.
    static std::string join(const std::string &dir, const std::string &name);
    // path made relative to base when it lies inside it (whole path
    // components, either separator).
    static std::string relativeTo(const std::string &path, const std::string &base);

private:
    std::string pathType_;
    std::string dir_;
    std::string name_;
};

} // namespace hostkit

#endif
