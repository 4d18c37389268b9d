// The arithmetic a buffer applies to every host value, as plain data: the
// parameters as evaluated for one frame and the buffer's switches. A unit
// test can use it without a host.
#ifndef RAVELCAST_EXPORT_PROCESSING_H
#define RAVELCAST_EXPORT_PROCESSING_H

#include <cmath>

namespace ravelcast {

struct Processing {
    double minimum = 0.0, maximum = 1.0, offset = 0.0, scale = 1.0;
    float inverseGamma = 1.0f;
    bool invert = false;
    bool unmultiply = false;
    // A depth range mapped onto 0..1 instead of 0..1 onto a range; no
    // un-multiplication and no gamma.
    bool depth = false;

    // (Maximum - Minimum) x v + Minimum (depth: (v - Minimum) / (Maximum -
    // Minimum)), then (r + Offset) x Scale, inversion, un-multiplication by
    // alpha (not at 0, 1 or NaN), r ^ (1 / Gamma), negation.
    float apply(float v, float alpha, bool negate) const
    {
        const float lo = static_cast<float>(minimum);
        const float hi = static_cast<float>(maximum);
        float r = depth ? (v - lo) / (hi - lo) : (hi - lo) * v + lo;
        r = static_cast<float>((static_cast<double>(r) + offset) * scale);
        if (invert)
            r = 0.5f - (r - 0.5f);
        if (!depth) {
            if (unmultiply && alpha != 0.0f && alpha != 1.0f && !std::isnan(alpha))
                r = r / alpha;
            if (inverseGamma != 1.0f)
                r = std::pow(r, inverseGamma);
        }
        return negate ? -r : r;
    }

    // True when apply returns every value unchanged (but for -0).
    bool identity() const
    {
        return minimum == 0.0 && maximum == 1.0 && offset == 0.0 && scale == 1.0 &&
               (depth || (inverseGamma == 1.0f && !unmultiply)) && !invert;
    }
};

} // namespace ravelcast

#endif
