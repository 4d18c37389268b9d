// Floats to 16-bit halves, a line at a time, with the processor's
// conversion instructions where it has them (x86 F16C), and OpenEXR's own
// conversion elsewhere. Both give what OpenEXR's floatToHalf gives: round
// to nearest even, finite values beyond 65504 infinite, NaN stays NaN.
#ifndef RAVELCAST_EXPORT_HALFCONVERSION_H
#define RAVELCAST_EXPORT_HALFCONVERSION_H

#include <cstddef>
#include <cstdint>

namespace ravelcast {

void floatsToHalves(const float *in, std::uint16_t *out, std::size_t n);
// The same of sign x (in + 0): a value as neutral processing leaves it
// (negated for a flipped channel, -0 made +0), converted in one pass.
void signedHalves(const float *in, float sign, std::uint16_t *out, std::size_t n);

// Whether floatsToHalves uses the processor's instructions here.
bool hardwareHalfConversion();

} // namespace ravelcast

#endif
