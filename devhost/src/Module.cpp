#include "devhost/Module.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>

namespace devhost {

namespace {

#if defined(_WIN32)
std::wstring wide(const std::string &utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string systemMessage(DWORD code)
{
    char *text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string why = length && text ? std::string(text, length) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' '))
        why.pop_back();
    return why;
}

// LoadLibrary, as the host loads plug-ins on Windows.
void *openLibrary(const std::string &path, std::string *why)
{
    HMODULE h = LoadLibraryW(wide(path).c_str());
    if (!h)
        *why = systemMessage(GetLastError());
    return reinterpret_cast<void *>(h);
}

void *findSymbol(void *library, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void *library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
void *openLibrary(const std::string &path, std::string *why)
{
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *text = dlerror();
        *why = text ? text : "unknown error";
    }
    return h;
}

void *findSymbol(void *library, const char *name) { return dlsym(library, name); }

void closeLibrary(void *library) { dlclose(library); }
#endif

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
    if (!std::filesystem::exists(std::filesystem::u8path(path)))
        throw ModuleError("Cannot load module \"" + path + "\": the file does not exist");
    std::string why;
    m->handle_ = openLibrary(path, &why);
    if (!m->handle_)
        throw ModuleError("Cannot load module \"" + path + "\": " + why);
    m->descriptor_ = static_cast<ModuleDescriptor *>(findSymbol(m->handle_, MODULE_DESCRIPTOR_SYMBOL));
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
        closeLibrary(handle_);
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
#if defined(_WIN32)
    wchar_t self[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    if (n > 0 && n < std::size(self))
        program = fs::path(std::wstring(self, n));
    const char *file = "ravelcast.p";
#else
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        program = self;
    const char *file = "ravelcast.so";
#endif
    return (program.parent_path() / ".." / "lib" / file).lexically_normal().u8string();
}

} // namespace devhost
