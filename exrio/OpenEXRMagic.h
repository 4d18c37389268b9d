// Whether a file is an OpenEXR file, read through the module's own input
// stream, as the image loader asks before it opens one.
#ifndef RAVELCAST_EXRIO_OPENEXRMAGIC_H
#define RAVELCAST_EXRIO_OPENEXRMAGIC_H

#include <string>

namespace ravelcast {

// True exactly when the file's first four bytes are the OpenEXR magic number
// (20000630, little-endian), followed by a four-byte version field; *tiled
// (when given) is set to whether bit 0x200 of that field is set. Any failure,
// a file that cannot be opened or is too short included, answers false and
// not tiled. Never throws.
bool isOpenEXRFile(const std::string &path, bool *tiled = nullptr) noexcept;

} // namespace ravelcast

#endif
