// What a written file's header tells about the render, gathered as plain
// values from the environment, the clock and the host before any header is
// stamped with them (RenderMetadata::stamp).
#ifndef RAVELCAST_EXRIO_RENDERFACTS_H
#define RAVELCAST_EXRIO_RENDERFACTS_H

#include <ctime>
#include <optional>
#include <string>

#include "hostkit/SceneFacts.h"

namespace ravelcast {

struct RenderFacts {
    // USERNAME, else the login name; COMPUTERNAME, else the host name.
    std::optional<std::string> owner;
    std::optional<std::string> computerName;
    // Local time, "2010:02:03 14:05:09"; none when the clock cannot say.
    std::optional<std::string> captureDate;
    float utcOffset = 0.0f; // seconds to add to the local time to get UTC
    unsigned int systemId = 0, productInfo = 0;
    std::optional<hostkit::SceneFacts> scene;    // none without the scene service
    std::optional<hostkit::CameraOptics> camera; // none without a render camera
    // Where the render camera (the rendering eye) is; none when the host
    // cannot say.
    std::optional<hostkit::CameraPlacement> cameraPlacement;
};

// The facts at the moment now: the environment, the local time and zone
// then, the host's identity words, and the scene and its render camera at
// the host's current time. Acquires the services it reads and releases
// them before returning.
RenderFacts gatherRenderFacts(std::time_t now);
RenderFacts gatherRenderFacts();

// "2010:02:03 14:05:09".
std::string captureDateText(const std::tm &local);

// Seconds to add to local time to get UTC at the moment `at`, in the
// process's time zone (daylight saving included).
float localUtcOffsetSeconds(std::time_t at);

} // namespace ravelcast

#endif
