// The scene's settings and the render camera's optics as plain values, read
// from the host's scene, camera and time tables in one go, so that code
// above hostkit never reads those tables itself.
#ifndef HOSTKIT_SCENEFACTS_H
#define HOSTKIT_SCENEFACTS_H

#include <array>
#include <optional>
#include <string>
#include <vector>

#include <lwsdk/scene.h>

namespace hostkit {

// Bits of SceneFacts::renderOptions.
namespace renderOption {
enum Bit : int {
    ReflectTrace = LWROPT_REFLECTTRACE, RefractTrace = LWROPT_REFRACTTRACE,
    Fields = LWROPT_FIELDS, LimitedRegion = LWROPT_LIMITEDREGION,
    ParticleBlur = LWROPT_PARTICLEBLUR, RayTracedTransparency = LWROPT_RTTRANSPARENCY,
    Radiosity = LWROPT_RADIOSITY, Caustics = LWROPT_CAUSTICS,
};
} // namespace renderOption

// The fields as the host holds them: nothing is checked or corrected here.
struct SceneFacts {
    std::optional<std::string> name; // "shot.lws"; none when the host gives none
    int points = 0, polygons = 0;
    int renderOptions = 0;
    int frameStart = 0, frameEnd = 0, frameStep = 0;
    double framesPerSecond = 0.0;
    int frameWidth = 0, frameHeight = 0;
    double pixelAspect = 1.0;
    // The limited region's corners, inclusive.
    int regionX0 = 0, regionY0 = 0, regionX1 = 0, regionY1 = 0;
    int threads = 0;
    int antialiasing = 0; // the level
    int filter = 0;       // the reconstruction filter's index in bits 1-5
};

// The render camera's optics at one time; a value is missing when the
// host's camera table lacks its function.
struct CameraOptics {
    std::optional<double> focalLength, focalDistance, fStop, blurLength;
};

// Where the render camera is at one time and what its lens takes in: in
// the host's world (x right, y up, z forward, left-handed). For a stereo
// camera the position is that of the eye that renders now.
struct CameraPlacement {
    using Vector = std::array<double, 3>;
    Vector position{}, right{1, 0, 0}, up{0, 1, 0}, forward{0, 0, 1};
    double zoomFactor = 0; // 1 / tan(half the horizontal field of view)
    std::optional<double> filmWidth, filmHeight; // the film aperture in mm
    bool stereo = false, rightEye = false;
};

// An item's place in the world at one time.
struct ItemPlacement {
    CameraPlacement::Vector position{}, right{1, 0, 0}, up{0, 1, 0}, forward{0, 0, 1};
};

struct RenderCameraFacts {
    std::optional<CameraOptics> optics;
    std::optional<CameraPlacement> placement;
};

// An object or a surface by the id the Object ID or Surface ID buffer
// holds for it (0 when the host gives none).
struct NamedItem {
    int bufferId = 0;
    std::string name;
    // An object's top-level parent's name: its own when it has none.
    std::string topName;
};

// Every object and surface of the scene, in the host's order.
struct SceneNames {
    std::vector<NamedItem> objects;
    std::vector<NamedItem> surfaces;
};

} // namespace hostkit

#endif
