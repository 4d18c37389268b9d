// How linear values become the 8-bit pixels of an embedded preview.
#ifndef RAVELCAST_EXPORT_PREVIEWPIXELS_H
#define RAVELCAST_EXPORT_PREVIEWPIXELS_H

namespace ravelcast {

// OpenEXR's own preview convention for linear values (as its preview tools
// make them): pow(5.5555 x, 0.4545) x 84.66, clamped to 0..255; so 0.18
// maps to 84, 1 to 184 and values from about 2.9 on to 255. Negative values
// and NaN map to 0.
unsigned char previewByte(float linear);

} // namespace ravelcast

#endif
