#include "devhost/Scene.h"

#include <lwsdk/scene.h>

#include <algorithm>
#include <cctype>

namespace devhost {

const char *runModeName(RunMode mode)
{
    switch (mode) {
    case RunMode::Layout: return "layout";
    case RunMode::Modeler: return "modeler";
    case RunMode::ScreamerNet: return "screamernet";
    }
    return "layout";
}

bool parseRunMode(const std::string &text, RunMode *mode)
{
    std::string t = text;
    std::transform(t.begin(), t.end(), t.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (t == "layout")
        *mode = RunMode::Layout;
    else if (t == "modeler")
        *mode = RunMode::Modeler;
    else if (t == "screamernet")
        *mode = RunMode::ScreamerNet;
    else
        return false;
    return true;
}

AppliedServer *Scene::server(const std::string &className, int n) const
{
    int seen = 0;
    for (const auto &s : servers)
        if (s->className == className && ++seen == n)
            return s.get();
    return nullptr;
}

int Scene::count(const std::string &className) const
{
    return static_cast<int>(std::count_if(servers.begin(), servers.end(),
                                          [&](const auto &s) { return s->className == className; }));
}

const Camera *Scene::camera(const std::string &name) const
{
    for (const Camera &c : cameras)
        if (c.name == name)
            return &c;
    return nullptr;
}

Placement cameraPlacement(const SceneItems &items, const Camera &camera, double frame, bool eye)
{
    Placement p = items.inWorld(Placement::of(camera.position, radians(camera.rotation.x),
                                              radians(camera.rotation.y), radians(camera.rotation.z)),
                                camera.parent, frame);
    if (eye && (camera.flags & LWCAMF_STEREO)) {
        const double side = (camera.flags & LWCAMF_EYE_RIGHT) ? 0.5 : -0.5;
        p.position = p.position + p.right * (side * camera.eyeSeparation);
    }
    return p;
}

} // namespace devhost
