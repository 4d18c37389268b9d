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

SaverSettingsRecord *saverSettingsRecord()
{
    // The block outlives this use of the service: the host keeps blocks for
    // the process, so the service can be given back at once.
    hostkit::GlobalMemory pool;
    if (!pool.available() || !pool->find || !pool->create)
        return &fallbackSaverSettings();
    if (LWMemChunk found = pool->find(kSaverSettingsName)) {
        // Someone else's smaller block of that name would be written past
        // its end.
        if (pool->size && pool->size(found) < kSaverSettingsSize)
            return &fallbackSaverSettings();
        return static_cast<SaverSettingsRecord *>(found);
    }
    LWMemChunk made = pool->create(kSaverSettingsName, kSaverSettingsSize);
    if (!made)
        return &fallbackSaverSettings();
    auto *record = static_cast<SaverSettingsRecord *>(made);
    setDefaults(*record);
    return record;
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
