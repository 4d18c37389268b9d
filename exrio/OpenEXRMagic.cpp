#include "exrio/OpenEXRMagic.h"

#include <cstdint>

#include <ImfVersion.h>

#include "exrio/FileInputStream.h"

namespace ravelcast {

namespace {

std::uint32_t littleEndian32(const unsigned char *bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
           std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
}

} // namespace

bool isOpenEXRFile(const std::string &path, bool *tiled) noexcept
{
    if (tiled != nullptr)
        *tiled = false;
    try {
        Imf::Win32IFStream stream(path);
        unsigned char bytes[8];
        stream.read(reinterpret_cast<char *>(bytes), sizeof bytes);
        if (littleEndian32(bytes) != static_cast<std::uint32_t>(Imf::MAGIC))
            return false;
        if (tiled != nullptr)
            *tiled = (littleEndian32(bytes + 4) & Imf::TILED_FLAG) != 0;
        return true;
    } catch (...) {
        // Unreadable, too short or out of memory: the loader only needs to
        // know that it cannot treat the file as OpenEXR.
        return false;
    }
}

} // namespace ravelcast
