// A plug-in module loaded with dlopen, its descriptor checked and started.
#ifndef DEVHOST_MODULE_H
#define DEVHOST_MODULE_H

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <lwsdk/module.h>

namespace devhost {

class ModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ServerEntry {
    std::string className;
    std::string name;
    ActivateFunc activate = nullptr;
    std::vector<std::pair<std::string, unsigned int>> tags;
};

class Module {
public:
    // Loads, checks the descriptor and runs startup; throws ModuleError with
    // the file and the cause.
    static std::unique_ptr<Module> load(const std::string &path);
    ~Module();
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;

    const std::string &path() const { return path_; }
    const ModuleDescriptor *descriptor() const { return descriptor_; }
    // The array startup handed back (ends with an all-zero record).
    const ServerRecord *serverTable() const { return table_; }
    const std::vector<ServerEntry> &servers() const { return servers_; }
    const ServerEntry *find(const std::string &className, const std::string &name) const;

    // Runs shutdown and closes the library; done by the destructor too.
    void unload();

private:
    Module() = default;

    std::string path_;
    void *handle_ = nullptr;
    ModuleDescriptor *descriptor_ = nullptr;
    ServerRecord *table_ = nullptr;
    void *startupResult_ = nullptr;
    std::vector<ServerEntry> servers_;
};

// Where devhost finds the module: --module, else RAVELCAST_MODULE, else
// ../lib/ravelcast.so next to the running program.
std::string defaultModulePath(const std::string &programPath);

} // namespace devhost

#endif
