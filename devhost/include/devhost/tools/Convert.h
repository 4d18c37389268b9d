// `devhost convert`: load an image through the host's loaders and save it
// through one of the host's savers, with the module's OpenEXR saver settings
// set from the options first, the way a user sets them: in the settings
// master's scene blocks.
#ifndef DEVHOST_TOOLS_CONVERT_H
#define DEVHOST_TOOLS_CONVERT_H

#include <iosfwd>
#include <optional>
#include <string>

namespace devhost {

class Host;
class ImageUtility;

// The master that keeps the OpenEXR saver's settings.
constexpr const char *kSaverSettingsMaster = "OpenEXRSettings";

// Sets the values that are given through the master's "PixelFormat" and
// "Compression" blocks, applying the master to the scene when it is not.
// Throws HostError when the module has no such master or refuses them.
void setSaverSettings(Host &host, std::optional<int> compression, std::optional<int> pixelType);

// "int32", "half", "float" (any case) to 0, 1, 2; false otherwise.
bool parsePixelTypeName(const std::string &name, int *pixelType);
// "none", "rle", "zips", "zip", "piz", "pxr24", "b44", "b44a" (any case),
// or the number 0-7, to the OpenEXR compression number; false otherwise.
bool parseCompressionName(const std::string &name, int *compression);

// The saver for a file name: the first of the host's savers whose
// extension is the name's (any case). Throws HostError when none is.
std::string saverForFile(ImageUtility &util, const std::string &file);

struct ConvertOptions {
    std::string input, output;
    std::string saver; // empty: by the output's extension
    std::optional<int> pixelType;
    std::optional<int> compression;
    std::ostream *out = nullptr; // what was loaded and saved; null: quiet
};

// Loads, reports and saves. Throws HostError with the file and the cause
// when the load or the save fails.
void convertImage(Host &host, const ConvertOptions &options);

} // namespace devhost

#endif
