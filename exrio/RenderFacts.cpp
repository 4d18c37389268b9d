#include "exrio/RenderFacts.h"

#include <cstdlib>

#include "hostkit/HostInfo.h"
#include "hostkit/Services.h"
#include "hostkit/utility/Platform.h"

namespace ravelcast {

// ---- platform: local time, time zone and environment
namespace {

bool localTime(std::time_t t, std::tm *out)
{
#if defined(_WIN32)
    _tzset();
    return localtime_s(out, &t) == 0;
#else
    tzset();
    return localtime_r(&t, out) != nullptr;
#endif
}

bool utcTime(std::time_t t, std::tm *out)
{
#if defined(_WIN32)
    return gmtime_s(out, &t) == 0;
#else
    return gmtime_r(&t, out) != nullptr;
#endif
}

// Seconds the local time is ahead of UTC at t: daylight saving included.
long secondsEastAt(std::time_t t)
{
    std::tm local{}, utc{};
    if (!localTime(t, &local) || !utcTime(t, &utc))
        return 0;
    long days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year)
        days = local.tm_year > utc.tm_year ? 1 : -1;
    return ((days * 24 + (local.tm_hour - utc.tm_hour)) * 60 + (local.tm_min - utc.tm_min)) * 60 +
           (local.tm_sec - utc.tm_sec);
}

std::optional<std::string> environmentText(const char *name)
{
    std::string text;
    if (!hostkit::environmentValue(name, &text))
        return std::nullopt;
    return text;
}

} // namespace

std::string captureDateText(const std::tm &local)
{
    // Formatted by hand so that no locale takes part.
    auto two = [](int v) {
        std::string s = std::to_string(v);
        return s.size() < 2 ? "0" + s : s;
    };
    std::string year = std::to_string(local.tm_year + 1900);
    while (year.size() < 4)
        year.insert(year.begin(), '0');
    return year + ":" + two(local.tm_mon + 1) + ":" + two(local.tm_mday) + " " +
           two(local.tm_hour) + ":" + two(local.tm_min) + ":" + two(local.tm_sec);
}

float localUtcOffsetSeconds(std::time_t at)
{
    // UTC = local time + offset: the offset in effect at that moment,
    // daylight saving included, is "seconds west".
    return static_cast<float>(-secondsEastAt(at));
}

RenderFacts gatherRenderFacts() { return gatherRenderFacts(std::time(nullptr)); }

RenderFacts gatherRenderFacts(std::time_t now)
{
    RenderFacts f;
    // Windows sets both; elsewhere the system's own names stand in.
    f.owner = environmentText("USERNAME");
    if (!f.owner)
        f.owner = hostkit::loginName();
    f.computerName = environmentText("COMPUTERNAME");
    if (!f.computerName)
        f.computerName = hostkit::hostName();
    std::tm local{};
    if (localTime(now, &local))
        f.captureDate = captureDateText(local);
    f.utcOffset = localUtcOffsetSeconds(now);
    f.systemId = hostkit::systemId();
    f.productInfo = hostkit::productInfo();
    // One hold of the scene service for both reads.
    const hostkit::SceneInfo scene;
    f.scene = scene.facts();
    if (f.scene) {
        hostkit::RenderCameraFacts camera = scene.renderCameraFacts();
        f.camera = camera.optics;
        f.cameraPlacement = camera.placement;
    }
    return f;
}

} // namespace ravelcast
