// The header scan: an OpenEXR file's headers read through a stream without
// the library, so that a damaged file is refused before the library sees it.
#ifndef RAVELCAST_EXRIO_EXRHEADERSCAN_H
#define RAVELCAST_EXRIO_EXRHEADERSCAN_H

#include <cstdint>

#include <ImfIO.h>

#include "exrio/ExrLayout.h"

namespace ravelcast {

// Reads the magic number, version field and every header from the start of
// the stream, which holds fileSize bytes. Throws ExrLayoutError for a
// damaged header: a wrong magic number or file version, unknown flags, an
// over-long name, an attribute claiming more bytes than are left, or a
// known attribute (windows, channels, compression, tiles, chunk count,
// type, preview image, string vector) whose value is malformed. Stream
// failures (Iex::InputExc) pass through.
ExrLayout readExrLayout(Imf::IStream &in, std::uint64_t fileSize);

} // namespace ravelcast

#endif
