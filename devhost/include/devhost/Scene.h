// The development host's scene: its own settings and the servers applied.
#ifndef DEVHOST_SCENE_H
#define DEVHOST_SCENE_H

#include <memory>
#include <string>
#include <vector>

#include <lwsdk/filter.h>
#include <lwsdk/handler.h>
#include <lwsdk/master.h>

#include "devhost/SceneItems.h"

namespace devhost {

enum class RunMode { Layout, Modeler, ScreamerNet };

const char *runModeName(RunMode mode);
bool parseRunMode(const std::string &text, RunMode *mode);

// Limits of the scene's settings; docs/scene-format.md lists them.
constexpr int kMaxFrameSide = 16384;
constexpr long long kMaxFramePixels = 32LL * 1024 * 1024;
constexpr int kMaxFrameNumber = 999999999; // frames lie in -kMax..kMax

struct HostSettings {
    RunMode mode = RunMode::Layout;
    int major = 10, minor = 0, build = 2009;
    unsigned int serial = 0x0000ACE;
    // Empty: the scene file's folder (content) or the content folder.
    std::string contentDir, settingsDir, installDir;
    int alertLevel = 0;
};

// Every camera's film is this wide (millimetres); its height follows the
// frame's aspect.
constexpr double kFilmWidth = 36.0;

struct Camera {
    std::string name = "Camera";
    double focalLength = 30.0; // the zoom factor is focalLength / (kFilmWidth / 2)
    double focalDistance = 5.0;
    double fStop = 4.0;
    double blurLength = 0.5;
    unsigned int flags = 0;
    V3 position = defaultCameraPosition();
    V3 rotation = defaultCameraRotation(); // heading, pitch, bank in degrees
    std::string parent;          // an object of the scene; empty: the world
    double eyeSeparation = 0.06; // of a stereo camera, in metres

    double zoomFactor() const { return focalLength / (kFilmWidth / 2); }
};

// A camera's world placement at a frame. With `eye`, a stereo camera's
// placement is that of the eye its flags name: half the eye separation to
// the left, or with LWCAMF_EYE_RIGHT to the right, along its right axis.
Placement cameraPlacement(const SceneItems &items, const Camera &camera, double frame, bool eye);

// Where a host buffer comes from instead of the renderer: a channel of an
// image file.
struct BufferSource {
    int buffer = 0;
    std::string file;
    std::string channel;
};

struct SceneSettings {
    std::string name = "untitled.lws";
    int firstFrame = 1, lastFrame = 1, frameStep = 1;
    double framesPerSecond = 24.0;
    int frameWidth = 640, frameHeight = 480;
    double pixelAspect = 1.0;
    int renderOptions = 0;
    bool limitedRegion = false;
    int regionX0 = 0, regionY0 = 0, regionX1 = 0, regionY1 = 0;
    std::string rgbPrefix;
    int antialiasing = 1;
    int reconstructionFilter = 0; // index; the host word holds it in bits 1-5
    int renderThreads = 1;
    int points = 0, polygons = 0;
    std::string renderCamera = "Camera";
    std::string imageSaver; // saver of the frame image; empty: none
    int filterVersion = LWIMAGEFILTER_VERSION_LIST;
    std::vector<BufferSource> bufferSources;
};

// One server applied to the scene, with the host-owned tables it filled.
struct AppliedServer {
    std::string className;
    std::string name;
    int version = 0;
    LWInstance instance = nullptr;
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWImageFilterHandler filter{};
    LWMasterHandler master{};
    int contextFlags = 0;
    // A section of the scene whose server the module lacks, kept as read.
    std::string unknownText;
};

class Scene {
public:
    HostSettings host;
    SceneSettings settings;
    std::vector<Camera> cameras{Camera{}};
    SceneItems items;
    std::vector<std::unique_ptr<AppliedServer>> servers;
    std::string path; // the scene file, when read from one

    // The n-th (from 1) server of a class; null past the end.
    AppliedServer *server(const std::string &className, int n) const;
    int count(const std::string &className) const;
    const Camera *camera(const std::string &name) const;
};

} // namespace devhost

#endif
