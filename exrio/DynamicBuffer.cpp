#include "exrio/DynamicBuffer.h"

#include <ImfConvert.h>

namespace ravelcast {

std::uint32_t floatToUnsigned(float value)
{
    // The library's conversion maps +infinity to the maximum but lets
    // finite values from 2^32 on overflow the cast; they saturate too.
    if (value >= 4294967296.0f)
        return 4294967295u;
    return Imf::floatToUint(value);
}

} // namespace ravelcast
