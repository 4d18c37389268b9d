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

std::optional<CameraOptics> SceneInfo::renderCameraOptics() const
{
    if (!available() || !table()->renderCamera)
        return std::nullopt;
    const TimeInfo time;
    const CameraInfo camera;
    if (!time.available() || !camera.available())
        return std::nullopt;
    const LWTime at = time.time();
    const LWItemID id = table()->renderCamera(at);
    if (!id)
        return std::nullopt;
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
    return o;
}

} // namespace hostkit
