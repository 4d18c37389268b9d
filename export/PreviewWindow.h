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
// The host pixel (0 to hostSize - 1) at the centre of preview pixel i of an
// image previewSize wide that shows hostSize pixels.
int previewToHost(int i, int previewSize, int hostSize);

// A shown value as a byte: clamped to 0..1 (infinity full, not-a-number none).
int displayByte(float v);

// How the window shows a buffer: the processing it applies and the ranges
// its normalised views divide by.
struct PreviewLook {
    Processing processing;
    float rawMinimum, rawMaximum;
    float processedMinimum, processedMaximum;
};
// As the buffer's frame was processed.
PreviewLook previewLook(const OpenEXRBuffer &buffer);
// With the processing given (the settings as they are now): the raw range
// passed through it.
PreviewLook previewLook(const OpenEXRBuffer &buffer, const Processing &processing);

// The three values the window shows for the buffer's preview sample (x, y).
// alpha: the catalogue's "Alpha" buffer, whose first channel gives the alpha
// of processed values (may be null: no un-multiplication).
std::array<float, 3> previewPixel(const OpenEXRBuffer &buffer, int x, int y, bool processed,
                                  bool normalized, double displayGamma,
                                  const OpenEXRBuffer *alpha);
// The same with the look taken once for a whole window.
std::array<float, 3> previewPixel(const OpenEXRBuffer &buffer, const PreviewLook &look, int x,
                                  int y, bool processed, bool normalized, double displayGamma,
                                  const OpenEXRBuffer *alpha);
// The alpha processed values of (x, y) are un-multiplied with.
float previewAlpha(const OpenEXRBuffer *alpha, int x, int y);

} // namespace ravelcast

#endif
