#include "hostkit/SceneFacts.h"

#include "hostkit/Services.h"

namespace hostkit {

std::optional<SceneFacts> SceneInfo::facts() const
{
    if (!available())
        return std::nullopt;
    const LWSceneInfo &s = *table();
    SceneFacts f;
    if (s.name)
        f.name = s.name;
    f.points = s.numPoints;
    f.polygons = s.numPolygons;
    f.renderOptions = s.renderOpts;
    f.frameStart = s.frameStart;
    f.frameEnd = s.frameEnd;
    f.frameStep = s.frameStep;
    f.framesPerSecond = s.framesPerSecond;
    f.frameWidth = s.frameWidth;
    f.frameHeight = s.frameHeight;
    f.pixelAspect = s.pixelAspect;
    f.regionX0 = s.limitedRegionX0;
    f.regionY0 = s.limitedRegionY0;
    f.regionX1 = s.limitedRegionX1;
    f.regionY1 = s.limitedRegionY1;
    f.threads = s.numThreads;
    f.antialiasing = s.antialiasing;
    f.filter = s.filter;
    return f;
}

RenderCameraFacts SceneInfo::renderCameraFacts() const
{
    RenderCameraFacts out;
    if (!available() || !table()->renderCamera)
        return out;
    // Each service held once for every read.
    const TimeInfo time;
    const CameraInfo camera;
    if (!time.available() || !camera.available())
        return out;
    const LWTime at = time.time();
    const LWItemID id = table()->renderCamera(at);
    if (!id)
        return out;
    const LWCameraInfo &c = *camera.table();
    const auto read = [&](double (*f)(LWItemID, LWTime)) -> std::optional<double> {
        if (!f)
            return std::nullopt;
        return f(id, at);
    };
    CameraOptics o;
    o.focalDistance = read(c.focalDistance);
    o.blurLength = read(c.blurLength);
    o.fStop = read(c.fStop);
    o.focalLength = read(c.focalLength);
    out.optics = o;

    const ItemInfo items;
    const std::optional<ItemPlacement> place = items.placement(id, at);
    if (!place || !c.zoomFactor)
        return out;
    CameraPlacement p;
    p.position = place->position;
    p.right = place->right;
    p.up = place->up;
    p.forward = place->forward;
    p.zoomFactor = c.zoomFactor(id, at);
    if (c.filmSize) {
        double w = 0, h = 0;
        c.filmSize(id, at, &w, &h);
        p.filmWidth = w;
        p.filmHeight = h;
    }
    const unsigned int flags = c.flags ? c.flags(id) : 0u;
    p.stereo = (flags & LWCAMF_STEREO) != 0;
    p.rightEye = p.stereo && (flags & LWCAMF_EYE_RIGHT) != 0;
    if (p.stereo && c.eyeSeparation) {
        // The item is the camera's centre; each eye is half the separation
        // to its side.
        const double side = (p.rightEye ? 0.5 : -0.5) * c.eyeSeparation(id, at);
        for (std::size_t i = 0; i < 3; ++i)
            p.position[i] += side * p.right[i];
    }
    out.placement = p;
    return out;
}

std::optional<CameraOptics> SceneInfo::renderCameraOptics() const { return renderCameraFacts().optics; }

std::optional<CameraPlacement> SceneInfo::renderCameraPlacement() const
{
    return renderCameraFacts().placement;
}

} // namespace hostkit
