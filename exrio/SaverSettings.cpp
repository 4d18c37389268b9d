#include "exrio/SaverSettings.h"

#include "hostkit/Services.h"

namespace ravelcast {

namespace {

const char *const kCompressionNames[kCompressionCount] = {
    "Uncompressed",   "RLE (lossless)", "ZIPS (lossless)", "ZIP (lossless)",
    "PIZ (lossless)", "PXR24 (lossy)",  "B44 (lossy)",     "B44A (lossy)",
    "DWAA (lossy)",   "DWAB (lossy)",
};

const char *const kPixelTypeNames[kPixelTypeCount] = {"Int 32", "Float 16", "Float 32"};

void setDefaults(SaverSettingsRecord &r)
{
    r.compression = kDefaultCompression;
    r.pixelType = kDefaultPixelType;
    r.reserved = kReservedSettingsValue;
}

} // namespace

SaverSettingsRecord &fallbackSaverSettings()
{
    static SaverSettingsRecord record{kDefaultCompression, kDefaultPixelType,
                                      kReservedSettingsValue};
    return record;
}

namespace {

// The host's block of that name and size, or null when there is none and
// none can be made; *made tells whether it was made now.
void *sharedBlock(const char *name, int size, bool *made)
{
    *made = false;
    // The block outlives this use of the service: the host keeps blocks for
    // the process, so the service can be given back at once.
    hostkit::GlobalMemory pool;
    if (!pool.available() || !pool->find || !pool->create)
        return nullptr;
    if (LWMemChunk found = pool->find(name)) {
        // Someone else's smaller block of that name would be written past
        // its end.
        if (pool->size && pool->size(found) < size)
            return nullptr;
        return found;
    }
    LWMemChunk block = pool->create(name, size);
    *made = block != nullptr;
    return block;
}

} // namespace

SaverSettingsRecord *saverSettingsRecord()
{
    bool made = false;
    auto *record = static_cast<SaverSettingsRecord *>(sharedBlock(kSaverSettingsName, kSaverSettingsSize, &made));
    if (!record)
        return &fallbackSaverSettings();
    if (made)
        setDefaults(*record);
    return record;
}

std::int32_t *saverColourSpace()
{
    static std::int32_t fallback = 0;
    bool made = false;
    auto *value = static_cast<std::int32_t *>(sharedBlock(kSaverColourSpaceName, sizeof(std::int32_t), &made));
    if (!value)
        return &fallback;
    if (made)
        *value = 0;
    return value;
}

bool validCompression(int compression)
{
    return compression >= 0 && compression < kCompressionCount;
}

bool validPixelType(int pixelType) { return pixelType >= 0 && pixelType < kPixelTypeCount; }

const char *compressionName(int compression)
{
    return validCompression(compression) ? kCompressionNames[compression] : "unknown";
}

const char *pixelTypeName(int pixelType)
{
    return validPixelType(pixelType) ? kPixelTypeNames[pixelType] : "unknown";
}

} // namespace ravelcast
