#include "export/PreviewPixels.h"

#include <algorithm>
#include <cmath>

namespace ravelcast {

unsigned char previewByte(float linear)
{
    if (!(linear > 0.0f))
        return 0; // negative, zero and NaN
    const float v = std::pow(5.5555f * linear, 0.4545f) * 84.66f;
    return static_cast<unsigned char>(std::clamp(v, 0.0f, 255.0f));
}

} // namespace ravelcast
