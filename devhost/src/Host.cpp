#include "devhost/Host.h"
#include "devhost/CallbackBarrier.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include <lwsdk/generic.h>
#include <lwsdk/master.h>
#include <lwsdk/system.h>

#include "devhost/BlockFile.h"
#include "devhost/Extensions.h"

namespace devhost {

namespace {

Host *g_current = nullptr;

constexpr std::uintptr_t kCameraIdBase = 0x30000000;
constexpr std::uintptr_t kObjectIdBase = 0x20000000;

// ---- "LW Scene Info 3"
LWItemID renderCameraThunk(LWTime)
{
    return g_current ? g_current->cameraId(g_current->scene().settings.renderCamera) : nullptr;
}

// ---- "LW Camera Info 2"
const Camera *cam(LWItemID id) { return g_current ? g_current->cameraOf(id) : nullptr; }
double focalLengthThunk(LWItemID id, LWTime) { const Camera *c = cam(id); return c ? c->focalLength : 0.0; }
double focalDistanceThunk(LWItemID id, LWTime) { const Camera *c = cam(id); return c ? c->focalDistance : 0.0; }
double fStopThunk(LWItemID id, LWTime) { const Camera *c = cam(id); return c ? c->fStop : 0.0; }
double blurLengthThunk(LWItemID id, LWTime) { const Camera *c = cam(id); return c ? c->blurLength : 0.0; }
unsigned int cameraFlagsThunk(LWItemID id) { const Camera *c = cam(id); return c ? c->flags : 0u; }
double zoomFactorThunk(LWItemID id, LWTime) { const Camera *c = cam(id); return c ? c->zoomFactor() : 0.0; }
void filmSizeThunk(LWItemID id, LWTime, double *width, double *height)
{
    const Camera *c = cam(id);
    double aspect = 0;
    if (c) {
        const SceneSettings &s = g_current->scene().settings;
        aspect = s.frameWidth * s.pixelAspect / s.frameHeight;
    }
    if (width)
        *width = c ? kFilmWidth : 0.0;
    if (height)
        *height = c && aspect > 0 ? kFilmWidth / aspect : 0.0;
}
double eyeSeparationThunk(LWItemID id, LWTime) { const Camera *c = cam(id); return c ? c->eyeSeparation : 0.0; }

// ---- "LW Item Info 3", "LW Object Info", "Surface Functions"
const SceneItems *items() { return g_current ? &g_current->scene().items : nullptr; }
// An object's index from its id; -1 for any other id.
int objectIndex(LWItemID id) { return g_current ? g_current->objectIndexOf(id) : -1; }
LWItemID objectId(int index) { return g_current ? g_current->objectId(index) : nullptr; }

LWItemID firstThunk(int type, LWItemID)
{
    if (!g_current)
        return nullptr;
    if (type == LWI_OBJECT)
        return objectId(0);
    if (type != LWI_CAMERA || g_current->scene().cameras.empty())
        return nullptr;
    return reinterpret_cast<LWItemID>(kCameraIdBase + 1);
}
LWItemID nextThunk(LWItemID id)
{
    const int object = objectIndex(id);
    if (object >= 0)
        return objectId(object + 1);
    if (!cam(id))
        return nullptr;
    LWItemID next = reinterpret_cast<LWItemID>(reinterpret_cast<std::uintptr_t>(id) + 1);
    return cam(next) ? next : nullptr;
}
int typeThunk(LWItemID id) { return objectIndex(id) >= 0 ? LWI_OBJECT : cam(id) ? LWI_CAMERA : -1; }
const char *nameThunk(LWItemID id)
{
    const int object = objectIndex(id);
    if (object >= 0)
        return items()->objects[static_cast<std::size_t>(object)].name.c_str();
    const Camera *c = cam(id);
    return c ? c->name.c_str() : nullptr;
}
LWItemID parentThunk(LWItemID id)
{
    const int object = objectIndex(id);
    const std::string *parent = nullptr;
    if (object >= 0)
        parent = &items()->objects[static_cast<std::size_t>(object)].parent;
    else if (const Camera *c = cam(id))
        parent = &c->parent;
    return parent && !parent->empty() ? objectId(items()->objectIndex(*parent)) : nullptr;
}
void put(LWDVector out, V3 v)
{
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}
void paramThunk(LWItemID id, int param, LWTime time, LWDVector out)
{
    if (!out)
        return;
    put(out, {});
    if (!g_current)
        return;
    const double frame = time * g_current->scene().settings.framesPerSecond;
    const int object = objectIndex(id);
    const Camera *c = cam(id);
    if (object < 0 && !c)
        return;
    const auto i = static_cast<std::size_t>(object);
    if (param == LWIP_POSITION) {
        put(out, c ? c->position : items()->localPosition(i, frame));
        return;
    }
    if (param == LWIP_ROTATION) {
        put(out, c ? V3{radians(c->rotation.x), radians(c->rotation.y), radians(c->rotation.z)}
                   : items()->localRotation(i, frame));
        return;
    }
    const Placement p = c ? cameraPlacement(*items(), *c, frame, false) : items()->worldPlacement(i, frame);
    switch (param) {
    case LWIP_W_POSITION: put(out, p.position); break;
    case LWIP_W_RIGHT: put(out, p.right); break;
    case LWIP_W_UP: put(out, p.up); break;
    case LWIP_W_FORWARD: put(out, p.forward); break;
    default: break;
    }
}

LWItemID byBufferIdThunk(int id) { return id > 0 ? objectId(id - 1) : nullptr; }
int bufferIdThunk(LWItemID id) { return objectIndex(id) + 1; }

constexpr std::uintptr_t kSurfaceIdBase = 0x40000000;
int surfaceIndex(LWSurfaceID id)
{
    const auto v = reinterpret_cast<std::uintptr_t>(id);
    if (!items() || v <= kSurfaceIdBase || v > kSurfaceIdBase + items()->surfaces.size())
        return -1;
    return static_cast<int>(v - kSurfaceIdBase - 1);
}
LWSurfaceID surfaceId(int index)
{
    if (!items() || index < 0 || static_cast<std::size_t>(index) >= items()->surfaces.size())
        return nullptr;
    return reinterpret_cast<LWSurfaceID>(kSurfaceIdBase + 1 + static_cast<std::uintptr_t>(index));
}
LWSurfaceID firstSurfaceThunk() { return surfaceId(0); }
LWSurfaceID nextSurfaceThunk(LWSurfaceID id) { const int i = surfaceIndex(id); return i < 0 ? nullptr : surfaceId(i + 1); }
const char *surfaceNameThunk(LWSurfaceID id)
{
    const int i = surfaceIndex(id);
    return i < 0 ? nullptr : items()->surfaces[static_cast<std::size_t>(i)].name.c_str();
}
LWSurfaceID surfaceByBufferIdThunk(int id) { return id > 0 ? surfaceId(id - 1) : nullptr; }
int surfaceBufferIdThunk(LWSurfaceID id) { return surfaceIndex(id) + 1; }

const char *serverThunk(LWItemID item, const char *className, int index)
{
    if (item || !className || !g_current)
        return nullptr;
    const AppliedServer *s = g_current->scene().server(className, index);
    return s ? s->name.c_str() : nullptr;
}

// ---- "Instance Update"
int updateThunk(const char *className, LWInstance inst)
{
    if (!g_current)
        return 0;
    g_current->recordUpdate(className, inst);
    return 1;
}

// ---- "File IO"
std::map<LWLoadState *, std::unique_ptr<BlockReader>> g_loads;
struct OpenSave {
    std::unique_ptr<BlockWriter> writer;
    std::string path;
};
std::map<LWSaveState *, OpenSave> g_saves;

LWLoadState *openLoadThunk(const char *name, int ioMode)
{
    if (!name)
        return nullptr;
    std::unique_ptr<BlockReader> r = openBlockReader(name, ioMode, nullptr);
    if (!r)
        return nullptr;
    LWLoadState *state = r->state();
    g_loads[state] = std::move(r);
    return state;
}
void closeLoadThunk(LWLoadState *state) { g_loads.erase(state); }

LWSaveState *openSaveThunk(const char *name, int ioMode)
{
    if (!name)
        return nullptr;
    {
        // Fail now, as a host would, when the file cannot be created.
        std::ofstream probe(name, std::ios::binary | std::ios::app);
        if (!probe)
            return nullptr;
    }
    std::unique_ptr<BlockWriter> w = makeBlockWriter(ioMode);
    LWSaveState *state = w->state();
    g_saves[state] = OpenSave{std::move(w), name};
    return state;
}
void closeSaveThunk(LWSaveState *state)
{
    auto it = g_saves.find(state);
    if (it == g_saves.end())
        return;
    std::string error;
    if (!writeBlockFile(it->second.path, *it->second.writer, &error)) {
        if (g_current)
            g_current->messages().post(Message::Error, error.c_str(), nullptr);
    } else if (g_current) {
        g_current->noteWritten(it->second.path);
    }
    g_saves.erase(it);
}

// ---- layout-generic command evaluation
int evaluateThunk(void *data, const char *command)
{
    Host *h = static_cast<Host *>(data);
    return h && command ? (h->evaluate(command) ? 1 : 0) : 0;
}

const char *interfaceClassOf(const std::string &handlerClass)
{
    if (handlerClass == LWIMAGEFILTER_HCLASS)
        return LWIMAGEFILTER_ICLASS;
    if (handlerClass == LWMASTER_HCLASS)
        return LWMASTER_ICLASS;
    return nullptr;
}

} // namespace

Host::Host()
{
    if (g_current)
        throw HostError("a development host already exists in this process");
    g_current = this;
    offerServices();
    extensions_ = std::make_unique<Extensions>(*this);
    sceneChanged();
}

Host::~Host()
{
    unloadModule();
    extensions_.reset();
    g_loads.clear();
    g_saves.clear();
    g_current = nullptr;
}

Host *Host::current() { return g_current; }

void *Host::global(const char *serviceName, int useCode)
{
    return g_current ? g_current->services_.lookup(serviceName, useCode) : nullptr;
}

void Host::offerServices()
{
    services_.offer(LWSYSTEMID_GLOBAL, [this] {
        return reinterpret_cast<void *>(static_cast<std::uintptr_t>(systemId()));
    });
    services_.offer(LWPRODUCTINFO_GLOBAL, [this] {
        return reinterpret_cast<void *>(static_cast<std::uintptr_t>(productInfo()));
    });
    services_.offerTable(LWMESSAGEFUNCS_GLOBAL, const_cast<LWMessageFuncs *>(messages_.table()));

    sceneInfo_.renderCamera = guarded<renderCameraThunk>;
    services_.offerTable(LWSCENEINFO_GLOBAL, &sceneInfo_);
    cameraInfo_ = {guarded<focalLengthThunk>, guarded<focalDistanceThunk>, guarded<fStopThunk>,
                   guarded<blurLengthThunk>, guarded<cameraFlagsThunk>, guarded<zoomFactorThunk>,
                   guarded<filmSizeThunk>, guarded<eyeSeparationThunk>};
    services_.offerTable(LWCAMERAINFO_GLOBAL, &cameraInfo_);
    itemInfo_ = {guarded<firstThunk>, guarded<nextThunk>, guarded<typeThunk>, guarded<nameThunk>,
                 guarded<serverThunk>, guarded<parentThunk>, guarded<paramThunk>};
    services_.offerTable(LWITEMINFO_GLOBAL, &itemInfo_);
    objectInfo_ = {guarded<byBufferIdThunk>, guarded<bufferIdThunk>};
    services_.offerTable(LWOBJECTINFO_GLOBAL, &objectInfo_);
    surfaceFuncs_ = {guarded<firstSurfaceThunk>, guarded<nextSurfaceThunk>, guarded<surfaceNameThunk>,
                     guarded<surfaceByBufferIdThunk>, guarded<surfaceBufferIdThunk>};
    services_.offerTable(LWSURFACEFUNCS_GLOBAL, &surfaceFuncs_);
    services_.offerTable(LWTIMEINFO_GLOBAL, &timeInfo_);
    dirInfo_.dir = guardedLambda([](const char *name) -> const char * {
        if (!g_current || !name)
            return nullptr;
        std::string d = g_current->directory(name);
        if (d.empty())
            return nullptr;
        return (g_current->dirTexts_[name] = d).c_str();
    });
    services_.offerTable(LWDIRINFOFUNC_GLOBAL, &dirInfo_);
    instUpdate_.update = guarded<updateThunk>;
    services_.offerTable(LWINSTUPDATE_GLOBAL, &instUpdate_);
    fileIO_ = {guarded<openLoadThunk>, guarded<closeLoadThunk>, guarded<openSaveThunk>,
               guarded<closeSaveThunk>};
    services_.offerTable(LWFILEIOFUNCS_GLOBAL, &fileIO_);
    services_.offerTable(LWINTERFACEINFO_GLOBAL, &interfaceInfo_);
}

Module &Host::loadModule(const std::string &path)
{
    unloadModule();
    module_ = Module::load(path);
    return *module_;
}

void Host::unloadModule()
{
    clearServers();
    if (module_)
        module_->unload();
    module_.reset();
}

void Host::noteWritten(const std::string &file)
{
    // Relative names are relative to the folder current now.
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(file, ec);
    written_.push_back(ec ? file : p.lexically_normal().string());
}

unsigned int Host::systemId() const
{
    unsigned int type = LWSYS_LAYOUT;
    if (scene_.host.mode == RunMode::Modeler)
        type = LWSYS_MODELER;
    else if (scene_.host.mode == RunMode::ScreamerNet)
        type = LWSYS_SCREAMERNET;
    return type | (scene_.host.serial & LWSYS_SERIALBITS);
}

unsigned int Host::productInfo() const
{
    const HostSettings &h = scene_.host;
    return ((static_cast<unsigned int>(h.major) & 0xF) << 20) |
           ((static_cast<unsigned int>(h.minor) & 0xF) << 16) |
           ((static_cast<unsigned int>(h.build) & 0xFFF) << 4) | LWINF_PRODLWAV;
}

int Host::activate(const std::string &className, const std::string &name, int version,
                   void *local, void *serverData)
{
    const ServerEntry *e = module_ ? module_->find(className, name) : nullptr;
    if (!e || !e->activate)
        throw HostError("The module has no server \"" + name + "\" of class " + className);
    return e->activate(version, guarded<&Host::global>, local, serverData);
}

AppliedServer &Host::applyServer(const std::string &className, const std::string &name)
{
    auto s = std::make_unique<AppliedServer>();
    s->className = className;
    s->name = name;
    void *local = nullptr;
    if (className == LWIMAGEFILTER_HCLASS) {
        s->version = scene_.settings.filterVersion;
        s->filter.inst = &s->inst;
        s->filter.item = &s->item;
        local = &s->filter;
    } else if (className == LWMASTER_HCLASS) {
        s->version = LWMASTER_VERSION;
        s->master.inst = &s->inst;
        s->master.item = &s->item;
        local = &s->master;
    } else {
        throw HostError("Servers of class " + className + " cannot be applied to a scene");
    }
    const int result = activate(className, name, s->version, local);
    if (result != AFUNC_OK)
        throw HostError("Server \"" + name + "\" refused activation version " +
                        std::to_string(s->version) + " (result " + std::to_string(result) + ")");
    if (!s->inst.create)
        throw HostError("Server \"" + name + "\" filled no instance functions");
    LWError error = nullptr;
    s->instance = s->inst.create(s->inst.priv, &s->contextFlags, &error);
    if (!s->instance) {
        const std::string why = error ? error : "no instance was created";
        messages_.post(Message::Error, why.c_str(), nullptr);
        throw HostError("Cannot create \"" + name + "\": " + why);
    }
    scene_.servers.push_back(std::move(s));
    return *scene_.servers.back();
}

void Host::removeServer(AppliedServer *server)
{
    for (auto it = scene_.servers.begin(); it != scene_.servers.end(); ++it) {
        if (it->get() != server)
            continue;
        if (server->instance && server->inst.destroy)
            server->inst.destroy(server->instance);
        scene_.servers.erase(it);
        return;
    }
}

void Host::clearServers()
{
    while (!scene_.servers.empty())
        removeServer(scene_.servers.back().get());
}

bool Host::loadServer(AppliedServer &server, const LWLoadState *state)
{
    if (!server.instance || !server.inst.load)
        return false;
    if (LWError e = server.inst.load(server.instance, state)) {
        messages_.post(Message::Error, e, nullptr);
        return false;
    }
    return true;
}

bool Host::saveServer(AppliedServer &server, const LWSaveState *state)
{
    if (!server.instance || !server.inst.save)
        return false;
    if (LWError e = server.inst.save(server.instance, state)) {
        messages_.post(Message::Error, e, nullptr);
        return false;
    }
    return true;
}

std::string Host::describe(const AppliedServer &server)
{
    if (!server.instance || !server.inst.descln)
        return {};
    const char *d = server.inst.descln(server.instance);
    return d ? d : "";
}

bool Host::evaluate(const std::string &command)
{
    commands_.push_back(command);
    std::istringstream in(command);
    std::string verb, className, arg;
    in >> verb >> className;
    std::getline(in >> std::ws, arg);
    try {
        if (verb == "ApplyServer") {
            applyServer(className, arg);
            return true;
        }
        if (verb == "EditServer") {
            const int n = std::atoi(arg.c_str());
            AppliedServer *s = scene_.server(className, n);
            const char *ui = interfaceClassOf(className);
            if (!s || !ui) {
                messages_.post(Message::Error, ("EditServer: no server " + arg + " of class " +
                                                className).c_str(), nullptr);
                return false;
            }
            LWInterface local{s->instance, nullptr, nullptr, nullptr};
            const int version = className == LWIMAGEFILTER_HCLASS ? LWIMAGEFILTER_VERSION_LIST
                                                                   : LWMASTER_VERSION;
            const int result = activate(ui, s->name, version, &local);
            edits_.push_back({className, n, s->name, result, local.panel});
            return result == AFUNC_OK;
        }
    } catch (const HostError &e) {
        messages_.post(Message::Error, e.what(), nullptr);
        return false;
    }
    messages_.post(Message::Error, ("Unknown command: " + command).c_str(), nullptr);
    return false;
}

int Host::runGeneric(const std::string &name)
{
    LWLayoutGeneric local{this, guarded<evaluateThunk>};
    return activate(LWLAYOUTGENERIC_CLASS, name, LWLAYOUTGENERIC_VERSION, &local);
}

void Host::recordUpdate(const char *className, LWInstance instance)
{
    updates_.push_back({className ? className : "", instance});
}

void Host::forceMode(RunMode mode)
{
    forcedMode_ = mode;
    sceneChanged();
}

void Host::sceneChanged()
{
    if (forcedMode_)
        scene_.host.mode = *forcedMode_;
    // Folders are anchored when they are set: filters change the current
    // directory while they write.
    for (std::string *dir : {&scene_.host.contentDir, &scene_.host.settingsDir,
                             &scene_.host.installDir}) {
        std::error_code ec;
        if (!dir->empty() && std::filesystem::path(*dir).is_relative())
            *dir = std::filesystem::absolute(*dir, ec).lexically_normal().string();
    }
    const SceneSettings &s = scene_.settings;
    sceneName_ = s.name;
    sceneFile_ = scene_.path;
    rgbPrefix_ = s.rgbPrefix;
    sceneInfo_.name = sceneName_.c_str();
    sceneInfo_.filename = sceneFile_.c_str();
    sceneInfo_.numPoints = s.points;
    sceneInfo_.numPolygons = s.polygons;
    sceneInfo_.renderOpts = s.renderOptions | (s.limitedRegion ? LWROPT_LIMITEDREGION : 0);
    sceneInfo_.frameStart = s.firstFrame;
    sceneInfo_.frameEnd = s.lastFrame;
    sceneInfo_.frameStep = s.frameStep;
    sceneInfo_.framesPerSecond = s.framesPerSecond;
    sceneInfo_.frameWidth = s.frameWidth;
    sceneInfo_.frameHeight = s.frameHeight;
    sceneInfo_.pixelAspect = s.pixelAspect;
    if (s.limitedRegion) {
        sceneInfo_.limitedRegionX0 = s.regionX0;
        sceneInfo_.limitedRegionY0 = s.regionY0;
        sceneInfo_.limitedRegionX1 = s.regionX1;
        sceneInfo_.limitedRegionY1 = s.regionY1;
        regionReported_ = true;
    } else if (!regionReported_) {
        // Until a region is set the rectangle is the whole frame; after one,
        // like a real host, the last rectangle stays while the region is off.
        sceneInfo_.limitedRegionX0 = 0;
        sceneInfo_.limitedRegionY0 = 0;
        sceneInfo_.limitedRegionX1 = s.frameWidth - 1;
        sceneInfo_.limitedRegionY1 = s.frameHeight - 1;
    }
    sceneInfo_.numThreads = s.renderThreads;
    sceneInfo_.RGBPrefix = rgbPrefix_.c_str();
    sceneInfo_.antialiasing = s.antialiasing;
    sceneInfo_.filter = (s.reconstructionFilter & 0x1F) << 1;
    interfaceInfo_.alertLevel = scene_.host.alertLevel;
    dirTexts_.clear();
    setFrame(timeInfo_.frame);
}

void Host::setFrame(LWFrame frame)
{
    timeInfo_.frame = frame;
    const double fps = scene_.settings.framesPerSecond;
    timeInfo_.time = fps > 0 ? frame / fps : 0.0;
}

std::string Host::directory(const std::string &name) const
{
    namespace fs = std::filesystem;
    const HostSettings &h = scene_.host;
    auto absolute = [](const std::string &p) {
        std::error_code ec;
        fs::path a = fs::absolute(p, ec);
        return (ec ? fs::path(p) : a).lexically_normal().string();
    };
    std::string content = h.contentDir;
    if (content.empty())
        content = scene_.path.empty() ? fs::current_path().string()
                                      : fs::path(scene_.path).parent_path().string();
    if (content.empty())
        content = ".";
    content = absolute(content);
    if (name == "Content")
        return content;
    if (name == "Settings")
        return h.settingsDir.empty() ? absolute(content + "/settings") : absolute(h.settingsDir);
    if (name == "Install")
        return h.installDir.empty() ? content : absolute(h.installDir);
    return {};
}

LWItemID Host::cameraId(const std::string &name) const
{
    for (std::size_t i = 0; i < scene_.cameras.size(); ++i)
        if (scene_.cameras[i].name == name)
            return reinterpret_cast<LWItemID>(kCameraIdBase + 1 + i);
    return nullptr;
}

const Camera *Host::cameraOf(LWItemID id) const
{
    const auto v = reinterpret_cast<std::uintptr_t>(id);
    if (v <= kCameraIdBase || v > kCameraIdBase + scene_.cameras.size())
        return nullptr;
    return &scene_.cameras[v - kCameraIdBase - 1];
}

LWItemID Host::objectId(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= scene_.items.objects.size())
        return nullptr;
    return reinterpret_cast<LWItemID>(kObjectIdBase + 1 + static_cast<std::uintptr_t>(index));
}

int Host::objectIndexOf(LWItemID id) const
{
    const auto v = reinterpret_cast<std::uintptr_t>(id);
    if (v <= kObjectIdBase || v > kObjectIdBase + scene_.items.objects.size())
        return -1;
    return static_cast<int>(v - kObjectIdBase - 1);
}

} // namespace devhost
