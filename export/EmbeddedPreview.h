// The embedded preview of a written file: how linear values become its
// 8-bit pixels, and the preview of a buffer made from the host's lines.
#ifndef RAVELCAST_EXPORT_EMBEDDEDPREVIEW_H
#define RAVELCAST_EXPORT_EMBEDDEDPREVIEW_H

#include <optional>

#include <ImfPreviewImage.h>

namespace hostkit {
class FrameAccess;
}

namespace ravelcast {

class OpenEXRBuffer;

// OpenEXR's own preview convention for linear values (as its preview tools
// make them): pow(5.5555 x, 0.4545) x 84.66, clamped to 0..255; so 0.18
// maps to 84, 1 to 184 and values from about 2.9 on to 255. Negative values
// and NaN map to 0.
unsigned char previewByte(float linear);

// A buffer's first channels (up to three; one channel shown grey)
// resampled to width x height, processed as they are written and mapped to
// 8 bits, alpha opaque. None for a size below 1.
std::optional<Imf::PreviewImage> embeddedPreview(const OpenEXRBuffer &buffer,
                                                 const hostkit::FrameAccess &access, int width,
                                                 int height);

} // namespace ravelcast

#endif
