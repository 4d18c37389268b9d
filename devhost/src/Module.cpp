#include "devhost/Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace devhost {

namespace {
std::string hex(unsigned int v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}
} // namespace

std::unique_ptr<Module> Module::load(const std::string &path)
{
    std::unique_ptr<Module> m(new Module);
    m->path_ = path;
    if (!std::filesystem::exists(path))
        throw ModuleError("Cannot load module \"" + path + "\": the file does not exist");
    m->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m->handle_) {
        const char *why = dlerror();
        throw ModuleError("Cannot load module \"" + path + "\": " + (why ? why : "unknown error"));
    }
    m->descriptor_ = static_cast<ModuleDescriptor *>(dlsym(m->handle_, MODULE_DESCRIPTOR_SYMBOL));
    const ModuleDescriptor *d = m->descriptor_;
    if (!d)
        throw ModuleError("\"" + path + "\" is not a plug-in module: it exports no " +
                          MODULE_DESCRIPTOR_SYMBOL);
    if (d->sysSync != MOD_SYSSYNC)
        throw ModuleError("\"" + path + "\" has a wrong synchronisation value " +
                          hex(d->sysSync) + " (expected " + hex(MOD_SYSSYNC) + ")");
    if (d->sysVersion != MOD_SYSVER)
        throw ModuleError("\"" + path + "\" is built for system version " +
                          std::to_string(d->sysVersion) + " (expected " +
                          std::to_string(MOD_SYSVER) + ")");
    if (d->sysMachine != MOD_MACHINE)
        throw ModuleError("\"" + path + "\" is built for machine " + hex(d->sysMachine) +
                          " (expected " + hex(MOD_MACHINE) + ")");
    if (!d->startup)
        throw ModuleError("\"" + path + "\" has no startup function");
    m->startupResult_ = d->startup();
    m->table_ = d->serverDefs;
    if (!m->table_)
        throw ModuleError("\"" + path + "\" started without a server table");
    for (const ServerRecord *r = m->table_; r->className; ++r) {
        ServerEntry e;
        e.className = r->className;
        e.name = r->name ? r->name : "";
        e.activate = r->activate;
        for (const ServerTagInfo *t = r->tagInfo; t && t->string; ++t)
            e.tags.emplace_back(t->string, t->tag);
        m->servers_.push_back(std::move(e));
    }
    return m;
}

Module::~Module() { unload(); }

void Module::unload()
{
    if (descriptor_ && startupResult_ && descriptor_->shutdown)
        descriptor_->shutdown(startupResult_);
    startupResult_ = nullptr;
    table_ = nullptr;
    descriptor_ = nullptr;
    servers_.clear();
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

const ServerEntry *Module::find(const std::string &className, const std::string &name) const
{
    for (const ServerEntry &e : servers_)
        if (e.className == className && e.name == name)
            return &e;
    return nullptr;
}

std::string defaultModulePath(const std::string &programPath)
{
    if (const char *env = std::getenv("RAVELCAST_MODULE"); env && *env)
        return env;
    namespace fs = std::filesystem;
    fs::path program = programPath;
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        program = self;
    return (program.parent_path() / ".." / "lib" / "ravelcast.so").lexically_normal().string();
}

} // namespace devhost
