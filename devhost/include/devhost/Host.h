// The development host: plays the host for one loaded module.
//
// Only one Host exists at a time; the module's global function reaches it
// through Host::current().
#ifndef DEVHOST_HOST_H
#define DEVHOST_HOST_H

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <lwsdk/blockio.h>
#include <lwsdk/scene.h>
#include <lwsdk/services.h>

#include "devhost/Messages.h"
#include "devhost/Module.h"
#include "devhost/Scene.h"
#include "devhost/ServiceRegistry.h"

namespace devhost {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Input the user named cannot be used: a file that does not exist or is not
// a regular file, or a malformed scene. The program exits with 2 on it.
class InputError : public HostError {
public:
    using HostError::HostError;
};

// Throws InputError, "<what> "<path>": <cause>", unless path names an
// existing regular file. Checked before opening: reading a named pipe or a
// device would wait for a writer that never comes.
void checkInputFile(const std::string &path, const std::string &what);
// The cause checkInputFile would name; empty for a regular file.
std::string inputFileProblem(const std::string &path);

class Extensions;

class Host {
public:
    Host();
    ~Host();
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    static Host *current();
    // The global function handed to every activation.
    static void *global(const char *serviceName, int useCode);

    ServiceRegistry &services() { return services_; }
    Messages &messages() { return messages_; }
    Scene &scene() { return scene_; }
    const Scene &scene() const { return scene_; }
    Extensions &extensions() { return *extensions_; }

    Module &loadModule(const std::string &path);
    Module *module() { return module_.get(); }
    // Destroys every instance, then shuts the module down and closes it.
    void unloadModule();

    unsigned int systemId() const;
    unsigned int productInfo() const;

    // Activates a server of the loaded module; answers its result.
    int activate(const std::string &className, const std::string &name, int version,
                 void *local, void *serverData = nullptr);

    // Applies a scene-level server and creates its instance; throws HostError.
    AppliedServer &applyServer(const std::string &className, const std::string &name);
    void removeServer(AppliedServer *server);
    void clearServers();
    // The host's error text of a load or save, shown like the host does.
    bool loadServer(AppliedServer &server, const LWLoadState *state);
    bool saveServer(AppliedServer &server, const LWSaveState *state);
    std::string describe(const AppliedServer &server);

    // Host commands: "ApplyServer <class> <name>", "EditServer <class> <n>".
    bool evaluate(const std::string &command);
    // Runs a layout-generic server; answers its activation result.
    int runGeneric(const std::string &name);

    struct Edit {
        std::string className;
        int index;
        std::string serverName;
        int result;
        void *panel;
    };
    const std::vector<Edit> &edits() const { return edits_; }
    const std::vector<std::string> &commands() const { return commands_; }

    struct Update {
        std::string className;
        LWInstance instance;
    };
    const std::vector<Update> &updates() const { return updates_; }
    void recordUpdate(const char *className, LWInstance instance);

    // Re-reads the scene's settings into the service tables.
    void sceneChanged();
    // A run mode that wins over the one scenes name.
    void forceMode(RunMode mode);
    void setFrame(LWFrame frame);
    // A named host folder ("Content", "Settings", "Install"); empty if unknown.
    std::string directory(const std::string &name) const;
    LWItemID cameraId(const std::string &name) const;
    const Camera *cameraOf(LWItemID id) const;
    // The id of the scene's index-th object (null past the end) and the
    // index of an object id (-1 for any other id); the Object ID buffer
    // holds index + 1.
    LWItemID objectId(int index) const;
    int objectIndexOf(LWItemID id) const;

    // Files written through the host's services (image savers, File IO),
    // absolute, in the order they were written.
    void noteWritten(const std::string &file);
    const std::vector<std::string> &written() const { return written_; }

    // Tables of the host's own services.
    const LWSceneInfo &sceneInfo() const { return sceneInfo_; }
    LWTimeInfo &timeInfo() { return timeInfo_; }

private:
    void offerServices();

    ServiceRegistry services_;
    Messages messages_;
    Scene scene_;
    std::unique_ptr<Module> module_;
    std::unique_ptr<Extensions> extensions_;
    std::optional<RunMode> forcedMode_;

    LWSceneInfo sceneInfo_{};
    bool regionReported_ = false; // a limited region was ever reported
    LWCameraInfo cameraInfo_{};
    LWItemInfo itemInfo_{};
    LWObjectInfo objectInfo_{};
    LWSurfaceFuncs surfaceFuncs_{};
    LWTimeInfo timeInfo_{};
    LWDirInfo dirInfo_{};
    LWInstUpdate instUpdate_{};
    LWFileIOFuncs fileIO_{};
    LWInterfaceInfo interfaceInfo_{};
    std::string sceneName_, sceneFile_, rgbPrefix_;
    mutable std::map<std::string, std::string> dirTexts_;

    std::vector<Edit> edits_;
    std::vector<std::string> commands_;
    std::vector<Update> updates_;
    std::vector<std::string> written_;
};

} // namespace devhost

#endif
