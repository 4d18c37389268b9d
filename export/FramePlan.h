// What a frame writes, worked out before anything is written: the host's
// facts of the frame gathered once, and the plan computed from them and the
// filter's settings as plain data (windows, file names, which buffer goes
// where), so it can be checked without a host.
#ifndef RAVELCAST_EXPORT_FRAMEPLAN_H
#define RAVELCAST_EXPORT_FRAMEPLAN_H

#include <memory>
#include <string>
#include <vector>

#include <ImathBox.h>

#include "export/Cryptomatte.h"
#include "export/FileNaming.h"
#include "hostkit/SceneFacts.h"
#include "hostkit/utility/RefCounted.h"

namespace ravelcast {

class OpenEXRBuffer;
struct FilterSettings;

struct FrameFacts {
    int width = 0, height = 0; // the lines the host delivers
    // The frame; with a limited region the delivered lines are the
    // region's, whose corner sits at (x0, y0) of the frame.
    Imath::Box2i display;
    bool region = false;
    Imath::Box2i regionBox;
    int x0 = 0, y0 = 0;
    float pixelAspect = 1.0f;
    int frame = 0;
    bool renderNode = false; // ScreamerNet
    bool inLayout = false;
    NameContext names;
    std::string contentFolder; // relative names resolve against it
    std::string renderPath;    // the scene's RGB prefix
    // The scene's objects and surfaces, for the Cryptomatte types.
    hostkit::SceneNames items;
};

// A buffer in a file, with the names its channels are written as there
// (per channel; a single luminance channel saved as RGB has three).
struct PlannedBuffer {
    OpenEXRBuffer *buffer = nullptr;
    std::vector<std::vector<std::string>> names;
    OpenEXRBuffer *operator->() const { return buffer; }
};

// A Cryptomatte type in a file: its layers of four FLOAT channels (see
// kMatteChannels), the ids its host buffer's values resolve to, and its
// manifest, in the header or, when too long for it, in a file of its own.
struct PlannedMatte {
    MatteKind kind = MatteKind::Object;
    std::string name; // "CryptoObject"
    int hostBuffer = 0;
    std::vector<std::string> layers;
    MatteNames names;
    std::shared_ptr<const MatteIds> ids;
    std::string manifest;
    // The manifest's own file beside the image (full path) and the name the
    // header gives it; empty while the manifest stays in the header.
    std::string sidecar, sidecarName;
    // The beauty's alpha as the coverage where an item meets the background.
    bool alphaEdges = false;
    // The channel names, layer by layer, R, G, B and A each.
    std::vector<std::string> channelNames() const;
};

// A part of a layered file written one part per layer: the buffers of a
// layer that share a compression and whether they are fitted. The first
// part of a layer is named after it ("Base" for buffers without one), a
// layer's further parts after their first buffer.
struct PlannedPart {
    std::string name;
    // Frame coordinates: the union of its buffers' fitted boxes when they
    // are fitted, else the whole frame (or the region).
    Imath::Box2i dataWindow;
    int compression = 0; // Imf::Compression
    std::vector<PlannedBuffer> buffers;
    // A Cryptomatte type's part (always lossless) holds it and no buffer.
    std::vector<PlannedMatte> mattes;
};

struct PlannedFile {
    // Mattes: a lossless file of one Cryptomatte type, beside a single-part
    // layered file whose compression would change its ids.
    enum Kind { Layered, Image, HostImage, Mattes };
    Kind kind = Layered;
    std::string fileName;
    // Frame coordinates; unused for host images. A single-part layered
    // file's is the union of its fitted layers' boxes, which every layer
    // of the file is written inside.
    Imath::Box2i dataWindow;
    int compression = 0; // Imf::Compression; unused for host images
    std::vector<PlannedBuffer> buffers;
    // The Cryptomatte types the file holds (a multi-part file: in its parts).
    std::vector<PlannedMatte> mattes;
    // A layered file written one part per layer: its parts in the order
    // they are written; empty for a file of one part.
    std::vector<PlannedPart> parts;
};

// A name two outputs of a frame would have shared: a file name within the
// frame, or a channel name within one file.
struct NameCollision {
    bool channel = false;
    const OpenEXRBuffer *buffer = nullptr; // whose output was renamed
    // Whose output kept the name; for a file name, null when it is the
    // layered file's.
    const OpenEXRBuffer *holder = nullptr;
    std::string fileName; // the file, as written
    std::string name;     // the name both would have had
    std::string renamed;  // what the later output was given instead
    std::string text;     // the line the host is told
};

struct FramePlan {
    Imath::Box2i display;
    int x0 = 0, y0 = 0;
    bool region = false;
    float pixelAspect = 1.0f;
    // False when the frame is only shown: "VIPER only" in Layout.
    bool writes = true;
    std::vector<PlannedFile> files;
    unsigned int progressTotal = 1;
    // The embedded preview's size, when one is embedded.
    int previewWidth = 0, previewHeight = 0;
    // Names that two outputs of the frame would have shared, in plan order.
    std::vector<NameCollision> collisions;
};

// The collisions' lines, one each.
std::vector<std::string> collisionLines(const FramePlan &plan);

// Whether a compression changes values: mattes' ids must stay exact.
bool lossyCompression(int compression);

// "shot.exr" as the n-th of its name: "shot_2.exr"; a channel "Refr.R" as
// "Refr_2.R", "Z" as "Z_2".
std::string suffixedFileName(const std::string &fileName, int n);
std::string suffixedChannelName(const std::string &channel, int n);

// The plan of a frame from the filter's settings and its buffers, in
// catalogue order. The buffers' data windows must have been computed for
// the frame (they come from the host's lines).
FramePlan planFrame(const FrameFacts &facts, const FilterSettings &settings,
                    const std::vector<hostkit::Ref<OpenEXRBuffer>> &buffers);

} // namespace ravelcast

#endif
