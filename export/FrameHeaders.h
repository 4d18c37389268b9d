// The headers of a frame's OpenEXR files, built from the frame's plan as a
// step of its own before any row is written: a file's header, and for a
// layered file written as parts, one header per part with the buffers
// whose channels it holds. Every attribute a written file carries is set
// here or in the render facts stamped here (exrio/RenderMetadata.h).
#ifndef RAVELCAST_EXPORT_FRAMEHEADERS_H
#define RAVELCAST_EXPORT_FRAMEHEADERS_H

#include <optional>
#include <string>
#include <vector>

#include <ImfHeader.h>
#include <ImfPreviewImage.h>

#include "export/FramePlan.h"
#include "exrio/RenderFacts.h"
#include "exrio/RenderMetadata.h"
#include "exrio/UserMetadata.h"

namespace ravelcast {

// What the headers take from the filter's settings (the plan holds each
// file's and part's compression and data window).
struct HeaderSettings {
    double dwaLevel = 0.0;
    std::string comment; // the layered file's; an image's own comes from its buffer
    std::string author;
    HeaderChoices choices;  // camera matrices and colour space
    std::vector<UserMetadataRow> userMetadata;
    // The frame's tokens for the rows' values; the layer is set per file.
    MetadataTokens tokens;
};

struct PartHeader {
    Imf::Header header;
    std::vector<PlannedBuffer> buffers;
    std::vector<PlannedMatte> mattes;
};

struct FileHeaders {
    // The file's: its windows, attributes and every channel of the file.
    Imf::Header header;
    // The parts of a multi-part file, in the order they are written; empty
    // for a single-part file.
    std::vector<PartHeader> parts;
    // The user's rows that could not be written, one line each.
    std::vector<std::string> refusedMetadata;
};

// The headers of a planned OpenEXR file (a layered file or a native
// image): the frame's display window, the file's data window, the pixel
// aspect, compression and DWA level; the render facts, the comment and the
// author; the user's rows; the preview when there is one; the channels
// under their planned names; each Cryptomatte type's channels (FLOAT) and
// its attributes ("cryptomatte/<key>/name", "/hash", "/conversion", and
// "/manifest" or "/manif_file"). Parts are the planned ones, with their names, data windows and
// compressions, scan-line images carrying every other attribute of the
// file's header.
// Throws naming the file and the buffer when a channel name cannot be held.
FileHeaders fileHeaders(const FramePlan &plan, const PlannedFile &file,
                        const HeaderSettings &settings, const RenderFacts &facts,
                        const std::optional<Imf::PreviewImage> &preview);

} // namespace ravelcast

#endif
