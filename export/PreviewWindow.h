// The buffer preview window ("Ravelcast Buffers"): where the buffer image
// sits in the 640 x 480 window and what each of its pixels shows.
#ifndef RAVELCAST_EXPORT_PREVIEWWINDOW_H
#define RAVELCAST_EXPORT_PREVIEWWINDOW_H

#include <array>

#include "export/Processing.h"

namespace ravelcast {

class OpenEXRBuffer;

constexpr int kPreviewWindowWidth = 640;
constexpr int kPreviewWindowHeight = 480;

// Display modes (VIPEROptions): bit 0 processed, bit 1 normalized.
enum PreviewMode { kRawBuffer = 0, kProcessedBuffer = 1, kRawNormalized = 2, kProcessedNormalized = 3 };

struct PreviewPoint {
    int x;
    int y;
};

// The top-left corner of an image of width x height centred in the window.
PreviewPoint previewOrigin(int imageWidth, int imageHeight);

// The image pixel under window position (px, py) of a window drawn at
// windowWidth x windowHeight; outside the image when not inside() below.
PreviewPoint windowToImage(int px, int py, int windowWidth, int windowHeight, int imageWidth,
                           int imageHeight);
bool insideImage(PreviewPoint p, int imageWidth, int imageHeight);

// A shown value as a byte: clamped to 0..1 (infinity full, not-a-number none).
int displayByte(float v);

// The three values the window shows for the buffer's preview sample (x, y).
// alpha: the catalogue's "Alpha" buffer, whose first channel gives the alpha
// of processed values (may be null: no un-multiplication).
std::array<float, 3> previewPixel(const OpenEXRBuffer &buffer, int x, int y, bool processed,
                                  bool normalized, double displayGamma,
                                  const OpenEXRBuffer *alpha);
// The same with the buffer's processing taken once for a whole window.
std::array<float, 3> previewPixel(const OpenEXRBuffer &buffer, const Processing &processing,
                                  int x, int y, bool processed, bool normalized,
                                  double displayGamma, const OpenEXRBuffer *alpha);

} // namespace ravelcast

#endif
